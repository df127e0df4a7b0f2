% GENIECOMBINE  The genie receiver, the matched-filter bound: each data symbol through the rays
% combined, without intersymbol interference.
%   r = geniecombine (MultiplexOut, raios, noise, EsNodB, milstd, varShapping)
% Inputs:
%   MultiplexOut: the S transmitted symbols (sendchain's; complex column)
%   raios: the ray gains per sample, M (S + 2 D) x 2 (fadesim's), or empty for a channel without
%       fading
%   noise: the channel's noise per sample (fadesim's), at least M (S + 2 D) samples (complex column)
%   EsNodB: Es/N0 of the channel in dB
%   milstd: the parameter set of the transmission
%   varShapping: struct of rolloffFactor (in (0, 1]), pulseDelay D (symbol periods) and
%       oversamplingFactor M (samples per symbol)
% Outputs:
%   r.out: the data symbols as the genie sees them, descrambled, unit gain (0: erased)
%   r.noiseVar: their error variances N0 / g^2 (Inf: erased)
%   r.gain: the combined gain g of the rays at each data symbol

% Help text only: Octave calls geniecombine.mex, which lies beside this file.
