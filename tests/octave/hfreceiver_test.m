% The HF receiver's plug-ins: chansound, turboequal and sisodecode on a fading channel at 30 dB,
% and the genie beside them.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
milstd = modeconf (0.6);
tx = sendchain (milstd, 1, 7);
shaped = pulseshaper (tx.MultiplexOut, vs);
faded = fadesim (shaped.out, struct ("model", "ruim", "EsNodB", 30, "seed", 4), vs);
matched = pulsematch (faded.AwgnOut, vs);
start = framelock (matched.out, milstd, vs);

% Nearest 8-PSK point of each symbol (phase index 0..7).
nearest = @(z) mod (round (angle (z) / (pi / 4)), 8);

s = chansound (matched.out, start, milstd, vs);
assert (fieldnames (s)', {"start", "delays", "basis", "out", "gains", "gainVar", "pathPower", ...
                          "windowGains", "windowVar", "windowTime", "noiseVar", "doppler", ...
                          "frames", ...
                          "profile", "profileStart"});
assert (s.frames, 30);
assert (size (s.basis, 2), numel (s.delays));
assert (any (abs (s.delays - 61) <= 1) && any (abs (s.delays - 85) <= 1));  % both rays found
assert (numel (s.out), numel (tx.MultiplexOut) + size (s.basis, 1) - 1);

e = turboequal (s, milstd, 1, 2);
assert (fieldnames (e)', {"out", "noiseVar", "gains", "gainVar", "doppler", "passes"});
assert (e.passes, 3);
assert (nearest (e.out), nearest (tx.ComplexPSKSymbols));
assert (all (e.noiseVar > 0));

g = geniecombine (tx.MultiplexOut, faded.raios, faded.noise, 30, milstd, vs);
assert (fieldnames (g)', {"out", "noiseVar", "gain"});
assert (nearest (g.out), nearest (tx.ComplexPSKSymbols));
% On white noise (no rays: []) the gain is one.
white = geniecombine (tx.MultiplexOut, [], faded.noise, 30, milstd, vs);
assert (all (white.gain == 1));

% The decoder turns sure coded-bit ratios back into the information bits.
d = sisodecode (4 * (1 - 2 * tx.CodOutInterIn), milstd, 1);
assert (fieldnames (d)', {"Extrinsic", "InfoLLR", "InfoBits"});
assert (d.InfoBits, tx.BitInCodIn(1:numel (d.InfoBits)));

% The blocks' own failures reach Octave with their identifiers.
expect_error (@() turboequal (s, milstd, 1, 1.5), "hfchain:turboequal:BadIterations");
expect_error (@() chansound (matched.out(1:3000), start, milstd, vs), "hfchain:chansound:TooShort");
bad = s;
bad.basis = ones (30, 1);
expect_error (@() turboequal (bad, milstd, 1, 0), "hfchain:turboequal:BadSounding");
expect_error (@() turboequal (rmfield (s, "profile"), milstd, 1, 0), "hfchain:gateway:WrongFields");
expect_error (@() sisodecode (zeros (5, 1), milstd, 1), "hfchain:runtime:SizeMismatch");
disp ("hfreceiver_test passed");
