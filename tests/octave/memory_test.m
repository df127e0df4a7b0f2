% Resident memory stays flat over many calls of every plug-in, valid and refused alike: each call
% must release everything it took from Octave. Every plug-in in `plugins` (set by the test runner)
% is called with its valid arguments, and with an argument of the wrong class, in two rounds of
% HFCHAIN_MEMORY_CALLS / 2 calls each (default 4000 calls in all) after a short warm-up; the
% growth of a kind of call is the smaller of its two rounds, so that a one-time step of Octave's
% heap (a few hundred kilobytes, once in a session) is not taken for a leak, while a leak grows
% both rounds. A leak of a few dozen bytes a call shows as tens of kilobytes a round; the
% allowance, 16 bytes a call, is well above the page-sized steps in which the allocator's heap
% grows (a page over a round of 2000 calls is 2 bytes a call).
1;

function kb = resident_kb ()
  status = fileread ("/proc/self/status");
  m = regexp (status, 'VmRSS:\s+(\d+)', "tokens", "once");
  kb = str2double (m{1});
end

function growth = bytes_per_call (f, calls)
  for i = 1:200
    f ();
  end
  growth = Inf;
  for round = 1:2
    before = resident_kb ();
    for i = 1:calls
      f ();
    end
    growth = min (growth, (resident_kb () - before) * 1024 / calls);
  end
end

function refused (name, args)
  try
    feval (name, args{:});
  catch
  end
end

calls = str2double (getenv ("HFCHAIN_MEMORY_CALLS"));
if (isnan (calls))
  calls = 4000;
end
calls = ceil (calls / 2);  % calls a round
allowance = 16;
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
