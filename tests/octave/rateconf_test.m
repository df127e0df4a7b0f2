% rateconf through its plug-in: the 2400 bit/s sets equal modeconf's, every rate's set has the
% structure the other plug-ins read, and a noiseless round trip through sendchain, unframer,
% symslicer and unshuffle gives every coded bit back at every rate.
assert (isequal (rateconf (2400, 0.6), modeconf (0.6)));
assert (isequal (rateconf (2400, 4.8), modeconf (4.8)));
assert (isequal (fieldnames (rateconf (75, 0.6)), fieldnames (modeconf (0.6))));

% rate, interLen, nFrame, bitsToSym, repFactor, data, trein, coded
modes = [4800 0.6 1   3 1 32 16 0;
         1200 0.6 0.5 2 1 20 20 1;
         1200 4.8 0.5 2 1 20 20 1;
          600 0.6 1.5 1 1 20 20 1;
          300 0.6 1   1 2 20 20 1;
          150 0.6 2   1 4 20 20 1;
          150 4.8 0.5 1 4 20 20 1;
           75 0.6 4   2 1 32  0 1;
           75 4.8 0.5 2 1 32  0 1];
for k = 1:rows (modes)
  rate = modes(k, 1);
  interLen = modes(k, 2);
  m = rateconf (rate, interLen);
  assert ([m.rate, m.interl, m.bitsToSym, m.repFactor, m.data, m.trein],
          modes(k, [1 2 4 5 6 7]));
  assert (size (m.probe), [m.trein, 2]);
  assert (size (m.chSymMapping), [32 8]);
  tx = sendchain (m, modes(k, 3), 3);
  data = unframer (tx.MultiplexOut, m).out;
  bits = symslicer (data, m).DemapOut;
  assert (bits, tx.InterOutMapIn);
  if (! modes(k, 8))
    assert (bits, tx.BitInCodIn);
    expect_error (@() unshuffle (bits, m), "",
                  "ERRO! Para a taxa 4800bps, nao ha deinterleaver.");
  else
    assert (unshuffle (bits, m).out, tx.CodOutInterIn);
  end
end

expect_error (@() rateconf (4800, 4.8), "hfchain:params:NoLongInterleaver");
expect_error (@() rateconf (9600, 0.6), "hfchain:params:UnknownRate",
              "The data rate 9600 bit/s is not one of 75, 150, 300, 600, 1200, 2400 and 4800.");
expect_error (@() rateconf (75, 1.2), "hfchain:params:UnknownInterleaver",
              "The interleaver length 1.2 s is not one of 0.6 and 4.8.");
expect_error (@() rateconf ("75", 0.6), "hfchain:gateway:WrongClass");
expect_error (@() rateconf (75, [0.6 4.8]), "hfchain:gateway:WrongSize");
expect_error (@() rateconf (75), "emlcoder:emlmex:WrongNumberOfInputs",
              "2 inputs required for entry-point 'rateconf'.");
disp ("rateconf_test passed");
