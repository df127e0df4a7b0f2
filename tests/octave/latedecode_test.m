% latedecode through its plug-in: a 75 bit/s transmission heard from inside its first block, with
% an offset, found by blocklock; the whole blocks after the entry decoded, the inputs kept, the
% fields, an input without a whole block, and a refusal.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 5);
params = rateconf (75, 0.6);
tx = sendchain (params, 5, 5);
shaped = pulseshaper (tx.MultiplexOut, vs).out;
y = hfchannel (shaped, struct ("paths", "1p:0ms:0Hz", "offset", 25, "EsNodB", 10, "seed", 6), vs);
matched = pulsematch (y.AwgnOut, vs).out;
x = matched((1440 + 700) * 5 + 1:end);  % from 700 symbols into the first block
lock = blocklock (x, vs, 5);
assert (lock.mode, 11);  % 75 bit/s, 0.6 s

x_before = x; params_before = params; vs_before = vs;
r = latedecode (x, lock.blockStart, lock.offset, params, vs, Inf, 2);
expect_unchanged (x_before, x, "MatchedFilterIn");
expect_unchanged (params_before, params, "milstd");
expect_unchanged (vs_before, vs, "varShapping");
assert (fieldnames (r)', {"blocks", "DecodOut", "out", "noiseVar"});
% Blocks 2 to 5 of the transmission, 45 encoder input bits each.
assert (r.blocks, 4);
assert (r.DecodOut, tx.BitInCodIn(46:225));
assert (size (r.out), [4 * 45 * 32, 1]);

% At most nFrame blocks; none where no whole block is left.
assert (latedecode (x, lock.blockStart, lock.offset, params, vs, 1, 2).DecodOut,
        tx.BitInCodIn(46:90));
assert (latedecode (x(1:7000), lock.blockStart, lock.offset, params, vs, Inf, 2).blocks, 0);

expect_error (@() latedecode (x, lock.blockStart, NaN, params, vs, Inf, 2),
              "hfchain:late:BadOffset");
