% AIRRECEIVE  The transmissions of one mode in a recording, found and decoded, as `hfchain
% receive` decodes them.
%   r = airreceive (audio, milstd, varReceive)
% Inputs:
%   audio: the samples (real column, full scale +-1)
%   milstd: the parameter set of the transmissions (rateconf (rate, interLen))
%   varReceive: struct of sampleRate (samples a second, 8000 to 192000) and carrier (Hz)
% Outputs: a T x 1 structure array, one element per transmission found (0 x 1: none), in order:
%   r(t).start: seconds from the first sample to the transmission
%   r(t).frequencyOffset: Hz; r(t).clockOffset: ppm the recording's clock runs fast of the
%       sender's (NaN: too short to measure); r(t).snr3k: SNR in 3 kHz (dB)
%   r(t).decoded, r(t).disagreement: per interleaver block whether it decoded (1 or 0) and the
%       share of its coded bits that disagree with the decoded bits (columns)
%   r(t).bits: the decoded information bits (column of 0 and 1, the last block's padding
%       included)

% Help text only: Octave calls airreceive.mex, which lies beside this file.
