% Octave's own generator behind the blocks, error passing and argument conversion, through the
% test plug-in hostprobe (no block involved).

% The same calls from a script give the same numbers.
r = hostprobe ("draw", 7);
rng (7, "twister");
assert (r.u, rand (5, 1));
assert (r.g, randn (2, 3));
assert (size (r.u), [5 1]);

% The caller's generator is restored after success and after every kind of failure.
calls = {@() hostprobe("draw", 7),                      "";
         @() hostprobe("fail", 7),                      "";
         @() hostprobe("fail_id", 7),                   "hfchain:test:Failure";
         @() hostprobe("octave_error", 7),              "Octave:some-id";
         @() hostprobe("seed", 1.5),                    "hfchain:host:InvalidSeed"};
for k = 1:rows (calls)
  rng (123, "twister"); before_u = rand (3, 1); before_n = randn (2, 1);
  rng (123, "twister");
  failed = false;
  try
    calls{k, 1} ();
  catch err
    failed = true;
    assert (err.identifier, calls{k, 2});
  end
  assert (failed == (k > 1), sprintf ("call %d", k));
  assert (isequal (rand (3, 1), before_u), sprintf ("rand after call %d", k));
  assert (isequal (randn (2, 1), before_n), sprintf ("randn after call %d", k));
end

% Program messages arrive byte for byte with an empty identifier; Octave's own errors unchanged.
expect_error (@() hostprobe ("fail", 1), "", "ERRO! Falha de teste.");
expect_error (@() hostprobe ("octave_error", 1), "Octave:some-id", "an error of Octave's own");
err = expect_error (@() hostprobe ("utf8", 1), "");
assert (numel (err.message), 68);
assert (double (err.message(8:9)), [195 186]);  % the two bytes of u acute
% A restore that fails while an error is travelling cannot hide that error.
expect_error (@() hostprobe ("restore_fails_after_error", 1), "hfchain:test:First",
              "the first error wins");
% A restore that fails on the normal path is reported as Octave raised it.
expect_error (@() hostprobe ("restore_fails", 1), "hfchain:test:RestoreFailed", "restore failed");
% Stray C++ exceptions become clean errors instead of ending the session.
expect_error (@() hostprobe ("std_exception", 1), "hfchain:gateway:InternalError");
expect_error (@() hostprobe ("bad_alloc", 1), "hfchain:runtime:OutOfMemory", "Out of memory.");
% A result Octave cannot allocate keeps Octave's text and gains the out-of-memory identifier.
err = expect_error (@() hostprobe ("huge_result", 1), "hfchain:runtime:OutOfMemory");
assert (! isempty (strfind (err.message, "failed to allocate 8796093022208 bytes")), err.message);

% Seeds: whole numbers 0..4294967295 only.
for s = {0, 1, 4294967295, -0}
  hostprobe ("draw", s{1});
end
for s = {-1, 1.5, 2^32, NaN, Inf, -Inf, 1e300}
  expect_error (@() hostprobe ("draw", s{1}), "hfchain:host:InvalidSeed");
end
expect_error (@() hostprobe ("draw", int32(1)), "hfchain:gateway:WrongClass");

% Conversion both ways.
z = [1+2i; -3.5-4i; 0];
assert (hostprobe ("complex", z), z);
assert (hostprobe ("complex", [1; 2]), [1; 2]);       % real accepted as complex
assert (size (hostprobe ("complex", zeros (0, 1))), [0 1]);
x = [1 2; 3 4; 5 6];
assert (hostprobe ("real", x), x);
assert (size (hostprobe ("real", zeros (0, 2))), [0 2]);
assert (hostprobe ("text", "abc"), "abc");
assert (hostprobe ("text", ""), "");
bad = {"complex", [1 2],          "hfchain:gateway:WrongSize";
       "complex", [],             "hfchain:gateway:WrongSize";
       "complex", zeros(2, 1, 2), "hfchain:gateway:WrongSize";
       "complex", single([1; 2]), "hfchain:gateway:WrongClass";
       "complex", [true; false],  "hfchain:gateway:WrongClass";
       "complex", sparse([1; 2]), "hfchain:gateway:WrongClass";
       "real",    ones(4, 2),     "hfchain:gateway:WrongSize";
       "real",    ones(3, 1),     "hfchain:gateway:WrongSize";
       "real",    [1i 2; 3 4],    "hfchain:gateway:ComplexInput";
       "text",    "abcdef",       "hfchain:gateway:WrongSize";
       "text",    ["ab"; "cd"],   "hfchain:gateway:WrongSize";
       "text",    ("abc")',       "hfchain:gateway:WrongSize";
       "text",    double("abc"),  "hfchain:gateway:WrongClass"};
for k = 1:rows (bad)
  err = expect_error (@() hostprobe (bad{k, 1}, bad{k, 2}), bad{k, 3});
  assert (! isempty (strfind (err.message, "'arg'")), err.message);
end
% Inputs are never modified.
z2 = z;
hostprobe ("complex", z2);
expect_unchanged (z, z2, "a complex input");
disp ("host_test passed");
