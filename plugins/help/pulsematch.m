% PULSEMATCH  The receive matched filter: the transmit filter's root-raised-cosine taps, full
% convolution.
%   r = pulsematch (MatchedFilterIn, varShapping)
% Inputs:
%   MatchedFilterIn: L samples at M samples a symbol (complex column)
%   varShapping: struct of rolloffFactor (in (0, 1]), pulseDelay D (symbol periods) and
%       oversamplingFactor M (samples per symbol)
% Outputs:
%   r.filter: the N = 2 D M + 1 taps (row); r.filterDelay: its delay (symbol periods)
%   r.out: L + N - 1 samples (complex column)

% Help text only: Octave calls pulsematch.mex, which lies beside this file.
