% MODECONF  The parameter set of the 2400 bit/s mode, as rateconf (2400, interLen).
%   milstd = modeconf (interLen)
% Inputs:
%   interLen: interleaver length in seconds, 0.6 or 4.8
% Outputs:
%   milstd: the parameter set (struct): rate (bit/s), interl (s), bitsToSym, repFactor, data and
%       trein (symbols a frame), preamSync, probe, interTable, chSymMapping

% Help text only: Octave calls modeconf.mex, which lies beside this file.
