% Fed line by line to an interactive octave-cli: Ctrl-C (a SIGINT to the process) reaches the
% long loop of the test plug-in through its interrupt poll, the call is abandoned, the session goes
% on at the next line and the caller's generator is as it was before the call.
addpath(getenv("HFCHAIN_PROBE_DIR"));
rng(11); expected = rand(4, 1); rng(11);
returned = hostprobe("interrupt", 3);
ok = !exist("returned", "var") && isequal(rand(4, 1), expected);
if ok, disp("interrupt session passed"), else, disp("interrupt session failed"), end
exit(!ok)
