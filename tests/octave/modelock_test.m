% modelock through its plug-in: a 300 bit/s transmission with the 4.8 s interleaver found after
% silence, read, and placed; the inputs kept, the fields, and the refusals.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
settings = struct ("threshold", 0.12, "from", 1, "to", 0);
tx = sendchain (rateconf (300, 4.8), 1, 5);
shaped = [zeros(1000, 1); pulseshaper(tx.MultiplexOut(1:4800), vs).out];
y = hfchannel (shaped, struct ("paths", "1p:0ms:0Hz", "offset", -40, "EsNodB", 6, "seed", 6), vs);
x = pulsematch (y.AwgnOut, vs).out;
x_before = x; settings_before = settings;
r = modelock (x, vs, settings);
expect_unchanged (x_before, x, "MatchedFilterIn");
expect_unchanged (settings_before, settings, "settings");
assert (r.found);
assert ([r.rate r.interLen r.segmentsLeft r.start], [300 4.8 23 1061]);
assert (r.confidence > 0.99);
assert (abs (r.offset + 40) < 0.5);
assert ([r.preambleStart r.firstData], [1061, 1061 + 24 * 480 * 5]);
assert (fieldnames (r)', {"found", "score", "start", "offset", "rate", "interLen", ...
                          "confidence", "segmentsLeft", "preambleStart", "firstData"});
% Noise alone: nothing found.
r = modelock (pulsematch (y.noise, vs).out, vs, settings);
assert (! r.found);

expect_error (@() modelock (x, vs, setfield (settings, "threshold", 0)),
              "hfchain:modelock:BadThreshold");
expect_error (@() modelock (x, vs, setfield (settings, "from", 0.5)), "hfchain:modelock:BadRange");
expect_error (@() modelock (x, setfield (vs, "oversamplingFactor", 2.5), settings),
              "hfchain:modelock:BadOversampling");
