% sendchain through its plug-in: result layout, Octave's own generator, restoring it on every
% exit, program messages, run-time identifiers and the parameter-set checks.
m = modeconf (0.6);
m_before = m;
r = sendchain (m, 1, 5);
expect_unchanged (m_before, m, "milstd");
assert (fieldnames (r)', {"BitInCodIn", "CodOutInterIn", "InterOutMapIn", ...
                          "MapOutMultiplexIn", "ComplexPSKSymbols", "ModConstellation", ...
                          "ProbeInfo", "MultiplexOut"});
sizes = {"BitInCodIn", 1440; "CodOutInterIn", 2880; "InterOutMapIn", 2880;
         "MapOutMultiplexIn", 960; "ComplexPSKSymbols", 960; "ModConstellation", 8;
         "ProbeInfo", 2880; "MultiplexOut", 2880};
for k = 1:rows (sizes)
  assert (isequal (size (r.(sizes{k, 1})), [sizes{k, 2} 1]), "size of %s", sizes{k, 1});
end
assert (! isreal (r.MultiplexOut) && ! isreal (r.ModConstellation));
assert (r.MultiplexOut(1), 0.7071067811865474 - 0.7071067811865477i, 1e-15);

% The information bits are Octave's own draws: the same calls from a script give them.
rng (5, "twister");
assert (r.BitInCodIn(1:1296), floor (2 * rand (1296, 1)));
assert (all (r.BitInCodIn(1297:end) == 0));

% The caller's generator is restored after success and after failure.
cases = {@() sendchain(m, 1, 5),      "";
         @() sendchain(m, 0, 5),      "";
         @() sendchain(m, 1.0001, 5), "Coder:MATLAB:NonIntegerInput";
         @() sendchain(m, 1, 1.5),    "hfchain:host:InvalidSeed";
         @() sendchain(m, 1, -1),     "hfchain:host:InvalidSeed"};
expect_generator_kept (cases, @() rand (4, 1));
expect_error (@() sendchain (m, 0, 5), "",
              "Erro: Total de frames insuficientes para transmissao");
expect_error (@() sendchain (m, 1e9, 5), "Coder:MATLAB:pmaxsize");

% Fields fetched by name: another order gives the same result.
assert (isequal (sendchain (orderfields (m), 1, 5), r));
params_rejections (@(bad) sendchain (bad, 1, 5));
expect_error (@() sendchain (m, [1 1], 5), "hfchain:gateway:WrongSize");
expect_error (@() sendchain (m, 1, int32 (5)), "hfchain:gateway:WrongClass");
disp ("sendchain_test passed");
