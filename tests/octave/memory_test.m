% Memory stays flat over many calls of every plug-in, valid and refused alike: each call must
% release everything it took from Octave. Every plug-in in `plugins` (set by the test runner) is
% called with its valid arguments, and with an argument of the wrong class, in two rounds of
% HFCHAIN_MEMORY_CALLS / 2 calls each (default 4000 calls in all) after a short warm-up.
%
% What is counted is the bytes the process holds from its allocator (hostprobe "heap": blocks
% handed out and not yet freed, exact to the byte), not its resident memory, which fits a leak
% test badly both ways. A plug-in that takes and frees a megabyte a call moves where its blocks
% land as Octave's own small blocks come and go, and touches a few more pages of the heap now and
% then: steps of 3 to 5 pages over a round of 1000 calls (12 to 20 bytes a call) come in later
% rounds too, with no byte held. And a leaked small block fills a hole in a page already resident:
% a leak of 24 bytes a call grew resident memory by 4 bytes a call.
% The growth of a kind of call is the smaller of its two rounds, so that Octave's own blocks taken
% once (a cache filled on a first call) are not taken for a leak, while a leak grows both rounds.
% The allocator hands out blocks of at least 32 bytes with their header, so a leak of one block a
% call grows a round by 32 bytes a call or more; the allowance, 8 bytes a call, lets through what
% Octave's own bookkeeping moves (under half a byte a call) and fails a leak of one block every
% third call.
1;

function bytes = heap_bytes ()
  bytes = hostprobe ("heap", 0);
end

function growth = bytes_per_call (f, calls)
  for i = 1:200
    f ();
  end
  growth = Inf;
  for round = 1:2
    before = heap_bytes ();
    for i = 1:calls
      f ();
    end
    growth = min (growth, (heap_bytes () - before) / calls);
  end
end

function refused (name, args)
  try
    feval (name, args{:});
  catch
  end
end

if (isnan (heap_bytes ()))
  error ("the C library does not tell the bytes its allocator holds (glibc 2.33 or later does)");
end
calls = str2double (getenv ("HFCHAIN_MEMORY_CALLS"));
if (isnan (calls))
  calls = 4000;
end
calls = ceil (calls / 2);  % calls a round
allowance = 8;
failures = {};
for k = 1:numel (plugins)
  name = plugins{k};
  args = valid_args (name);
  wrong = args;
  wrong{end} = {1};  % a cell, refused once the inputs before it are read
  valid = bytes_per_call (@() feval (name, args{:}), calls);
  bad = bytes_per_call (@() refused (name, wrong), calls);
  printf ("%-14s valid %7.1f bytes/call, refused %7.1f bytes/call (%d calls each)\n", name, valid,
          bad, 2 * calls);
  if (valid > allowance || bad > allowance)
    failures{end+1} = name;
  end
end
if (! isempty (failures))
  error ("memory grows with the calls of: %s", strjoin (failures, ", "));
end
