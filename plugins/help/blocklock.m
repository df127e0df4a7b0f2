% BLOCKLOCK  Late entry: the symbol timing, the frequency offset, the next interleaver block and
% the mode of a transmission heard after its preamble.
%   r = blocklock (MatchedFilterIn, varShapping, threshold)
% Inputs:
%   MatchedFilterIn: at least 1440 M matched-filter output samples (complex column), no preamble
%   varShapping: struct whose oversamplingFactor M (samples per symbol) is read
%   threshold: the score the frames must reach (5 gives fewer than one false finding in a
%     million searches of noise)
% Outputs:
%   r.found: 1 when frames reached the threshold and a block boundary was read, else 0
%   r.score: the frames' detection score (noise alone stays near 3)
%   r.offset: the frequency offset (Hz)
%   r.mode: the mode read from the closing probes (or the 75 bit/s block marks), an index from
%     0 (4800 bit/s) to 12 (75 bit/s, 4.8 s) in the order of the program's mode list; -1 when none
%   r.confidence: 0..1, how surely that mode rather than the next likeliest
%   r.blockStart: the 1-based sample of the first symbol of the first block starting within the
%     input (0 when none was read)

% Help text only: Octave calls blocklock.mex, which lies beside this file.
