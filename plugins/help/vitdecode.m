% VITDECODE  Viterbi decoder of the rate-1/2, constraint-length-7 code (generators 133 and 171
% octal).
%   r = vitdecode (DecoderIn, milstd, nFrame)
% Inputs:
%   DecoderIn: ratios ln P(0)/P(1) of the coded bits in encoder order (unshuffle of softslicer's
%       LLR), as many as sendchain's CodOutInterIn; 0 erases, Inf is sure (real column)
%   milstd: the parameter set (not 4800 bit/s, which is uncoded)
%   nFrame: the interleaver blocks given to sendchain (need not be whole)
% Outputs:
%   r.DecodOut: the decoded encoder-input bits (0/1 column)
%   r.InfoBits: its first K, the information bits

% Help text only: Octave calls vitdecode.mex, which lies beside this file.
