% patternslicer through its plug-in: the ratios by their definition, the signs on the
% transmitter's own 75 bit/s transmission turned by an unknown phase, erasures, the text
% arguments, messages and identifiers.
m = rateconf (75, 0.6);
s = 1 - 2 * (m.chSymMapping / 4);          % the eight patterns as points 1 and -1
y = [0.8 * s(:, 4) + 0.3i * s(:, 2); -0.5i * s(:, 1) + 0.2 * s(:, 3)];
y_before = y;
m_before = m;
r = patternslicer (y, 1, 0.7, m, "coherent", "max_log");
expect_unchanged (y_before, y, "DemodulatorIn");
expect_unchanged (m_before, m, "milstd");
assert (fieldnames (r)', {"LLR", "Correlations"});
assert (size (r.LLR), [4 1]);
assert (size (r.Correlations), [4 2]);

% By their definition: the correlations with the block's four patterns, the values' bits
% (value v carries the pair whose Gray-mapped number is v: 00, 01, 11, 10), and for each bit the
% largest metric of its two values.
c = reshape (y, 32, 2).' * s(:, 1:4);      % blocks x values
assert (r.Correlations, c.', 1e-12);
bits = [0 0; 0 1; 1 1; 1 0];
h = 0.6 * exp (0.4i);
for detection = {"coherent", "noncoherent"}
  if (strcmp (detection{1}, "coherent"))
    metric = 2 * real (conj (h) * c) / 0.7;
  else
    metric = 2 * abs (h) * abs (c) / 0.7;
  end
  expected = zeros (4, 1);
  exact = zeros (4, 1);
  for k = 1:2
    for i = 1:2
      zero = metric(k, bits(:, i) == 0);
      one = metric(k, bits(:, i) == 1);
      expected(2 * (k - 1) + i) = max (zero) - max (one);
      if (strcmp (detection{1}, "coherent"))
        exact(2 * (k - 1) + i) = log (sum (exp (zero))) - log (sum (exp (one)));
      else
        exact(2 * (k - 1) + i) = log (sum (besseli (0, zero))) - log (sum (besseli (0, one)));
      end
    end
  end
  assert (patternslicer (y, h, 0.7, m, detection{1}, "max_log").LLR, expected, 1e-12);
  assert (patternslicer (y, h, 0.7, m, detection{1}, "exact").LLR, exact, 1e-10);
end

% One gain and noise variance per block; +Inf erases a block.
e = patternslicer (y, [1; 2], [Inf; 0.7], m, "noncoherent", "exact").LLR;
assert (e(1:2), [0; 0]);
assert (e(3:4) != 0);

% The signs give back the interleaved bits of a noiseless transmission turned by an unknown
% phase, the alternate pattern of every 45th value included.
tx = sendchain (m, 4, 3);
data = unframer (tx.MultiplexOut * exp (2i), m).out;
llr = patternslicer (data, 1, 0.1, m, "noncoherent", "max_log").LLR;
assert (double (llr < 0), tx.InterOutMapIn);

expect_error (@() patternslicer (y, 1, 1, m, "blind", "exact"),
              "hfchain:patternslicer:Detection",
              "detection must be \"coherent\" or \"noncoherent\"; it is \"blind\".");
expect_error (@() patternslicer (y, 1, 1, m, "coherent", "max"), "hfchain:patternslicer:Rule",
              "rule must be \"max_log\" or \"exact\"; it is \"max\".");
expect_error (@() patternslicer (y, 1, 1, m, 1, "exact"), "hfchain:gateway:WrongClass");
expect_error (@() patternslicer (y(1:40), 1, 1, m, "coherent", "exact"),
              "hfchain:patternslicer:PartialBlock",
              "40 symbols are not a whole number of 32-symbol patterns.");
expect_error (@() patternslicer (y, [1; 1; 1], 1, m, "coherent", "exact"),
              "hfchain:patternslicer:GainSize",
              "gain must hold one value for all blocks or one per block (2); it holds 3.");
fast = rateconf (2400, 0.6);
expect_error (@() patternslicer (y, 1, 1, fast, "coherent", "exact"), "hfchain:patternslicer:Rate",
              ["patternslicer detects the channel patterns of the 75 bit/s mode; milstd.rate " ...
               "is 2400 bit/s."]);
printf ("patternslicer_test passed\n");
