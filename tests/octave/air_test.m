% The air's plug-ins: bits sent as audio, through the channel with a frequency and a clock offset,
% and received back; random bits from a seed; the channel's SNR; the inputs kept; the refusals.
params = rateconf (600, 0.6);
bits = double (mod ((1:700)' .^ 2, 7) < 3);
source = struct ("bits", bits, "nFrame", 1, "seed", 1);
vt = struct ("sampleRate", 8000, "carrier", 1800, "level", -12, "levelKind", "rms");
source_before = source;
tx = airtransmit (params, source, vt);
expect_unchanged (source_before, source, "varSource");
assert (fieldnames (tx)', {"audio", "nFrame", "infoBits", "duration", "peakDbfs", "rmsDbfs", ...
                           "peakToAverage"});
assert (tx.rmsDbfs, -12, 1e-9);
assert (tx.duration, numel (tx.audio) / 8000);
assert (tx.infoBits >= numel (bits) && columns (tx.audio) == 1);

vc = struct ("sampleRate", 8000, "carrier", 1800, "channel", "awgn", "offset", 15, "snr3k", 12,
             "noiseDbfs", [], "clockPpm", 70, "impulses", [], "ssbFilter", [], "clip", [],
             "seed", 4);
ch = airchannel (tx.audio, vc);
assert (abs (ch.snr3k - 12) < 0.1);
assert (ch.activeFirst >= 1 && ch.activeLast <= numel (tx.audio));
found = airreceive (ch.audio, params, struct ("sampleRate", 8000, "carrier", 1800));
assert (numel (found) == 1);
assert (found.bits(1:numel (bits)), bits);
assert (! any (found.bits(numel (bits) + 1:end)));
assert (all (found.decoded) && numel (found.decoded) == tx.nFrame);
assert (abs (found.clockOffset - 70) < 5 && abs (found.frequencyOffset - 15) < 1);

% Random bits: the seed decides them; silence holds no transmission.
random = struct ("bits", [], "nFrame", 2, "seed", 7);
a = airtransmit (params, random, vt);
assert (a.nFrame == 2 && isequal (a.audio, airtransmit (params, random, vt).audio));
assert (! isequal (a.audio, airtransmit (params, setfield (random, "seed", 8), vt).audio));
assert (isempty (airreceive (zeros (16000, 1), params, struct ("sampleRate", 8000,
                                                               "carrier", 1800))));

expect_error (@() airtransmit (params, source, setfield (vt, "levelKind", "loud")),
              "hfchain:airtransmit:LevelKind");
% A parameter set whose blocks never hold a bit is refused, not searched for ever.
expect_error (@() airtransmit (setfield (params, "repFactor", -1), source, vt), "",
              "Erro: Total de frames insuficientes para transmissao");
expect_error (@() airchannel (tx.audio, setfield (vc, "noiseDbfs", -40)),
              "hfchain:airchannel:Noise");
expect_error (@() airchannel (tx.audio, setfield (vc, "ssbFilter", 2)),
              "hfchain:airchannel:SsbFilter");
expect_error (@() airreceive (ch.audio, params, struct ("sampleRate", 8000, "carrier", 3500)),
              "hfchain:receive:BadRecording");
disp ("air_test passed");
