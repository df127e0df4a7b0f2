% clocktrack through its plug-in: a known clock offset read back (the transmission's samples
% stretched by interpolation, as a fast receiving clock takes them), within and around a span,
% the inputs kept, the fields, and a refusal.
vs = struct ("rolloffFactor", 0.35, "pulseDelay", 6, "oversamplingFactor", 4);
tx = sendchain (modeconf (0.6), 2, 5);
shaped = pulseshaper (tx.MultiplexOut, vs).out;
n = (0:numel (shaped) - 1)';
for ppm = [-100 0 80]
  % Sample k of a clock (1 + ppm 1e-6) times as fast is at k / (1 + ppm 1e-6) of the sender's.
  taken = interp1 (n, shaped, n(1:end - 10) / (1 + ppm * 1e-6), "spline");
  received = [zeros(400, 1); taken];
  vc = struct ("first", 400, "count", 0, "window", 256);
  before = received; vc_before = vc;
  r = clocktrack (received, vs, vc);
  expect_unchanged (before, received, "received");
  expect_unchanged (vc_before, vc, "varClocktrack");
  assert (abs (r.ppm - ppm) < 3, "ppm %g read as %g", ppm, r.ppm);
  assert (r.residual < 0.02);
  assert (size (r.centre, 2) == 1 && isequal (size (r.centre), size (r.timing), size (r.weight)));
end
assert (fieldnames (r)', {"ppm", "residual", "centre", "timing", "weight"});
expect_error (@() clocktrack (received, vs, setfield (vc, "window", 8)),
              "hfchain:clocktrack:Refused");
disp ("clocktrack_test passed");
