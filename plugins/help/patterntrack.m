% PATTERNTRACK  The HF receiver's detector of the 75 bit/s patterns: a noncoherent pass, then passes
% tracking the path gains.
%   r = patterntrack (sounding, milstd, passes, rule)
% Inputs:
%   sounding: chansound's result for a 75 bit/s transmission
%   milstd: the 75 bit/s parameter set (rateconf (75, interLen))
%   passes: coherent passes after the noncoherent one, a whole number 0 to 10
%   rule: "max_log" or "exact", how each bit's ratio is taken over the four patterns
% Outputs:
%   r.LLR: the coded-bit ratios of the last pass (nats, for unshuffle and vitdecode);
%       r.noncoherentLLR: those of the first
%   r.out, r.noiseVar: the channel-matched symbols of the last pass and their error variances
%   r.gains, r.gainVar: the path gains of the last track and their error variances
%   r.doppler: its Doppler spread (Hz); r.passes: the coherent passes run

% Help text only: Octave calls patterntrack.mex, which lies beside this file.
