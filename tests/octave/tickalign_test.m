% tickalign through its plug-in.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 4);
x = (1:496)' + 1i;
r = tickalign (x, 49, vs);
assert (fieldnames (r)', {"out"});
assert (r.out, x(49:4:445));
r = tickalign (x, 101, vs);           % runs one past the end: a zero is appended
assert (size (r.out), [100 1]);
assert (r.out(100), 0);
assert (tickalign (x, 48, vs).out, x(48:4:444));
vs1 = vs; vs1.pulseDelay = 0; vs1.oversamplingFactor = 1;
assert (tickalign (x, 1, vs1).out, x);

expect_error (@() tickalign (x(1:96), 1, vs), "hfchain:runtime:IndexOutOfBounds");
expect_error (@() tickalign (x, 0, vs), "hfchain:runtime:IndexOutOfBounds");
expect_error (@() tickalign (x, 1.5, vs), "hfchain:runtime:NonInteger");
expect_error (@() tickalign (x, [49 50], vs), "hfchain:gateway:WrongSize");
err = expect_error (@() tickalign (x, int32 (49), vs), "hfchain:gateway:WrongClass");
assert (! isempty (strfind (err.message, "'FrameStartSample'")));
disp ("tickalign_test passed");
