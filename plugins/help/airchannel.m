% AIRCHANNEL  Any audio through an HF channel, as `hfchain channel` passes it.
%   r = airchannel (audio, varAirchannel)
% Inputs:
%   audio: the samples (real column, full scale +-1) at varAirchannel.sampleRate
%   varAirchannel: struct of
%       sampleRate (samples a second, 8000 to 192000), carrier (Hz, the middle of the band
%       carried, carrier +- 1500 Hz),
%       channel (a preset's name, a written channel such as "2p:2ms:1Hz", or "awgn"),
%       offset (frequency offset, Hz, added to the channel's off=),
%       snr3k (SNR in 3 kHz, dB, against the signal's power over the input's active part) or
%       noiseDbfs (the noise's power in 3 kHz, dBFS): one of them, the other empty; both empty:
%       no noise,
%       clockPpm (the receiving clock's offset from the sender's, ppm),
%       impulses ([bursts a second, dBFS RMS at the onset] of static crashes, or empty),
%       ssbFilter (1 or 0: the 300 .. 3000 Hz filter; empty: on for every channel but awgn),
%       clip (peak level in dBFS to clip the output at, or empty) and seed (0 to 4294967295)
% Outputs:
%   r.audio: the output samples (real column)
%   r.snr3k: the SNR in 3 kHz measured on the output (dB); r.signalPower (full scale squared),
%       r.noiseDensity (full scale squared a hertz): what it is measured from
%   r.activeFirst, r.activeLast: the input's first and last samples above 2^-15 (from 1; 0:
%       silent)
%   r.bursts: static crashes added; r.clipped: output samples clipped

% Help text only: Octave calls airchannel.mex, which lies beside this file.
