% pulsematch through its plug-in.
1;
function y = pulseshaper_or_zeros (x, vs)
  % The shaped waveform when pulseshaper is built, else a stand-in of the same length.
  if (exist ("pulseshaper") == 3)
    y = pulseshaper (x, vs).out;
  else
    y = zeros (numel (x) * vs.oversamplingFactor + 2 * vs.pulseDelay * vs.oversamplingFactor, 1);
  end
end

vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 4);
x = exp (2i * pi * mod ((0:99)', 8) / 8);
shaped = pulseshaper_or_zeros (x, vs);
r = pulsematch (shaped, vs);
assert (fieldnames (r)', {"filter", "filterDelay", "out"});
assert (size (r.filter), [1 49]);
assert (r.filterDelay, 6);
assert (size (r.out), [numel(shaped) + 48, 1]);

vs0 = vs; vs0.pulseDelay = 0;
r0 = pulsematch (x, vs0);
assert ([r0.filter r0.filterDelay], [1 0]);
assert (r0.out, x, 1e-15);

expect_error (@() pulsematch (ones (49, 1), vs), "Coder:toolbox:conv_dynamicVectorOrientation");
assert (size (pulsematch (ones (50, 1), vs).out), [98 1]);
expect_error (@() pulsematch (x, struct ("rolloffFactor", 0.35, "pulseDelay", 6)),
              "hfchain:gateway:WrongFields");
% Refusals from the sizes alone come before the filter is designed: 2e8 + 1 taps for 10 samples
% are refused at once (it took 25 s to design them first).
expect_error (@() pulsematch (ones (10, 1), struct ("rolloffFactor", 0.35, "pulseDelay", 1e8,
                                                    "oversamplingFactor", 1)),
              "Coder:toolbox:conv_dynamicVectorOrientation",
              "The input of 10 samples must be longer than the filter of 200000001 taps.");
% Settings that gave all-NaN or all-zero outputs are refused.
bad = {"oversamplingFactor", 0,        "hfchain:runtime:NotPositive";
       "oversamplingFactor", 0.5,      "hfchain:runtime:NonInteger";
       "pulseDelay",         -0.5,     "hfchain:runtime:Negative";
       "rolloffFactor",      4.9e-324, ""};
for k = 1:rows (bad)
  v = struct ("rolloffFactor", 0.35, "pulseDelay", 2, "oversamplingFactor", 1);
  v.(bad{k, 1}) = bad{k, 2};
  expect_error (@() pulsematch (x, v), bad{k, 3});
end
expect_error (@() pulsematch (x, setfield (vs, "rolloffFactor", 4.9e-324)), "",
              "ERRO! Fator de rolloff invalido.");
disp ("pulsematch_test passed");
