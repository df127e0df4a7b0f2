% Fed line by line to an interactive octave-cli: Ctrl-C (a SIGINT to the process) reaches the
% long loop of the test plug-in through its interrupt poll, the call is abandoned, the session goes
% on at the next line and the caller's generator is as it was before the call. Then the same for
% blocks whose loops would otherwise run for hours: the signal comes from a background shell a
% second after the call starts.
addpath(getenv("HFCHAIN_PROBE_DIR"), getenv("HFCHAIN_MEX_DIR"));
rng(11); expected = rand(4, 1); rng(11);
returned = hostprobe("interrupt", 3);
ok = !exist("returned", "var") && isequal(rand(4, 1), expected);
interrupt_soon = @() system(sprintf("(sleep 1; kill -INT %d) >/dev/null 2>&1 &", getpid()));
interrupt_soon(); filtered = pulsematch(complex(ones(3e6, 1)), struct("rolloffFactor", 0.35, "pulseDelay", 1e6, "oversamplingFactor", 1));
ok = ok && !exist("filtered", "var");
far = modeconf(0.6); far.bitsToSym = 30;
interrupt_soon(); decided = symslicer(1e300, far);
ok = ok && !exist("decided", "var");
if ok, disp("interrupt session passed"), else, disp("interrupt session failed"), end
exit(!ok)
