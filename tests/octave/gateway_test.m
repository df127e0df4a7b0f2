% The gateway through modeconf: counts, zero outputs, type checks, result conversion, run-time
% check identifiers and the properties query.

% Argument counts come first, with the exact texts.
expect_error (@() modeconf (), "emlcoder:emlmex:WrongNumberOfInputs",
              "1 input required for entry-point 'modeconf'.");
expect_error (@() modeconf (0.6, 0.6), "emlcoder:emlmex:WrongNumberOfInputs",
              "1 input required for entry-point 'modeconf'.");
try
  [a, b] = modeconf (0.6);
  error ("hfchain:test:NoError", "two outputs accepted");
catch err
  assert (err.identifier, "emlcoder:emlmex:TooManyOutputArguments");
  assert (err.message, "Too many output arguments for entry-point 'modeconf'.");
end
% ... before any input is read.
try
  [a, b] = modeconf ({"not", "an", "input"});
catch err
  assert (err.identifier, "emlcoder:emlmex:TooManyOutputArguments");
end

% Zero requested outputs: the result still reaches ans.
clear ans;
modeconf (4.8);
assert (isstruct (ans) && numel (ans.interTable) == 23040);

% interLen must be a real double scalar; every refusal names it.
bad = {int32(1),             "hfchain:gateway:WrongClass";
       single(0.6),          "hfchain:gateway:WrongClass";
       true,                 "hfchain:gateway:WrongClass";
       "0.6",                "hfchain:gateway:WrongClass";
       {0.6},                "hfchain:gateway:WrongClass";
       struct("x", 0.6),     "hfchain:gateway:WrongClass";
       sparse(0.6),          "hfchain:gateway:WrongClass";
       @sin,                 "hfchain:gateway:WrongClass";
       [],                   "hfchain:gateway:WrongSize";
       [0.6 0.6],            "hfchain:gateway:WrongSize";
       [0.6; 0.6],           "hfchain:gateway:WrongSize";
       zeros(1, 1, 2),       "hfchain:gateway:WrongSize";
       complex(0.6, 1),      "hfchain:gateway:ComplexInput"};
for k = 1:rows (bad)
  err = expect_error (@() modeconf (bad{k, 1}), bad{k, 2});
  assert (! isempty (strfind (err.message, "'interLen'")), err.message);
end

% Values outside the two lengths fail the run-time index check naming numRow.
for v = {1.2, 0, -0.6, NaN, Inf, 0.6 + eps}
  err = expect_error (@() modeconf (v{1}), "hfchain:runtime:IndexOutOfBounds");
  assert (! isempty (strfind (err.message, "numRow")), err.message);
end

% The result: ten real double fields in the declared order, columns as n x 1.
fields = {"rate", "interl", "interTable", "chSymMapping", "bitsToSym", "repFactor", ...
          "preamSync", "trein", "data", "probe"};
sizes = struct ("len", {0.6, 4.8}, "N", {2880, 23040}, "pre", {1440, 11520});
for s = sizes
  x = s.len;
  m = modeconf (x);
  expect_unchanged (s.len, x, "interLen");
  assert (fieldnames (m)', fields);
  assert (structfun (@(v) isa (v, "double") && isreal (v), m));
  assert (size (m.interTable), [s.N 1]);
  assert (sort (m.interTable), (1:s.N)');
  assert (size (m.chSymMapping), [32 8]);
  assert (size (m.preamSync), [1 s.pre]);
  assert (size (m.probe), [16 2]);
  assert ([m.rate m.interl m.bitsToSym m.repFactor m.trein m.data], [2400 x 3 1 16 32]);
end
m = modeconf (0.6);
assert (m.interTable(1:8)', [1 2210 1539 868 197 2366 1695 1024]);
assert (m.probe(:, 1)', [0 0 4 4 4 4 0 0 0 0 4 4 4 4 0 0]);

% Properties query, by name and by path.
p = mexprops ("modeconf");
assert (fieldnames (p)', {"Version", "EntryPoints"});
assert (p.Version, "7.14.0.739 (R2012a)");
assert (fieldnames (p.EntryPoints)', {"Name", "NumberOfInputs", "NumberOfOutputs", ...
                                      "ConstantInputs"});
assert (p.EntryPoints.Name, "modeconf");
assert (p.EntryPoints.NumberOfInputs, 1);
assert (p.EntryPoints.NumberOfOutputs, 1);
assert (islogical (p.EntryPoints.ConstantInputs) && isequal (p.EntryPoints.ConstantInputs, false));
assert (isequal (mexprops (which ("modeconf")), p));
expect_error (@() mexprops ("no_such_plugin"), "hfchain:mexprops:NotFound");
% Built-in functions and variables have no plug-in file (which names a built-in's source).
sin_alike = 3;
for name = {"sin", "pi", "sin_alike"}
  expect_error (@() mexprops (name{1}), "hfchain:mexprops:NotFound",
                sprintf ("No plug-in named '%s' on Octave's load path.", name{1}));
end
% A path is never silently cut at a NUL character.
expect_error (@() mexprops (["modeconf" char(0) "x"]), "hfchain:mexprops:InvalidPath");
expect_error (@() mexprops ([which("modeconf") char(0) "x"]), "hfchain:mexprops:InvalidPath");
% Only regular files are loaded: a FIFO would block the loader for good.
fifo = [tempname() ".mex"];
if (system (sprintf ("mkfifo '%s'", fifo)) == 0)
  unwind_protect
    expect_error (@() mexprops (fifo), "hfchain:mexprops:CannotLoad",
                  sprintf ("Cannot load '%s': not a regular file.", fifo));
  unwind_protect_cleanup
    delete (fifo);
  end_unwind_protect
end
expect_error (@() mexprops (tempdir ()), "hfchain:mexprops:CannotLoad");
expect_error (@() mexprops ("/no/such/file.mex"), "hfchain:mexprops:CannotLoad");
expect_error (@() mexprops (fullfile (OCTAVE_HOME, "bin", "octave-cli")),
              "hfchain:mexprops:CannotLoad");
octave_lib = fullfile (__octave_config_info__ ("octlibdir"), "liboctave.so");
if (exist (octave_lib, "file"))
  expect_error (@() mexprops (octave_lib), "hfchain:mexprops:NoProperties");
end
expect_error (@() mexprops (1), "hfchain:gateway:WrongClass");
expect_error (@() mexprops (["ab"; "cd"]), "hfchain:gateway:WrongSize");
disp ("gateway_test passed");
