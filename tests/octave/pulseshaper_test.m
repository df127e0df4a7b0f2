% pulseshaper through its plug-in.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 4);
x = exp (2i * pi * mod ((0:99)', 8) / 8);
x_before = x; vs_before = vs;
r = pulseshaper (x, vs);
expect_unchanged (x_before, x, "ShappingIn");
expect_unchanged (vs_before, vs, "varShapping");
assert (fieldnames (r)', {"filter", "out"});
assert (size (r.filter), [1 49]);
assert (isreal (r.filter) && abs (sum (r.filter .^ 2) - 1) < 1e-12);
assert (size (r.out), [448 1]);
% The pulse of symbol k peaks at 1 + (k - 1) M + D M.
for k = [1 13]
  impulse = zeros (13, 1); impulse(k) = 1;
  [~, peak] = max (abs (pulseshaper (impulse, vs).out));
  assert (peak, 1 + (k - 1) * 4 + 6 * 4);
end

% A real stream is accepted (Octave hands over all-real complex data as real).
y = pulseshaper (ones (20, 1), vs);
assert (isequal (pulseshaper (x, orderfields (vs)), r));
assert (isreal (y.out) || all (imag (y.out) == 0));

expect_error (@() pulseshaper (x(1:12), vs), "Coder:toolbox:conv_dynamicVectorOrientation");
expect_error (@() pulseshaper (x.', vs), "hfchain:gateway:WrongSize");
expect_error (@() pulseshaper (x, rmfield (vs, "pulseDelay")), "hfchain:gateway:WrongFields");
vs_bad = vs; vs_bad.oversamplingFactor = [4 4];
err = expect_error (@() pulseshaper (x, vs_bad), "hfchain:gateway:WrongSize");
assert (! isempty (strfind (err.message, "'varShapping.oversamplingFactor'")));
% A roll-off so small that the taps overflow, and a filter of no taps, are refused.
expect_error (@() pulseshaper (x, setfield (vs, "rolloffFactor", 4.9e-324)), "",
              "ERRO! Fator de rolloff invalido.");
vs_none = struct ("rolloffFactor", 0.35, "pulseDelay", -0.5, "oversamplingFactor", 1);
expect_error (@() pulseshaper (x, vs_none), "hfchain:runtime:Negative");
% Refusals from the sizes alone come before the filter is designed.
expect_error (@() pulseshaper (x(1:10), setfield (vs, "pulseDelay", 1e8)),
              "Coder:toolbox:conv_dynamicVectorOrientation");
disp ("pulseshaper_test passed");
