% MEXPROPS  The properties a plug-in reports about itself.
%   p = mexprops (path)
% Inputs:
%   path: a plug-in's file ("/usr/local/lib/hfchain/mex/sendchain.mex") or a name on Octave's path
%       ("sendchain")
% Outputs:
%   p.Version: the plug-in's version (text)
%   p.EntryPoints: struct array of Name, NumberOfInputs, NumberOfOutputs, ConstantInputs

% Help text only: Octave calls mexprops.mex, which lies beside this file.
