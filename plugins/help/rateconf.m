% RATECONF  The parameter set of any data rate.
%   milstd = rateconf (rate, interLen)
% Inputs:
%   rate: data rate in bit/s: 75, 150, 300, 600, 1200, 2400 or 4800
%   interLen: interleaver length in seconds, 0.6 or 4.8 (4800 bit/s: 0.6 only)
% Outputs:
%   milstd: the parameter set (struct), as modeconf's

% Help text only: Octave calls rateconf.mex, which lies beside this file.
