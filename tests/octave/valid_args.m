function args = valid_args (name)
  % VALID_ARGS  A small, valid argument list for each plug-in, cheap enough to call thousands of
  % times.
  persistent milstd
  if (isempty (milstd))
    milstd = modeconf (0.6);
  end
  shaping = struct ("rolloffFactor", 0.35, "pulseDelay", 2, "oversamplingFactor", 2);
  channel = struct ("model", "muito_ruim", "EsNodB", 10, "seed", 3);
  symbols = exp (2i * pi * mod ((0:39)', 8) / 8);
  switch (name)
    case "modeconf"
      args = {0.6};
    case "sendchain"
      args = {milstd, 1, 5};
    case "pulseshaper"
      args = {symbols, shaping};
    case "fadesim"
      args = {symbols, channel, shaping};
    case "pulsematch"
      args = {symbols, shaping};
    case "tickalign"
      args = {symbols, 9, shaping};
    case "framelock"
      shaping.oversamplingFactor = 1;
      args = {exp(2i * pi * (1:600)' / 7), milstd, shaping};
    case "unframer"
      args = {exp(2i * pi * (1:1500)' / 8), milstd};
    case "symslicer"
      args = {symbols, milstd};
    case "unshuffle"
      args = {mod((1:2880)', 2), milstd};
    case "softslicer"
      args = {symbols, 0.5, milstd};
    case "vitdecode"
      args = {1 - 2 * mod((1:2880)', 2), milstd, 1};
    case "mexprops"
      args = {"modeconf"};
    otherwise
      error ("hfchain:test:UnknownPlugin", "no arguments for '%s'", name);
  end
end
