% BENCH_ROAD  Times the whole road through the plug-ins for one 4.8 s interleaver block at M = 5,
% stage by stage, to set against the same road through the C++ API (hfchain_bench, release build).
% Run from Octave in the project's folder (the plug-ins come from the path, else from
% build/release/mex, which scripts/run.sh builds):
%   run ("examples/bench_road.m")

use_plugins ();
repeats = 5;
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
vw = struct ("model", "moderado", "EsNodB", 20, "seed", 2);
params = modeconf (4.8);
stages = {"modeconf", "sendchain", "pulseshaper", "fadesim", "pulsematch", "framelock", ...
          "tickalign", "unframer", "symslicer", "unshuffle"};
times = zeros (repeats, numel (stages));
for r = 1:repeats
  t = tic; params = modeconf (4.8);                          times(r, 1) = toc (t);
  t = tic; tx = sendchain (params, 1, 1);                    times(r, 2) = toc (t);
  t = tic; sh = pulseshaper (tx.MultiplexOut, vs);           times(r, 3) = toc (t);
  t = tic; ch = fadesim (sh.out, vw, vs);                    times(r, 4) = toc (t);
  t = tic; mf = pulsematch (ch.AwgnOut, vs);                 times(r, 5) = toc (t);
  t = tic; st = framelock (mf.out, params, vs);              times(r, 6) = toc (t);
  t = tic; sy = tickalign (mf.out, st, vs);                  times(r, 7) = toc (t);
  t = tic; dm = unframer (sy.out, params);                   times(r, 8) = toc (t);
  t = tic; sl = symslicer (dm.out, params);                  times(r, 9) = toc (t);
  t = tic; de = unshuffle (sl.DemapOut, params);             times(r, 10) = toc (t);
end
best = min (times, [], 1);
printf ("# whole road through the Octave plug-ins, 4.8 s interleaver, 1 block, M = 5\n");
printf ("# best of %d runs, milliseconds\n", repeats);
for k = 1:numel (stages)
  printf ("%-12s %9.2f\n", stages{k}, 1e3 * best(k));
end
printf ("%-12s %9.2f\n", "total", 1e3 * sum (best));
