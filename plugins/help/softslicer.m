% SOFTSLICER  Soft demapper: the log-likelihood ratio of every coded bit of each data symbol
% (max-log: the nearest point of each bit value).
%   r = softslicer (DemodulatorIn, noiseVar, milstd)
% Inputs:
%   DemodulatorIn: N data symbols on the unit-energy constellation (complex column, finite)
%   noiseVar: the complex noise variance N0 of the symbols in units of |y|^2 (10^(-EsNodB/10) for
%       unit Es): one value or N; Inf erases a symbol
%   milstd: the parameter set (not 75 bit/s: see patternslicer)
% Outputs:
%   r.LLR: bitsToSym N ratios ln P(0)/P(1) in nats (positive favours 0), in symslicer's bit order

% Help text only: Octave calls softslicer.mex, which lies beside this file.
