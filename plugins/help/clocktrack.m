% CLOCKTRACK  The sample-clock offset of a received transmission: how much faster the receiver's
% clock runs than the transmitter's, from the baseband alone.
%   r = clocktrack (received, varShapping, varClocktrack)
% Inputs:
%   received: the received baseband before the matched filter, at M samples a symbol (complex
%       column)
%   varShapping: struct of rolloffFactor, pulseDelay (symbols) and oversamplingFactor M (samples
%       per symbol) of the transmitted pulse
%   varClocktrack: struct of first (0-based sample where the transmission starts), count (samples
%       from there; 0: to the end) and window (symbols a timing window, at least 16; the span
%       must hold three)
% Outputs:
%   r.ppm: the offset in parts per million (positive: a symbol spans more than M samples)
%   r.residual: RMS distance of the windows' timings from the offset's line (symbols)
%   r.centre, r.timing, r.weight: per window its centre (symbols from first), its timing
%       (symbols, unwrapped) and its strength (columns)

% Help text only: Octave calls clocktrack.mex, which lies beside this file.
