% SISODECODE  Soft-in/soft-out (max-log-MAP) decoder of the same code, for iterative receivers.
%   r = sisodecode (DecoderIn, milstd, nFrame)
% Inputs:
%   DecoderIn: 2 N ratios ln P(0)/P(1) of the coded bits in encoder order; 0 no information, Inf
%       sure, NaN refused (real column)
%   milstd: the parameter set (coded, each coded bit sent once)
%   nFrame: the interleaver blocks given to sendchain (need not be whole)
% Outputs:
%   r.Extrinsic: 2 N extrinsic coded-bit ratios (nats, encoder order)
%   r.InfoLLR: N a-posteriori ratios of the encoder-input bits (nats)
%   r.InfoBits: the K decided information bits

% Help text only: Octave calls sisodecode.mex, which lies beside this file.
