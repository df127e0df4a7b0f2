% FADESIM  The two-ray Watterson HF channel of a named condition plus complex white Gaussian noise.
%   r = fadesim (WattersonIn, varWatterson, varShapping)
% Inputs:
%   WattersonIn: L samples at M samples a symbol (complex column)
%   varWatterson: struct of model ("bom" 0.5 ms / 0.1 Hz, "moderado" 1 ms / 0.5 Hz, "ruim" 2 ms /
%       1 Hz, "muito_ruim" 5 ms / 5 Hz: delay between the rays / Doppler spread), EsNodB (Es/N0 in
%       dB, Inf for no noise) and seed (0 to 4294967295; Octave's rng, given back)
%   varShapping: struct whose oversamplingFactor M (samples per symbol) is read
% Outputs:
%   r.raios: the ray gains, L x 2
%   r.RER: the delay between the rays (s); r.ED: the Doppler spread (Hz)
%   r.WattersonOutAwgnIn, r.noise, r.AwgnOut: the faded waveform, the noise and the received
%       waveform, L + 2400 M RER samples each

% Help text only: Octave calls fadesim.mex, which lies beside this file.
