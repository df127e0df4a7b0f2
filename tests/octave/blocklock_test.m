% blocklock through its plug-in: a 600 bit/s transmission heard from the middle of its first
% block, with an offset; the next block and the mode found, the inputs kept, the fields, noise
% alone, and the refusals.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
params = rateconf (600, 0.6);
tx = sendchain (params, 3, 5);
shaped = pulseshaper (tx.MultiplexOut, vs).out;
y = hfchannel (shaped, struct ("paths", "1p:0ms:0Hz", "offset", -30, "EsNodB", 6, "seed", 6), vs);
matched = pulsematch (y.AwgnOut, vs).out;
x = matched((1440 + 700) * 5 + 1:end);  % from 700 symbols into the first block
x_before = x; vs_before = vs;
r = blocklock (x, vs, 5);
expect_unchanged (x_before, x, "MatchedFilterIn");
expect_unchanged (vs_before, vs, "varShapping");
assert (fieldnames (r)', {"found", "score", "offset", "mode", "confidence", "blockStart"});
assert (r.found, 1);
assert (r.mode, 5);  % 600 bit/s, 0.6 s
assert (r.confidence > 0.99);
assert (abs (r.offset + 30) < 0.2);
% The filters' delay (60 samples) and the 740 symbols left of the first block.
assert (r.blockStart, 60 + 740 * 5 + 1);

randn ("seed", 1);
noise = blocklock (complex (randn (7200, 1), randn (7200, 1)), vs, 5);
assert ([noise.found, noise.mode, noise.blockStart], [0, -1, 0]);

expect_error (@() blocklock (x(1:7000), vs, 5), "hfchain:blocklock:TooShort");
spoilt = x;
spoilt(7) = NaN;
expect_error (@() blocklock (spoilt, vs, 5), "hfchain:blocklock:NonFinite",
              "MatchedFilterIn(7) is NaN + 0i: matched-filter samples must be finite.");
expect_error (@() blocklock (x, vs, NaN), "hfchain:blocklock:BadThreshold");
