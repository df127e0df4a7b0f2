% PATTERNSLICER  Soft detector of the 75 bit/s patterns: the ratios of the two coded bits of each
% 32-symbol block.
%   r = patternslicer (DemodulatorIn, gain, noiseVar, milstd, detection, rule)
% Inputs:
%   DemodulatorIn: N = 32 B descrambled data symbols (unframer's out; complex column)
%   gain: the complex channel gain of every block (one value) or of each (B values); 1 on white
%       noise
%   noiseVar: the complex noise variance N0 of every block or of each (B values); Inf erases a block
%   milstd: the 75 bit/s parameter set (rateconf (75, interLen))
%   detection: "coherent" (the gain known) or "noncoherent" (its phase unknown)
%   rule: "max_log" (the best pattern of each bit value) or "exact" (sums over the patterns)
% Outputs:
%   r.LLR: 2 B ratios ln P(0)/P(1) in nats, in symslicer's bit order
%   r.Correlations: the correlations with the four patterns of each block (4 x B)

% Help text only: Octave calls patternslicer.mex, which lies beside this file.
