% FRAMELOCK  Frame synchronisation: the start of the transmission, by correlation with the preamble.
%   start = framelock (SincroFrameIn, milstd, varShapping)
% Inputs:
%   SincroFrameIn: at least 575 M matched-filter output samples (complex column)
%   milstd: the parameter set (its preamSync, at least 1440 symbols)
%   varShapping: struct whose oversamplingFactor M (samples per symbol) is read
% Outputs:
%   start: the 1-based start sample (1 x 1), or empty (0 x 1) when nothing correlates

% Help text only: Octave calls framelock.mex, which lies beside this file.
