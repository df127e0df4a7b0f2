% ROAD  One simulated transmission through the ten hfchain plug-ins, the way an experiment script
% runs them: modeconf -> sendchain -> pulseshaper -> fadesim -> pulsematch -> framelock ->
% tickalign -> unframer -> symslicer -> unshuffle, then the received coded bits are compared with
% the transmitted ones.
%
% Run from Octave in the project's folder, after setting any of the variables below (the
% plug-ins come from the path, else from build/release/mex, which scripts/run.sh builds):
%   interLen = 4.8; model = "moderado"; EsNodB = 12; run ("examples/road.m")

use_plugins ();
defaults = struct ("interLen", 0.6,     % interleaver length in seconds: 0.6 or 4.8
                   "nFrame", 2,         % interleaver blocks of data
                   "txSeed", 1,         % seed of the information bits
                   "model", "bom",      % "bom", "moderado", "ruim", "muito_ruim", or "none"
                   "EsNodB", 15,        % Es/N0 in dB
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

% Channel: Watterson fading of the named condition plus noise, or nothing at all.
if (strcmp (model, "none"))
  received = shaped.out;
else
  varWatterson = struct ("model", model, "EsNodB", EsNodB, "seed", channelSeed);
  channel = fadesim (shaped.out, varWatterson, varShapping);
  received = channel.AwgnOut;
end

% Receiver.
matched = pulsematch (received, varShapping);
start = framelock (matched.out, params, varShapping);
if (isempty (start))
  error ("road: no frame start found");
end
symbols = tickalign (matched.out, start, varShapping);
data = unframer (symbols.out, params);
demod = symslicer (data.out, params);
deinterleaved = unshuffle (demod.DemapOut, params);

% Coded-bit errors: a bit missing at the end counts as an error.
sent = tx.CodOutInterIn;
got = deinterleaved.out;
n = min (numel (sent), numel (got));
errors = sum (got(1:n) != sent(1:n)) + abs (numel (sent) - numel (got));
printf ("# interleaver %.1f s, %g blocks, channel %s, Es/N0 %g dB\n", interLen, nFrame, model,
        EsNodB);
printf ("# frame start at sample %d (%d without channel delay)\n", start,
        2 * pulseDelay * oversamplingFactor + 1);
printf ("coded bits %d   errors %d   rate %.3e\n", numel (sent), errors, errors / numel (sent));
