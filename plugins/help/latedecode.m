% LATEDECODE  Decoding after a late entry: the whole interleaver blocks of a transmission heard
% after its preamble, from the block that blocklock found on.
%   r = latedecode (MatchedFilterIn, blockStart, offset, milstd, varShapping, nFrame, iterations)
% Inputs:
%   MatchedFilterIn: the matched-filter output (complex column, pulsematch's out), no preamble
%   blockStart: the 1-based sample at which the block's first symbol peaks (blocklock's)
%   offset: the frequency offset (Hz, blocklock's)
%   milstd: the mode's parameter set (rateconf of the rate and interleaver blocklock's mode names)
%   varShapping: struct with rolloffFactor, pulseDelay and oversamplingFactor
%   nFrame: at most this many blocks (Inf: every whole block the input holds)
%   iterations: decoder passes of the turbo loop (2; not read at 75 bit/s)
% Outputs:
%   r.blocks: the whole blocks decoded (0 when none fits in the input)
%   r.DecodOut: their encoder input bits: block j of the transmission holds its bits
%     j B .. (j + 1) B - 1, B = numel (milstd.interTable) / (2 milstd.repFactor)
%   r.out, r.noiseVar: the equalised data symbols (at 75 bit/s the patterns' channel-matched
%     symbols) and their error variances
% At 75 bit/s, which has no probes, the patterns are first decided without a channel estimate
% and the channel is sounded on them.

% Help text only: Octave calls latedecode.mex, which lies beside this file.
