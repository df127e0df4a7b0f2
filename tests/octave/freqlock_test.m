% freqlock through its plug-in: the offset of one fixed path acquired at both ends of the range,
% the output turned back by it, the inputs kept, the fields, and the refusals.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
params = modeconf (0.6);
tx = sendchain (params, 1, 5);
shaped = pulseshaper (tx.MultiplexOut, vs).out;
for f = [-75 0 75]
  y = hfchannel (shaped, struct ("paths", "1p:0ms:0Hz", "offset", f, "EsNodB", 10, "seed", 6), vs);
  x = pulsematch (y.AwgnOut, vs).out;
  x_before = x; params_before = params;
  r = freqlock (x, params, vs);
  expect_unchanged (x_before, x, "MatchedFilterIn");
  expect_unchanged (params_before, params, "milstd");
  % One fixed path at 10 dB: the estimate's deviation is about 0.01 Hz (freqlock.hpp).
  assert (abs (r.offset - f) < 0.1);
  assert (r.start, 61);
  n = (0:numel (x) - 1)';
  assert (r.out, x .* exp (-2i * pi * r.offset * n / 12000), 1e-9);
end
assert (fieldnames (r)', {"start", "offset", "coarseOffset", "coarseStart", "out"});

expect_error (@() freqlock (x(1:2000), params, vs), "hfchain:freqlock:TooShort");
spoilt = x;
spoilt(7) = NaN;
expect_error (@() freqlock (spoilt, params, vs), "hfchain:freqlock:NonFinite",
              "MatchedFilterIn(7) is NaN + 0i: matched-filter samples must be finite.");
expect_error (@() freqlock (x, params, setfield (vs, "oversamplingFactor", 2.5)),
              "hfchain:freqlock:BadOversampling");
