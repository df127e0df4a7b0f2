% SYMSLICER  Hard nearest-point decisions and Gray demapping to bits.
%   r = symslicer (DemodulatorIn, milstd)
% Inputs:
%   DemodulatorIn: N data symbols (complex column)
%   milstd: the parameter set
% Outputs:
%   r.DemodOutDemapIn: the decided symbol numbers (at 75 bit/s the pattern of each block, 0 to 3)
%   r.DemapOut: bitsToSym bits a decision, most significant first (0/1 column)

% Help text only: Octave calls symslicer.mex, which lies beside this file.
