% unframer through its plug-in.
m = modeconf (0.6);
x = exp (2i * pi * (1:1440 + 2880)' / 8);
r = unframer (x, m);
assert (fieldnames (r)', {"out"});
assert (size (r.out), [1920 1]);
assert (size (unframer ([x; ones(20, 1)], m).out), [1920 1]);   % incomplete frame dropped
assert (size (unframer (x(1:1440), m).out), [0 1]);
assert (size (unframer (zeros (0, 1), m).out), [0 1]);
% Frames of all-zero symbol values come back as 1 after descrambling.
if (exist ("sendchain") == 3)
  tx = sendchain (m, 1, 3);
  rx = unframer (tx.MultiplexOut, m).out;
  assert (rx, tx.ComplexPSKSymbols, 1e-12);
end
params_rejections (@(bad) unframer (x, bad));
disp ("unframer_test passed");
