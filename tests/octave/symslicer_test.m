% symslicer through its plug-in.
m = modeconf (0.6);
r = symslicer ([1; -1; 1i], m);
assert (fieldnames (r)', {"DemodOutDemapIn", "DemapOut"});
assert (r.DemodOutDemapIn, [0; 4; 2]);
assert (r.DemapOut, [0 0 0  1 1 0  0 1 1]');
assert (symslicer ([1; 2; 3], m).DemodOutDemapIn, [0; 0; 0]);   % real input accepted
e = symslicer (zeros (0, 1), m);
assert ([size(e.DemodOutDemapIn) size(e.DemapOut)], [0 1 0 1]);
x = exp (2i * pi * (0:7)' / 8);
assert (symslicer (x, m).DemodOutDemapIn, (0:7)');
expect_error (@() symslicer (x.', m), "hfchain:gateway:WrongSize");
params_rejections (@(bad) symslicer (x, bad));
% 2^26 and 2^30 points: the symbol at 45 degrees is refused at once, without building the
% constellation.
y = exp (2i * pi * mod ((0:39)', 8) / 8);
for b = [26 30]
  big = m; big.bitsToSym = b;
  expect_error (@() symslicer (y, big), "hfchain:runtime:IndexOutOfBounds",
                sprintf ("Index %d is out of bounds for 'bina2gray' (valid range 1..8).",
                         2^b / 8 + 1));
end
disp ("symslicer_test passed");
