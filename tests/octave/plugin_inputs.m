function n = plugin_inputs (name)
  % PLUGIN_INPUTS  Number of inputs of each plug-in's entry point.
  table = struct ("modeconf", 1, "rateconf", 2, "sendchain", 3, "pulseshaper", 2, "fadesim", 3,
                  "hfchannel", 3,
                  "pulsematch", 2, "tickalign", 3, "framelock", 3, "freqlock", 3, "modelock", 3,
                  "blocklock", 3, "latedecode", 7,
                  "unframer", 2,
                  "symslicer", 2, "unshuffle", 2, "softslicer", 3, "patternslicer", 6,
                  "vitdecode", 3, "mexprops", 1, "sisodecode", 3, "chansound", 4,
                  "turboequal", 4, "patterntrack", 4, "geniecombine", 6, "clocktrack", 3,
                  "airtransmit", 3, "airchannel", 2, "airreceive", 3);
  n = table.(name);
end
