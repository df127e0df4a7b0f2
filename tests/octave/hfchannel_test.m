% hfchannel through its plug-in: fadesim's outputs on fadesim's conditions, the matrix and the
% written forms of one channel, the offset, and the refusals.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
x = exp (2i * pi * (0:299)' / 8);
for name = {"bom", "moderado", "ruim", "muito_ruim"}
  for seed = [0 5]
    f = fadesim (x, struct ("model", name{1}, "EsNodB", 8, "seed", seed), vs);
    vh = struct ("paths", name{1}, "offset", 0, "EsNodB", 8, "seed", seed);
    vh_before = vh; x_before = x;
    h = hfchannel (x, vh, vs);
    expect_unchanged (x_before, x, "x");
    expect_unchanged (vh_before, vh, "varHfchannel");
    assert (isequal (h.raios, f.raios));
    assert (isequal (h.AwgnOut, f.AwgnOut));
    assert (isequal (h.noise, f.noise));
  end
end
assert (fieldnames (h)', {"raios", "delays", "offset", "WattersonOutAwgnIn", "noise", "AwgnOut"});

% The same channel as a matrix and written out; the offset field adds to the written one.
p = 10 * log10 ([2 1] / 3);
m = hfchannel (x, struct ("paths", [0 p(1) 1 0; 0.002 p(2) 3 0.5], "offset", 20, "EsNodB", 5,
                          "seed", 2), vs);
w = hfchannel (x, struct ("paths", "paths=0ms/0dB/1Hz+2ms/-3.0103dB/3Hz/0.5Hz:off=15Hz",
                          "offset", 5, "EsNodB", 5, "seed", 2), vs);
assert (m.raios, w.raios, 1e-4);
assert ([m.offset w.offset], [20 20]);
assert (m.delays', [0 24]);

% One fixed path offset by 50 Hz: the input turned by exp(j 2 pi 50 t).
fixed = hfchannel (x, struct ("paths", [0 0 0 0], "offset", 50, "EsNodB", Inf, "seed", 1), vs);
t = (0:299)' / 12000;
assert (fixed.AwgnOut, x .* exp (2i * pi * 50 * t), 1e-12);

vh = struct ("paths", "2p:2ms:1Hz", "offset", 0, "EsNodB", 8, "seed", 1);
expect_error (@() hfchannel (x, setfield (vh, "paths", "2p:2ms"), vs),
              "hfchain:channel:InvalidChannelText");
expect_error (@() hfchannel (x, setfield (vh, "paths", [0 0 -1 0]), vs),
              "hfchain:hfchannel:InvalidChannel");
expect_error (@() hfchannel (x, setfield (vh, "paths", zeros (1, 3)), vs),
              "hfchain:gateway:WrongSize");
expect_error (@() hfchannel (x, vh, setfield (vs, "oversamplingFactor", 4)),
              "hfchain:hfchannel:FractionalDelay");
expect_error (@() hfchannel (x, rmfield (vh, "offset"), vs), "hfchain:gateway:WrongFields");
disp ("hfchannel_test passed");
