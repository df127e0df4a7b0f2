% HFCHANNEL  The general Watterson HF channel: any number of paths, a frequency offset, white noise.
%   r = hfchannel (x, varHfchannel, varShapping)
% Inputs:
%   x: L samples at M samples a symbol (complex column)
%   varHfchannel: struct of paths (a preset's name or a written channel such as
%       "2p:2ms:1Hz:off=50Hz", or a P x 4 matrix of rows [delay (s), mean power (dB), Doppler spread
%       (Hz), Doppler shift (Hz)]), offset (Hz, -1000 to 1000, added to the text's off=), EsNodB
%       (Es/N0 in dB, Inf for no noise) and seed (0 to 4294967295; Octave's rng, given back)
%   varShapping: struct whose oversamplingFactor M (samples per symbol) is read
% Outputs:
%   r.raios: the path gains, L x P; r.delays: the path delays (samples); r.offset: the frequency
%       offset (Hz)
%   r.WattersonOutAwgnIn, r.noise, r.AwgnOut: the faded waveform, the noise and the received
%       waveform, L + the longest delay samples each

% Help text only: Octave calls hfchannel.mex, which lies beside this file.
