% framelock through its plug-in.
m = modeconf (0.6);
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 2);
OS = vs.oversamplingFactor;
sequencia = [7 4 3 0 5 1 5 0 2 2 1 1 5 7 4 3 5 0 2 6 2 1 6 2 0 0 5 0 5 2 6 6];
ref = mod (m.preamSync(1:288) + sequencia(mod (0:287, 32) + 1), 8).';

% A window equal to g r + h at w0 has correlation magnitude 1.
w0 = 37;
x = 0.01 * exp (2i * pi * (1:700 * OS)' / 11);
x(w0 + (0:287) * OS) = (0.3 - 0.2i) * ref + 2;
m_before = m;
start = framelock (x, m, vs);
expect_unchanged (m_before, m, "milstd");
assert (start, w0);
assert (size (start), [1 1]);
assert (size (framelock (zeros (600 * OS, 1), m, vs)), [0 1]);  % all NaN: no start

short = m; short.preamSync = m.preamSync(1:1439);
err = expect_error (@() framelock (x, short, vs), "hfchain:runtime:IndexOutOfBounds");
assert (! isempty (strfind (err.message, "preamSync")), err.message);
expect_error (@() framelock (x(1:575 * OS - 1), m, vs), "hfchain:runtime:IndexOutOfBounds");
vs0 = vs; vs0.oversamplingFactor = 0;
expect_error (@() framelock (x, m, vs0), "Coder:toolbox:eml_min_or_max_varDimZero");
params_rejections (@(bad) framelock (x, bad, vs));
disp ("framelock_test passed");
