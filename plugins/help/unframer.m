% UNFRAMER  Strips the preamble, descrambles, drops an incomplete last frame and the probes.
%   r = unframer (DemultiplexIn, milstd)
% Inputs:
%   DemultiplexIn: symbols, one a symbol period, preamble first (complex column)
%   milstd: the parameter set
% Outputs:
%   r.out: the received data symbols (complex column; empty for a short input)

% Help text only: Octave calls unframer.mex, which lies beside this file.
