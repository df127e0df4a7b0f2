% CHANSOUND  Channel sounder of the HF receiver: the paths and their gains over time, from the
% preamble and the probes.
%   r = chansound (MatchedFilterIn, FrameStartSample, milstd, varShapping)
% Inputs:
%   MatchedFilterIn: matched-filter output at M samples a symbol (pulsematch's out; complex column)
%   FrameStartSample: the 1-based sample where framelock found the preamble (framelock's result)
%   milstd: the parameter set of the transmission
%   varShapping: struct of rolloffFactor (in (0, 1]), pulseDelay D (symbol periods) and
%       oversamplingFactor M (samples per symbol)
% Outputs:
%   r.start: the 1-based sample read as r.out(1); r.delays: the sample at which each path's first
%       symbol peaks
%   r.basis: each path's pulse at the symbol-spaced taps (L x r); r.out: the samples, one a symbol
%       period
%   r.gains, r.gainVar: the gain of each path at each sample and its error variance (r x numel
%       (r.out))
%   r.pathPower: each path's mean power; r.windowGains, r.windowVar, r.windowTime: the frame-long
%       windows' estimates
%   r.noiseVar: the noise variance of r.out; r.doppler: the Doppler spread (Hz); r.frames: frames
%       after the preamble
%   r.profile, r.profileStart: the power at each sample delay of the search and the sample of its
%       first
%   (pass r to turboequal, or to patterntrack at 75 bit/s)

% Help text only: Octave calls chansound.mex, which lies beside this file.
