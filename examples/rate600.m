% RATE600  One transmission at 600 bit/s decoded down to the information bits: the parameter set
% of that rate (rateconf), the transmitter, white noise, the receiver up to the data symbols, hard
% decisions, then soft decisions (softslicer, one bit a 2-PSK symbol), soft deinterleaving
% (unshuffle) and Viterbi decoding (vitdecode). Every rate but 75 bit/s (patternslicer) and 4800
% bit/s (uncoded: the hard decisions are the information bits) decodes this way.
%
% Run from Octave in the project's folder, after setting any of the variables below (the
% plug-ins come from the path, else from build/release/mex, which scripts/run.sh builds):
%   rate = 1200; EsNodB = 3; run ("examples/rate600.m")

use_plugins ();
defaults = struct ("rate", 600,         % data rate in bit/s: 150 to 2400 decode as here
                   "interLen", 4.8,     % interleaver length in seconds: 0.6 or 4.8
                   "nFrame", 1,         % interleaver blocks of data
                   "txSeed", 1,         % seed of the information bits
                   "EsNodB", 1,         % Es/N0 in dB (per channel symbol, probes included)
                   "channelSeed", 2,    % seed of the noise
                   "rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
for [value, name] = defaults
  if (! exist (name, "var"))
    eval ([name " = value;"]);
  end
end

params = rateconf (rate, interLen);
varShapping = struct ("rolloffFactor", rolloffFactor, "pulseDelay", pulseDelay,
                      "oversamplingFactor", oversamplingFactor);

tx = sendchain (params, nFrame, txSeed);
shaped = pulseshaper (tx.MultiplexOut, varShapping);

% White noise of variance N0 per sample: after the matched filter each symbol carries noise of
% that variance, the N0 the soft demapper needs.
N0 = 10 ^ (-EsNodB / 10);
rng (channelSeed, "twister");
n = numel (shaped.out);
received = shaped.out + sqrt (N0 / 2) * (randn (n, 1) + 1i * randn (n, 1));

matched = pulsematch (received, varShapping);
start = framelock (matched.out, params, varShapping);
if (isempty (start))
  error ("rate600: no frame start found");
end
data = unframer (tickalign (matched.out, start, varShapping).out, params);

hard = unshuffle (symslicer (data.out, params).DemapOut, params).out;
soft = unshuffle (softslicer (data.out, N0, params).LLR, params).out;
if (numel (soft) != numel (tx.CodOutInterIn))
  error ("rate600: %d coded values received, %d sent", numel (soft), numel (tx.CodOutInterIn));
end
% At 300 and 150 bit/s the decoder adds the ratios of each coded bit's copies.
decoded = vitdecode (soft, params, nFrame);

K = numel (decoded.InfoBits);
coded_errors = sum (hard != tx.CodOutInterIn);
info_errors = sum (decoded.InfoBits != tx.BitInCodIn(1:K));
printf ("# %g bit/s (bitsToSym %d, repFactor %d), interleaver %.1f s, %g blocks, Es/N0 %g dB\n",
        params.rate, params.bitsToSym, params.repFactor, interLen, nFrame, EsNodB);
printf ("coded bits %6d   hard-decision errors %5d   rate %.3e\n", numel (hard), coded_errors,
        coded_errors / numel (hard));
printf ("information bits %6d   decoded errors %5d   rate %.3e\n", K, info_errors,
        info_errors / K);
if (info_errors >= coded_errors && coded_errors > 0)
  error ("rate600: the decoder gained nothing (%d decoded against %d coded errors)", info_errors,
         coded_errors);
end
