% PULSESHAPER  Zero-stuffs the symbols to M samples a symbol and filters them with the unit-energy
% root-raised cosine.
%   r = pulseshaper (ShappingIn, varShapping)
% Inputs:
%   ShappingIn: L symbols, one a symbol period (complex column)
%   varShapping: struct of rolloffFactor (in (0, 1]), pulseDelay D (symbol periods) and
%       oversamplingFactor M (samples per symbol)
% Outputs:
%   r.filter: the 2 D M + 1 taps (row)
%   r.out: M (L + 2 D) samples at 2400 M samples/s (complex column)

% Help text only: Octave calls pulseshaper.mex, which lies beside this file.
