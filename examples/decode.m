% DECODE  One simulated transmission decoded down to the information bits: the road of
% examples/road.m up to the received data symbols, then soft decisions (softslicer), soft
% deinterleaving (unshuffle on the ratios) and Viterbi decoding (vitdecode). Prints the coded-bit
% errors of hard decisions beside the information-bit errors after decoding.
%
% Run from Octave in the project's folder, after setting any of the variables below (the
% plug-ins come from the path, else from build/release/mex, which scripts/run.sh builds):
%   EsNodB = 6; nFrame = 10; run ("examples/decode.m")
%
% model "awgn" adds white Gaussian noise only (drawn here with Octave's randn); a Watterson
% condition goes through fadesim. The receiver has no equaliser, so under fading the symbols turn
% with the rays and no decoder can help; on white noise the code gains several dB.

use_plugins ();
defaults = struct ("interLen", 0.6,     % interleaver length in seconds: 0.6 or 4.8
                   "nFrame", 4,         % interleaver blocks of data
                   "txSeed", 1,         % seed of the information bits
                   "model", "awgn",     % "awgn", or "bom", "moderado", "ruim", "muito_ruim"
                   "EsNodB", 7,         % Es/N0 in dB
                   "channelSeed", 2,    % seed of the fading and the noise
                   "rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
for [value, name] = defaults
  if (! exist (name, "var"))
    eval ([name " = value;"]);
  end
end

params = modeconf (interLen);
varShapping = struct ("rolloffFactor", rolloffFactor, "pulseDelay", pulseDelay,
                      "oversamplingFactor", oversamplingFactor);

% Transmitter and pulse shaping.
tx = sendchain (params, nFrame, txSeed);
shaped = pulseshaper (tx.MultiplexOut, varShapping);

% Channel. The noise has variance N0 = 10^(-EsNodB/10) per sample; after the matched filter each
% symbol carries noise of that same variance, the N0 the soft demapper needs.
N0 = 10 ^ (-EsNodB / 10);
if (strcmp (model, "awgn"))
  rng (channelSeed, "twister");
  n = numel (shaped.out);
  received = shaped.out + sqrt (N0 / 2) * (randn (n, 1) + 1i * randn (n, 1));
else
  varWatterson = struct ("model", model, "EsNodB", EsNodB, "seed", channelSeed);
  received = fadesim (shaped.out, varWatterson, varShapping).AwgnOut;
end

% Receiver up to the data symbols.
matched = pulsematch (received, varShapping);
start = framelock (matched.out, params, varShapping);
if (isempty (start))
  error ("decode: no frame start found");
end
symbols = tickalign (matched.out, start, varShapping);
data = unframer (symbols.out, params);

% Hard decisions, as the chain makes them without a decoder.
hard = unshuffle (symslicer (data.out, params).DemapOut, params).out;

% Soft decisions: one log-likelihood ratio per coded bit (positive means 0), deinterleaved by the
% same permutation, then decoded.
llr = softslicer (data.out, N0, params).LLR;
soft = unshuffle (llr, params).out;
if (numel (soft) != numel (tx.CodOutInterIn))
  error ("decode: %d coded values received, %d sent", numel (soft), numel (tx.CodOutInterIn));
end
decoded = vitdecode (soft, params, nFrame);

K = numel (decoded.InfoBits);
coded_errors = sum (hard != tx.CodOutInterIn);
info_errors = sum (decoded.InfoBits != tx.BitInCodIn(1:K));
printf ("# interleaver %.1f s, %g blocks, channel %s, Es/N0 %g dB\n", interLen, nFrame, model,
        EsNodB);
printf ("coded bits %6d   hard-decision errors %5d   rate %.3e\n", numel (hard), coded_errors,
        coded_errors / numel (hard));
printf ("information bits %6d   decoded errors %5d   rate %.3e\n", K, info_errors,
        info_errors / K);
