% vitdecode through its plug-in: a noiseless and a noisy transmission decoded from softslicer's
% deinterleaved ratios, messages, identifiers and the parameter-set checks.
m = modeconf (0.6);
tx = sendchain (m, 1.5, 3);
llr = unshuffle (softslicer (tx.ComplexPSKSymbols, 0.5, m).LLR, m).out;
llr_before = llr;
r = vitdecode (llr, m, 1.5);
expect_unchanged (llr_before, llr, "DecoderIn");
assert (fieldnames (r)', {"DecodOut", "InfoBits"});
assert (r.DecodOut, tx.BitInCodIn);
assert (r.InfoBits, tx.BitInCodIn(1:2016));

% Through white noise at Es/N0 = 10 dB the hard decisions miss coded bits; the decoder does not.
tx = sendchain (m, 2, 5);
rng (11, "twister");
N0 = 10 ^ (-10 / 10);
noisy = tx.ComplexPSKSymbols + sqrt (N0 / 2) * (randn (960 * 2, 1) + 1i * randn (960 * 2, 1));
hard = unshuffle (symslicer (noisy, m).DemapOut, m).out;
soft = unshuffle (softslicer (noisy, N0, m).LLR, m).out;
assert (sum (hard != tx.CodOutInterIn) > 0);
assert (vitdecode (soft, m, 2).DecodOut, tx.BitInCodIn);

fast = m;
fast.rate = 4800;
expect_error (@() vitdecode (llr, fast, 1.5), "hfchain:vitdecode:Uncoded",
              "The 4800 bit/s mode sends its bits uncoded: there is no code to decode.");
half = m;
half.repFactor = 0.5;
expect_error (@() vitdecode (llr, half, 1.5), "hfchain:vitdecode:RepFactor",
              "milstd.repFactor must be a whole number of at least 1; it is 0.5.");
expect_error (@() vitdecode (llr, m, 1), "hfchain:vitdecode:WrongLength",
              ["DecoderIn holds 5760 values; this milstd and nFrame = 1 need 2880 (1440 encoder " ...
               "input bits, 2 coded bits each)."]);
expect_error (@() vitdecode (llr, m, 0), "",
              "Erro: Total de frames insuficientes para transmissao");
bad = llr;
bad(77) = NaN;
expect_error (@() vitdecode (bad, m, 1.5), "hfchain:vitdecode:NaN",
              "DecoderIn(77) is NaN: a log-likelihood ratio must be a number (0 marks an erased bit).");
expect_error (@() vitdecode (llr.', m, 1.5), "hfchain:gateway:WrongSize");
expect_error (@() vitdecode (llr + 1i, m, 1.5), "hfchain:gateway:ComplexInput");
expect_error (@() vitdecode (llr, m, int32 (1)), "hfchain:gateway:WrongClass");
expect_error (@() vitdecode (llr, m, [1 1]), "hfchain:gateway:WrongSize");
params_rejections (@(bad) vitdecode (llr, bad, 1.5));
disp ("vitdecode_test passed");
