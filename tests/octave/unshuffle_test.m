% unshuffle through its plug-in.
m = modeconf (0.6);
small = m; small.interTable = [2; 3; 1];
assert (unshuffle ((1:6)', small).out, [3; 1; 2; 6; 4; 5]);
bits = mod ((1:2 * 2880)', 3);
r = unshuffle (bits, m);
assert (fieldnames (r)', {"out"});
assert (size (r.out), [5760 1]);
% Scattering undoes the interleaver's gather, block by block.
blocks = reshape (r.out, 2880, 2);
assert (blocks(m.interTable, :), reshape (bits, 2880, 2));
fast = m; fast.rate = 4800;
expect_error (@() unshuffle (bits, fast), "",
              "ERRO! Para a taxa 4800bps, nao ha deinterleaver.");
expect_error (@() unshuffle (bits(1:100), m), "Coder:MATLAB:NonIntegerInput");
expect_error (@() unshuffle (bits + 1i, m), "hfchain:gateway:ComplexInput");
params_rejections (@(bad) unshuffle (bits, bad));
disp ("unshuffle_test passed");
