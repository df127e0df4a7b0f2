% AIRTRANSMIT  A whole transmission (preamble and data) as audio on a carrier, as `hfchain
% transmit` writes it.
%   r = airtransmit (milstd, varSource, varTransmit)
% Inputs:
%   milstd: the parameter set (rateconf (rate, interLen))
%   varSource: struct of bits (information bits, a column of 0 and 1, sent over the fewest whole
%       interleaver blocks that hold them, the last completed with zeros; empty: random bits),
%       nFrame (interleaver blocks of random bits) and seed (0 to 4294967295; the random bits as
%       sendchain draws them); nFrame and seed are read only without bits
%   varTransmit: struct of sampleRate (audio samples a second, 8000 to 192000), carrier (Hz; the
%       band carrier +- 1620 Hz within 0 .. sampleRate / 2), level (dBFS, full scale +-1) and
%       levelKind ("peak" or "rms": which the level sets)
% Outputs:
%   r.audio: the samples (real column, full scale +-1)
%   r.nFrame: interleaver blocks sent; r.infoBits: information bits they carry
%   r.duration: seconds of audio
%   r.peakDbfs, r.rmsDbfs: the level (dBFS); r.peakToAverage: peak-to-average ratio (dB)

% Help text only: Octave calls airtransmit.mex, which lies beside this file.
