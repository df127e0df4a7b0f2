% softslicer through its plug-in: the ratios by their definition, the signs on the transmitter's
% symbols, erasures, messages, identifiers and the parameter-set checks.
m = modeconf (0.6);
y = [0.9+0.2i; -0.3+0.8i; 0.1-1.1i; -1-0.1i; 0.05+0.02i];
y_before = y;
m_before = m;
r = softslicer (y, 0.7, m);
expect_unchanged (y_before, y, "DemodulatorIn");
expect_unchanged (m_before, m, "milstd");
assert (fieldnames (r)', {"LLR"});
assert (size (r.LLR), [15 1]);

% Max-log ratios by their definition: the nearest point of each bit value, with the bits
% symslicer gives each of the eight points.
points = exp (2i * pi * (0:7)' / 8);
labels = reshape (symslicer (points, m).DemapOut, 3, 8)';
expected = zeros (15, 1);
for n = 1:5
  d = abs (y(n) - points) .^ 2;
  for i = 1:3
    expected(3 * (n - 1) + i) = (min (d(labels(:, i) == 1)) - min (d(labels(:, i) == 0))) / 0.7;
  end
end
assert (r.LLR, expected, 1e-12);

% One variance per symbol; +Inf erases a symbol.
nv = [0.7; Inf; 0.7; 0.7; 0.7];
e = softslicer (y, nv, m).LLR;
assert (e([1:3 7:15]), expected([1:3 7:15]), 1e-12);
assert (e(4:6), zeros (3, 1));
assert (softslicer ([1; 2; 3], 1, m).LLR(1:3) > 0);   % real input accepted
assert (size (softslicer (zeros (0, 1), 1, m).LLR), [0 1]);

% The signs give back the bits the transmitter sent, for 3, 2 and 1 bits a symbol.
for b = [3 2 1]
  mb = m;
  mb.bitsToSym = b;
  tx = sendchain (mb, 1, 4);
  llr = softslicer (tx.ComplexPSKSymbols, 0.1, mb).LLR;
  assert (double (llr < 0), tx.InterOutMapIn);
end

slow = m;
slow.rate = 75;
expect_error (@() softslicer (y, 1, slow), "hfchain:softslicer:Rate75",
              ["The 75 bit/s mode sends each value as a 32-symbol channel pattern, not as one " ...
               "Gray-mapped point: softslicer has no soft decisions for it."]);
four = m;
four.bitsToSym = 4;
expect_error (@() softslicer (y, 1, four), "hfchain:softslicer:BitsToSym",
              "softslicer demaps 1, 2 or 3 bits a symbol; milstd.bitsToSym is 4.");
expect_error (@() softslicer (y, [1; 1], m), "hfchain:softslicer:NoiseVarSize",
              "noiseVar must hold one value for all symbols or one per symbol (5); it holds 2.");
expect_error (@() softslicer (y, [1; 1; 0; 1; 1], m), "hfchain:softslicer:NoiseVar",
              "noiseVar(3) is 0: a noise variance must be positive (+Inf marks an erased symbol).");
expect_error (@() softslicer (y, -1, m), "hfchain:softslicer:NoiseVar");
expect_error (@() softslicer (y, NaN, m), "hfchain:softslicer:NoiseVar");
expect_error (@() softslicer ([1; NaN], 1, m), "hfchain:softslicer:NonFinite",
              "DemodulatorIn(2) is NaN + 0i: received symbols must be finite.");
expect_error (@() softslicer (y.', 1, m), "hfchain:gateway:WrongSize");
expect_error (@() softslicer (y, [1 1 1 1 1], m), "hfchain:gateway:WrongSize");
expect_error (@() softslicer (y, 1 + 1i, m), "hfchain:gateway:ComplexInput");
expect_error (@() softslicer (y, single (1), m), "hfchain:gateway:WrongClass");
params_rejections (@(bad) softslicer (y, 1, bad));
disp ("softslicer_test passed");
