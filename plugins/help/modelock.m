% MODELOCK  Acquisition without a mode: finds a transmission of any mode, its start, frequency
% offset and mode, and where its data begin.
%   r = modelock (MatchedFilterIn, varShapping, settings)
% Inputs:
%   MatchedFilterIn: matched-filter output samples (complex column), M a symbol
%   varShapping: struct whose oversamplingFactor M (samples per symbol) is read
%   settings: struct with fields
%     threshold: detection statistic a preamble segment must reach, in (0, 1] (0.12, the
%       default elsewhere, gives at most about one false detection in 10 hours of noise)
%     from, to: 1-based samples within which the first window that reaches the threshold is
%       sought (to = 0: as far as a whole segment fits); the segment found is the best window of
%       a segment's length from there, so it may start after to
% Outputs:
%   r.found: true when a preamble segment reached the threshold; the other fields are 0 otherwise
%   r.score: its detection statistic (1 for a clean segment)
%   r.start: the sample (1-based) of the found segment's first symbol, framelock's convention
%   r.offset: the frequency offset (Hz)
%   r.rate (bit/s), r.interLen (s): the mode read from the segment, for rateconf
%   r.confidence: 0 to 1, how surely the mode is that one rather than the next most likely
%   r.segmentsLeft: the preamble segments still to come after the found one
%   r.preambleStart: the sample where the preamble began (below 1 when the input starts late)
%   r.firstData: the sample of the first data symbol

% Help text only: Octave calls modelock.mex, which lies beside this file.
