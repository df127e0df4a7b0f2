% UNSHUFFLE  Deinterleaver: puts bits, or their ratios, back in encoder order, block by block.
%   r = unshuffle (DeinterleaverIn, milstd)
% Inputs:
%   DeinterleaverIn: N bits or ratios in transmission order, N a multiple of numel
%       (milstd.interTable) (real column)
%   milstd: the parameter set (not 4800 bit/s, which has no interleaver)
% Outputs:
%   r.out: the N values in encoder order

% Help text only: Octave calls unshuffle.mex, which lies beside this file.
