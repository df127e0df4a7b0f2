% FREQLOCK  Carrier frequency acquisition on the preamble: the offset, the signal turned back, its
% start.
%   r = freqlock (MatchedFilterIn, milstd, varShapping)
% Inputs:
%   MatchedFilterIn: at least 575 M matched-filter output samples (complex column)
%   milstd: the parameter set (its preamSync, at least 1440 symbols)
%   varShapping: struct whose oversamplingFactor M (samples per symbol) is read
% Outputs:
%   r.start: framelock's start sample (1-based) on the signal turned back
%   r.offset: the frequency offset (Hz)
%   r.coarseOffset (Hz), r.coarseStart (sample): the coarse search's
%   r.out: the input turned back by the offset (complex column)

% Help text only: Octave calls freqlock.mex, which lies beside this file.
