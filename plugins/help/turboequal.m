% TURBOEQUAL  Turbo equaliser of the HF receiver: block MMSE equalisation iterated with the
% soft-in/soft-out decoder.
%   r = turboequal (sounding, milstd, nFrame, iterations)
% Inputs:
%   sounding: chansound's result
%   milstd: the parameter set of the transmission
%   nFrame: the interleaver blocks given to sendchain (read when iterations > 0)
%   iterations: decoder passes between equaliser passes, a whole number 0 to 10 (0: the plain
%       equaliser)
% Outputs:
%   r.out: the equalised data symbols, descrambled, unit gain (complex column)
%   r.noiseVar: their error variances (for softslicer)
%   r.gains, r.gainVar: the path gains the last pass used and their error variances
%   r.doppler: the Doppler spread of the last estimate (Hz); r.passes: the equaliser passes run

% Help text only: Octave calls turboequal.mex, which lies beside this file.
