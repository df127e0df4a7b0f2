function args = valid_args (name)
  % VALID_ARGS  A small, valid argument list for each plug-in, cheap enough to call thousands of
  % times.
  persistent params slow short sent matched sounding slow_short slow_sounding late
  shaping = struct ("rolloffFactor", 0.35, "pulseDelay", 2, "oversamplingFactor", 2);
  if (isempty (params))
    params = modeconf (0.6);
  end
  if (isempty (slow) && any (strcmp (name, {"patternslicer", "patterntrack"})))
    slow = rateconf (75, 0.6);
  end
  if (isempty (sounding) && any (strcmp (name, {"chansound", "turboequal", "geniecombine"})))
    [short, sent, matched, sounding] = short_transmission (params, shaping, 1, 96);
  end
  if (isempty (slow_sounding) && strcmp (name, "patterntrack"))
    % The same at 75 bit/s: the first two 32-symbol patterns.
    [slow_short, ~, ~, slow_sounding] = short_transmission (slow, shaping, 4, 64);
  end
  if (isempty (late) && strcmp (name, "latedecode"))
    late = late_block (shaping);
  end
  channel = struct ("model", "muito_ruim", "EsNodB", 10, "seed", 3);
  symbols = exp (2i * pi * mod ((0:39)', 8) / 8);
  switch (name)
    case "modeconf"
      args = {0.6};
    case "rateconf"
      args = {300, 0.6};
    case "sendchain"
      args = {params, 1, 5};
    case "pulseshaper"
      args = {symbols, shaping};
    case "fadesim"
      args = {symbols, channel, shaping};
    case "hfchannel"
      % Two fading paths 5 ms (24 samples) apart, one shifted, and an offset.
      args = {symbols, struct("paths", [0 -3 5 0; 0.005 -3 5 1], "offset", 10, "EsNodB", 10,
                              "seed", 3), shaping};
    case "pulsematch"
      args = {symbols, shaping};
    case "tickalign"
      args = {symbols, 9, shaping};
    case "framelock"
      shaping.oversamplingFactor = 1;
      args = {exp(2i * pi * (1:600)' / 7), params, shaping};
    case "freqlock"
      shaping.oversamplingFactor = 1;
      args = {exp(2i * pi * (1:600)' / 7), params, shaping};
    case "modelock"
      % Two segments' worth at M = 1, so that the search runs.
      shaping.oversamplingFactor = 1;
      args = {exp(2i * pi * (1:960)' / 7), shaping, struct("threshold", 0.12, "from", 1, "to", 0)};
    case "blocklock"
      shaping.oversamplingFactor = 1;
      args = {exp(2i * pi * (1:1500)' / 7), shaping, 5};
    case "latedecode"
      args = {late, 2 * 2 * 2 + 1, 0, rateconf(75, 0.6), shaping, 1, 2};
    case "unframer"
      args = {exp(2i * pi * (1:1500)' / 8), params};
    case "symslicer"
      args = {symbols, params};
    case "unshuffle"
      args = {mod((1:2880)', 2), params};
    case "sisodecode"
      args = {cos((1:2880)'), params, 1};
    case "chansound"
      args = {matched, 9, short, shaping};
    case "turboequal"
      args = {sounding, short, 1, 0};
    case "patterntrack"
      args = {slow_sounding, slow_short, 1, "max_log"};
    case "geniecombine"
      % Two rays of gain 1 / sqrt(2) each (a combined gain of 1), so that the rays' values can
      % be spoiled too: zeros, NaN, huge gains.
      samples = 2 * (numel (sent) + 4);
      rays = ones (samples, 2) / sqrt (2);
      args = {sent, rays, zeros(samples, 1), 10, short, shaping};
    case "softslicer"
      args = {symbols, 0.5, params};
    case "patternslicer"
      args = {[symbols; symbols(1:24)], 1, 0.5, slow, "noncoherent", "exact"};
    case "vitdecode"
      args = {1 - 2 * mod((1:2880)', 2), params, 1};
    case "clocktrack"
      % 100 symbols: three windows of 16 symbols fit, the least clocktrack measures.
      symbols = exp (2i * pi * mod ((0:99)' .^ 2, 8) / 8);
      args = {pulseshaper(symbols, shaping).out, shaping, ...
              struct("first", 0, "count", 0, "window", 16)};
    case "airtransmit"
      args = {params, struct("bits", [], "nFrame", 1, "seed", 5), ...
              struct("sampleRate", 8000, "carrier", 1800, "level", -3, "levelKind", "peak")};
    case "airchannel"
      args = {0.1 * sin(2 * pi * 1000 * (0:799)' / 8000), air_channel_settings()};
    case "airreceive"
      args = {0.1 * sin(2 * pi * 1700 * (0:1999)' / 8000), params, ...
              struct("sampleRate", 8000, "carrier", 1800)};
    case "mexprops"
      args = {"modeconf"};
    otherwise
      error ("hfchain:test:UnknownPlugin", "no arguments for '%s'", name);
  end
end

function s = air_channel_settings ()
  % A fading channel with noise at an SNR in 3 kHz; the optional settings empty.
  s = struct ("sampleRate", 8000, "carrier", 1800, "channel", "ruim", "offset", 0, "snr3k", 10,
              "noiseDbfs", [], "clockPpm", 0, "impulses", [], "ssbFilter", [], "clip", [],
              "seed", 3);
end

function [short, sent, matched, sounding] = short_transmission (params, shaping, nFrame, data)
  % One short noiseless transmission for the HF receiver's plug-ins, so that the thousands of
  % calls that pass every check stay cheap: the first 288 preamble symbols (a whole number of the
  % preamble scrambler's 32-symbol periods) and the first `data` symbols after the preamble (two
  % frames) of nFrame blocks, with the parameter set's preamble cut to match.
  short = params;
  short.preamSync = params.preamSync(1:288);
  tx = sendchain (params, nFrame, 5);
  sent = tx.MultiplexOut([1:288, numel(params.preamSync) + (1:data)]);
  matched = pulsematch (pulseshaper (sent, shaping).out, shaping).out;
  sounding = chansound (matched, 9, short, shaping);
end

function matched = late_block (shaping)
  % A receiver's input from the first symbol of a 75 bit/s transmission's second block (0.6 s):
  % the block's 1440 symbols and a few after it, noiseless, the first peaking at sample 2 D M + 1.
  params = rateconf (75, 0.6);
  tx = sendchain (params, 4, 5);
  first = numel (params.preamSync) + 1440;
  matched = pulsematch (pulseshaper (tx.MultiplexOut(first + (1:1460)), shaping).out, shaping).out;
end
