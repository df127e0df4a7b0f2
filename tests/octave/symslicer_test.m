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
milstd_rejections (@(bad) symslicer (x, bad));
disp ("symslicer_test passed");
