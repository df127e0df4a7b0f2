% examples/hf_road.m runs end to end: muito_ruim at 14 dB, both receivers error-free.
model = "muito_ruim";
EsNodB = 14;
output = evalc ("run (fullfile (fileparts (which ('hfreceiver_test')), '..', '..', 'examples', 'hf_road.m'))");
assert (! isempty (strfind (output, "hf     0 of 1296 information bits wrong")), output);
assert (! isempty (strfind (output, "genie  0 of 1296 information bits wrong")), output);
disp ("hfexample_test passed");
