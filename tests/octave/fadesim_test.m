% fadesim through its plug-in: Octave's own normal draws in the documented order, the generator
% restored on every exit, the program messages and the varWatterson checks.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
vw = struct ("model", "bom", "EsNodB", 0, "seed", 17);
x = exp (2i * pi * (0:199)' / 8);
x_before = x; vw_before = vw;
r = fadesim (x, vw, vs);
expect_unchanged (x_before, x, "WattersonIn");
expect_unchanged (vw_before, vw, "varWatterson");
assert (fieldnames (r)', {"raios", "RER", "ED", "WattersonOutAwgnIn", "noise", "AwgnOut"});
assert (size (r.raios), [200 2]);
assert ([r.RER r.ED], [0.0005 0.1]);
assert (size (r.AwgnOut), [206 1]);  % "bom" at M = 5: the second ray is 6 samples behind
assert (r.AwgnOut, r.WattersonOutAwgnIn + r.noise, 1e-12);

% The noise is Octave's randn, drawn after the six 1 x 20 rows of the rays: real parts first.
rng (17, "twister");
for k = 1:6
  randn (1, 20);
end
sigma = sqrt (0.5);
assert (r.noise, sigma * randn (206, 1) + 1i * sigma * randn (206, 1), 1e-12);
assert (isequal (fadesim (x, vw, vs), r));

% The caller's generator is restored after success and after failure.
bad_m = vs; bad_m.oversamplingFactor = 4;
vw_seed = vw; vw_seed.seed = 2^32;
vw_name = vw; vw_name.model = "Bom";
no_m = vs; no_m.oversamplingFactor = 0;
vw_nan = vw; vw_nan.EsNodB = NaN;
vw_minf = vw; vw_minf.EsNodB = -Inf;
cases = {@() fadesim(x, vw, vs),       "";
         @() fadesim(x, vw, bad_m),    "";
         @() fadesim(x, vw_name, vs),  "";
         @() fadesim(x, vw_seed, vs),  "hfchain:host:InvalidSeed";
         @() fadesim(x, setfield(vw, "model", "muito_ruim"), no_m), "hfchain:runtime:NotPositive";
         @() fadesim(x, vw_nan, vs),   "hfchain:channel:InvalidEsNodB";
         @() fadesim(x, vw_minf, vs),  "hfchain:channel:InvalidEsNodB"};
expect_generator_kept (cases, @() randn (4, 1));
expect_error (@() fadesim (x, vw, bad_m), "",
              "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.");
for name = {"Bom", "bom ", "", "BOM", "muito ruim"}
  v = vw; v.model = name{1};
  expect_error (@() fadesim (x, v, vs), "", "ERRO! Tipo de canal Watterson invalido.");
end

% model: a character row of at most 50 characters.
text_cases = {repmat("a", 1, 51), "hfchain:gateway:WrongSize";
              ("bom")',           "hfchain:gateway:WrongSize";
              double("bom"),      "hfchain:gateway:WrongClass";
              {"bom"},            "hfchain:gateway:WrongClass"};
for k = 1:rows (text_cases)
  v = vw; v.model = text_cases{k, 1};
  err = expect_error (@() fadesim (x, v, vs), text_cases{k, 2});
  assert (! isempty (strfind (err.message, "'varWatterson.model'")), err.message);
end
expect_error (@() fadesim (x, rmfield (vw, "seed"), vs), "hfchain:gateway:WrongFields");
expect_error (@() fadesim (x.', vw, vs), "hfchain:gateway:WrongSize");
assert (isequal (fadesim (x, orderfields (vw), vs), r));
% No noise at all is still a valid level.
vw_inf = vw; vw_inf.EsNodB = Inf;
assert (all (fadesim (x, vw_inf, vs).noise == 0));
disp ("fadesim_test passed");
