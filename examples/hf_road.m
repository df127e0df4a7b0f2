% HF_ROAD  One transmission through a Watterson channel, received by the HF receiver and by the
% genie bound, through the plug-ins: modeconf -> sendchain -> pulseshaper -> fadesim ->
% pulsematch -> framelock -> chansound -> turboequal, and geniecombine beside them; both are
% soft-demapped here and decoded by sisodecode, and their information bits compared with the
% transmitted ones.
%
% Run from Octave in the project's folder, after setting any of the variables below (the
% plug-ins come from the path, else from build/release/mex, which scripts/run.sh builds):
%   model = "muito_ruim"; EsNodB = 14; run ("examples/hf_road.m")

use_plugins ();
defaults = struct ("interLen", 0.6,     % interleaver length in seconds: 0.6 or 4.8
                   "nFrame", 1,         % interleaver blocks of data
                   "txSeed", 1,         % seed of the information bits
                   "model", "ruim",     % "bom", "moderado", "ruim" or "muito_ruim"
                   "EsNodB", 14,        % Es/N0 in dB (SNR in 3 kHz is 0.97 dB less)
                   "channelSeed", 2,    % seed of the fading and the noise
                   "iterations", 2);    % turbo iterations of the HF receiver
for [value, name] = defaults
  if (! exist (name, "var"))
    eval ([name " = value;"]);
  end
end

params = modeconf (interLen);
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
tx = sendchain (params, nFrame, txSeed);
shaped = pulseshaper (tx.MultiplexOut, vs);
channel = fadesim (shaped.out, struct ("model", model, "EsNodB", EsNodB, "seed", channelSeed), vs);
matched = pulsematch (channel.AwgnOut, vs);
start = framelock (matched.out, params, vs);

% The HF receiver: sounding (paths, their gains, the noise), then turbo equalisation.
sounding = chansound (matched.out, start, params, vs);
equalised = turboequal (sounding, params, nFrame, iterations);
% The genie: the true ray gains, no intersymbol interference, the same noise.
genie = geniecombine (tx.MultiplexOut, channel.raios, channel.noise, EsNodB, params, vs);

% Max-log soft demapping of equalised symbols z with error variances nv: the three bits of the
% Gray point v are those of v, most significant first.
function llr = demap (z, nv)
  gray2bina = [0 1 3 2 7 6 4 5];
  points = exp (2i * pi * gray2bina / 8);
  bits = dec2bin (0:7) - "0";
  d = abs (z(:) - points) .^ 2 ./ nv(:);
  llr = zeros (3, numel (z));
  for b = 1:3
    llr(b, :) = (min (d(:, bits(:, b) == 1), [], 2) - min (d(:, bits(:, b) == 0), [], 2))';
  end
  llr = llr(:);
end

names = {"hf", "genie"};
for k = 1:2
  if (k == 1)
    z = equalised.out;  nv = equalised.noiseVar;
  else
    z = genie.out;  nv = genie.noiseVar;
  end
  decoded = sisodecode (unshuffle (demap (z, nv), params).out, params, nFrame);
  errors = sum (decoded.InfoBits != tx.BitInCodIn(1:numel (decoded.InfoBits)));
  printf ("%-6s %d of %d information bits wrong\n", names{k}, errors, numel (decoded.InfoBits));
end
printf ("paths found at samples %s (powers %s), Doppler spread %.2g Hz, noise %.3g\n",
        mat2str (sounding.delays'), mat2str (sounding.pathPower', 2), equalised.doppler,
        sounding.noiseVar);
