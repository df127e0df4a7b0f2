% The whole road through the ten plug-ins, without noise, for both interleaver lengths: the
% received coded bits equal the transmitted ones.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
for interLen = [0.6 4.8]
  params = modeconf (interLen);
  tx = sendchain (params, 1, 7);
  shaped = pulseshaper (tx.MultiplexOut, vs);
  matched = pulsematch (shaped.out, vs);
  start = framelock (matched.out, params, vs);
  assert (start, 2 * vs.pulseDelay * vs.oversamplingFactor + 1);
  symbols = tickalign (matched.out, start, vs);
  assert (numel (symbols.out), numel (tx.MultiplexOut));
  data = unframer (symbols.out, params);
  demod = symslicer (data.out, params);
  received = unshuffle (demod.DemapOut, params);
  assert (size (received.out), size (tx.CodOutInterIn));
  errors = sum (received.out != tx.CodOutInterIn);
  printf ("interleaver %.1f s: %d coded bits, %d errors\n", interLen, numel (received.out), errors);
  assert (errors, 0);
end

% Through the channel with its noise switched off (Es/N0 = +Inf) the road still runs end to end
% and every stage keeps its length bookkeeping.
params = modeconf (0.6);
tx = sendchain (params, 1, 7);
shaped = pulseshaper (tx.MultiplexOut, vs);
faded = fadesim (shaped.out, struct ("model", "bom", "EsNodB", Inf, "seed", 1), vs);
assert (all (faded.noise == 0));
assert (numel (faded.AwgnOut), numel (shaped.out) + 6);
disp ("chain_test passed");
