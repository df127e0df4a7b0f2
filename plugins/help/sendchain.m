% SENDCHAIN  One transmission: information bits, coder, interleaver, mapping, frames with probes,
% preamble, scrambler.
%   r = sendchain (milstd, nFrame, seed)
% Inputs:
%   milstd: the parameter set (rateconf, modeconf)
%   nFrame: interleaver blocks of data (need not be whole: the last is padded with zeros)
%   seed: seed of the information bits, a whole number 0 to 4294967295 (Octave's rng; the caller's
%       generator is given back)
% Outputs:
%   r.BitInCodIn: encoder input: the information bits, the 144 flush zeros, the padding (0/1 column)
%   r.CodOutInterIn: coded bits in encoder order; r.InterOutMapIn: the same interleaved
%   r.MapOutMultiplexIn: data symbol numbers; r.ComplexPSKSymbols: their points; r.ModConstellation:
%       the constellation
%   r.ProbeInfo: the probe symbols
%   r.MultiplexOut: the transmitted symbols at 2400 symbols/s, preamble first (complex column)

% Help text only: Octave calls sendchain.mex, which lies beside this file.
