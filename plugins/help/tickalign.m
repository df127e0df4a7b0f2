% TICKALIGN  Symbol-rate sampling of the matched filter's output from a start sample.
%   r = tickalign (SyncSymbolIn, FrameStartSample, varShapping)
% Inputs:
%   SyncSymbolIn: L samples at M samples a symbol (complex column)
%   FrameStartSample: the 1-based sample of the first symbol's instant, a whole number (framelock's
%       result)
%   varShapping: struct whose pulseDelay D (symbol periods) and oversamplingFactor M are read
% Outputs:
%   r.out: floor ((L - 4 D M - 1) / M) + 1 samples, one a symbol period (complex column)

% Help text only: Octave calls tickalign.mex, which lies beside this file.
