% The HF receiver's plug-ins: chansound, turboequal and sisodecode on a fading channel at 30 dB,
% and the genie beside them.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
params = modeconf (0.6);
tx = sendchain (params, 1, 7);
shaped = pulseshaper (tx.MultiplexOut, vs);
faded = fadesim (shaped.out, struct ("model", "ruim", "EsNodB", 30, "seed", 4), vs);
matched = pulsematch (faded.AwgnOut, vs);
start = framelock (matched.out, params, vs);

% Nearest 8-PSK point of each symbol (phase index 0..7).
nearest = @(z) mod (round (angle (z) / (pi / 4)), 8);

s = chansound (matched.out, start, params, vs);
assert (fieldnames (s)', {"start", "delays", "basis", "out", "gains", "gainVar", "pathPower", ...
                          "windowGains", "windowVar", "windowTime", "noiseVar", "doppler", ...
                          "frames", ...
                          "profile", "profileStart"});
assert (s.frames, 30);
assert (size (s.basis, 2), numel (s.delays));
assert (any (abs (s.delays - 61) <= 1) && any (abs (s.delays - 85) <= 1));  % both rays found
assert (numel (s.out), numel (tx.MultiplexOut) + size (s.basis, 1) - 1);

e = turboequal (s, params, 1, 2);
assert (fieldnames (e)', {"out", "noiseVar", "gains", "gainVar", "doppler", "passes"});
assert (e.passes, 1);  % every decision right: a codeword after the first pass, which ends the loop
assert (nearest (e.out), nearest (tx.ComplexPSKSymbols));
assert (all (e.noiseVar > 0));

g = geniecombine (tx.MultiplexOut, faded.raios, faded.noise, 30, params, vs);
assert (fieldnames (g)', {"out", "noiseVar", "gain"});
assert (nearest (g.out), nearest (tx.ComplexPSKSymbols));
% On white noise (no rays: []) the gain is one.
white = geniecombine (tx.MultiplexOut, [], faded.noise, 30, params, vs);
assert (all (white.gain == 1));

% The decoder turns sure coded-bit ratios back into the information bits.
d = sisodecode (4 * (1 - 2 * tx.CodOutInterIn), params, 1);
assert (fieldnames (d)', {"Extrinsic", "InfoLLR", "InfoBits"});
assert (d.InfoBits, tx.BitInCodIn(1:numel (d.InfoBits)));

% The blocks' own failures reach Octave with their identifiers.
expect_error (@() turboequal (s, params, 1, 1.5), "hfchain:turboequal:BadIterations");
expect_error (@() chansound (matched.out(1:3000), start, params, vs), "hfchain:chansound:TooShort");
bad = s;
bad.basis = ones (30, 1);
expect_error (@() turboequal (bad, params, 1, 0), "hfchain:turboequal:BadSounding");
expect_error (@() turboequal (rmfield (s, "profile"), params, 1, 0), "hfchain:gateway:WrongFields");
expect_error (@() sisodecode (zeros (5, 1), params, 1), "hfchain:runtime:SizeMismatch");

% Non-finite and huge values are refused naming the variable and the element; a symbol seen
% through no gain is an erasure (0, variance Inf), which softslicer turns into ratios of 0.
spoilt = matched.out;
spoilt(10) = NaN;
expect_error (@() chansound (spoilt, start, params, vs), "hfchain:chansound:NonFinite",
              "MatchedFilterIn(10) is NaN + 0i: matched-filter samples must be finite.");
expect_error (@() chansound (matched.out * 1e300, start, params, vs), "hfchain:chansound:TooLarge");
bad = params;
bad.probe(3, 2) = Inf;
expect_error (@() chansound (matched.out, start, bad, vs), "hfchain:layout:NonFinite",
              "milstd.probe(19) is Inf: probe symbol values must be finite.");
expect_error (@() chansound (matched.out, start, params, setfield (vs, "rolloffFactor", 4.9e-324)),
              "", "ERRO! Fator de rolloff invalido.");
bad = s;
bad.gainVar(5) = NaN;
expect_error (@() turboequal (bad, params, 1, 0), "hfchain:turboequal:NonFinite",
              "sounding.gainVar(5) is NaN: a sounding's values must be finite.");
bad = s;
bad.noiseVar = -1;
expect_error (@() turboequal (bad, params, 1, 0), "hfchain:turboequal:BadSounding");
bad = s;
bad.out = bad.out * 1e300;
expect_error (@() turboequal (bad, params, 1, 0), "hfchain:turboequal:TooLarge");
bad = s;
bad.windowTime = bad.windowTime * 1e300;  % only places the windows: a finite result
assert (all (isfinite (turboequal (bad, params, 1, 1).out)));
raios = faded.raios;
raios(77, 1) = NaN;
expect_error (@() geniecombine (tx.MultiplexOut, raios, faded.noise, 30, params, vs),
              "hfchain:geniecombine:NonFinite", "raios(77) is NaN + 0i: ray gains must be finite.");
expect_error (@() geniecombine (tx.MultiplexOut, faded.raios, faded.noise, NaN, params, vs),
              "hfchain:channel:InvalidEsNodB");
expect_error (@() geniecombine (tx.MultiplexOut, faded.raios, faded.noise, 30, params,
                                setfield (vs, "rolloffFactor", 4.9e-324)),
              "", "ERRO! Fator de rolloff invalido.");
huge = geniecombine (tx.MultiplexOut, faded.raios * 1e300, faded.noise * 1e300, 30, params, vs);
assert (all (isfinite (huge.out)) && all (isfinite (huge.noiseVar)));
for EsNodB = [30, Inf]
  erased = geniecombine (tx.MultiplexOut, zeros (size (faded.raios)), faded.noise, EsNodB,
                         params, vs);
  assert (all (erased.out == 0) && all (erased.noiseVar == Inf) && all (erased.gain == 0));
  assert (all (softslicer (erased.out, erased.noiseVar, params).LLR == 0));
end
llr = 4 * (1 - 2 * tx.CodOutInterIn);
llr(33) = NaN;
expect_error (@() sisodecode (llr, params, 1), "hfchain:sisodecode:NaN",
              "DecoderIn(33) is NaN: a log-likelihood ratio must be a number (0 marks an erased bit).");
disp ("hfreceiver_test passed");
