% Every plug-in in `plugins` (set by the test runner, one plug-in per test) is called thousands of
% times with malformed arguments: wrong classes, sizes, orientations, empties, NaN and Inf, huge
% values and sizes, structures with missing, extra or mistyped fields, degenerate values of any
% argument or field (one element NaN or +-Inf, one element 1e6 times the largest, everything
% times 1e300, everything 0: zero ray gains, a silent channel), and the values that once made a
% block work for minutes before refusing, return NaN or zeros, or hang. Every call must end in a
% clean Octave error or a valid result (for the newer blocks a finite one, infinities only where
% their contract allows them), leave its inputs untouched and not hang; a crash ends the session
% and fails the test. Run under the sanitizer build as well.
%
% The generator is table-driven: valid_args (name) gives each plug-in's valid arguments, the
% palette below the generic replacement values, and `extremes` the values that matter to one
% field of a structure argument; adding a plug-in is adding its case to valid_args.
% Calls per plug-in: 10000, or HFCHAIN_ROBUSTNESS_CALLS (the sanitized build makes fewer: the first
% ones of the same streams). Each plug-in's calls come from its own seeded stream, so that they do
% not depend on which other plug-ins are tested.
1;

function k = ri (n)
  % A random whole number in 1..n (randi, without its argument checks).
  k = floor (rand () * n) + 1;
end

function v = pick (c)
  v = c{ri(numel (c))};
end

function v = degenerate (v)
  % A degenerate version of a numeric value: one element NaN, +Inf or -Inf, every element times
  % 1e300, or every element 0 (ray gains or a channel that pass nothing); a value that is not a
  % non-empty numeric array becomes one of those values.
  if (! isnumeric (v) || isempty (v) || issparse (v))
    v = pick ({NaN, Inf, -Inf, 1e300, 0});
    return;
  end
  switch (ri (6))
    case 1
      v(ri (numel (v))) = NaN;
    case 2
      v(ri (numel (v))) = Inf;
    case 3
      v(ri (numel (v))) = -Inf;
    case 4
      v = v * 1e300;
    case 5
      v(ri (numel (v))) = 1e6 * max (1, double (max (abs (v(:)))));  % one outlier (a static crash)
    otherwise
      v(:) = 0;
  end
end

function v = mutate (v, palette, extremes)
  % One random change to one argument, or to one field of a structure argument.
  if (isstruct (v) && isscalar (v) && rand () < 0.7)
    names = fieldnames (v);
    f = names{ri(numel (names))};
    switch (ri (8))
      case 1
        v = rmfield (v, f);
      case 2
        v.extra = 1;
      case 3
        v = orderfields (v, randperm (numel (names)));  % valid: fields are fetched by name
      case 4
        v = [v, v];
      case 8
        v.(f) = degenerate (v.(f));  % non-finite, huge or zero values of any field
      case {5, 6}
        if (isfield (extremes, f))
          v.(f) = pick (extremes.(f));
        else
          v.(f) = pick (palette);
        end
      otherwise
        v.(f) = pick (palette);
    end
  elseif (isnumeric (v) && ! issparse (v) && ndims (v) == 2 && ! isempty (v) && rand () < 0.6)
    switch (ri (7))
      case 1
        v = v.';
      case 2
        v = v(1:ri(numel (v) + 1) - 1);
        v = v(:);
      case 3
        v(ri (numel (v))) = pick ({NaN, Inf, -Inf, 1e300, NaN + 1i, 5e-324, 1e8});
      case 4
        v = single (v);
      case 5
        v = cat (3, v, v);
      case 6
        v = degenerate (v);
      otherwise
        v = [v; v];
    end
  else
    v = pick (palette);
  end
end

function text = disp_args (args)
  % A one-line sketch of an argument list: class and size of each argument, the scalar fields of
  % structures with their values.
  parts = cell (1, numel (args));
  for j = 1:numel (args)
    v = args{j};
    if (isstruct (v) && isscalar (v))
      names = fieldnames (v);
      fields = cell (1, numel (names));
      for i = 1:numel (names)
        x = v.(names{i});
        if (isnumeric (x) && isscalar (x))
          fields{i} = sprintf ("%s=%g", names{i}, x);
        else
          fields{i} = sprintf ("%s:%s[%s]", names{i}, class (x), num2str (size (x)));
        end
      end
      parts{j} = ["{" strjoin(fields, " ") "}"];
    else
      parts{j} = sprintf ("%s[%s]", class (v), num2str (size (v)));
    end
  end
  text = strjoin (parts, ", ");
end

palette = {single(1), int32(1), uint8(3), true, [true; false], "a", "bom", "sin", "/dev/zero", ...
           "/", repmat("a", 1, 60), ["modeconf" char(0)], {1}, struct("a", 1), @sin, [], ...
           zeros(0, 1), zeros(1, 0), NaN, Inf, -Inf, -1, 0, 0.5, 1, 1.5, 3, 7, 8, 26, 32, ...
           1e8, 1e300, -1e300, 2^31, 2^31 - 1, 2^53, realmin, 5e-324, eps, -0, 1+1i, ...
           complex(1, 0), [1 2 3], [1; 2; 3], zeros(3, 3), zeros(2, 2, 2), sparse(1), NaN(5, 1), ...
           Inf(5, 1), ones(33, 8), ones(21, 2), ones(1, 1439), ones(2e5, 1), 1i * ones(7, 1)};

% Per field: the values behind the refusals that once came late or never. (bitsToSym 30 is left
% to symslicer's own tests: a zero or huge symbol is then compared with all 2^30 points.)
extremes = struct ("pulseDelay",         {{1e8, 1e9, -0.5, -0.25, 0}},
                   "oversamplingFactor", {{0, -0, 0.5, 1e8, 2^31 - 1}},
                   "rolloffFactor",      {{4.9e-324, 1e-310, 0, 1}},
                   "EsNodB",             {{NaN, -Inf, Inf, -4000}},
                   "bitsToSym",          {{0, 26, 31, 1e8}},
                   "model",              {{"muito_ruim", "bom", ["bom" char(0)]}},
                   "seed",               {{-1, 2^32, 0.5}},
                   "offset",             {{1000.5, -1e4}},
                   "paths",              {{"16p:100ms:1Hz", "paths=0ms/-100dB/1Hz+1ms/100dB/1Hz"}},
                   "preamSync",          {{[zeros(1, 1439) 8], [zeros(1, 1439) 0.5]}},
                   "data",               {{715827883, 1431655765}});

% The newer blocks promise a finite result for every call they accept; only these fields may
% hold infinities by their contract: an erased symbol's variance (+Inf), a window without
% estimate (+Inf), a sure bit's ratio (+-Inf, for a noise variance near the smallest doubles).
finite_results = struct ("geniecombine", {{"noiseVar"}}, "chansound", {{"windowVar"}},
                         "turboequal", {{}}, "softslicer", {{"LLR"}}, "sisodecode", {{}},
                         "vitdecode", {{}});

function check_finite_result (name, r, finite_results, args)
  % A result of a newer block: no NaN anywhere, infinities only where the contract allows them.
  if (! isfield (finite_results, name))
    return;
  end
  if (! isstruct (r))
    r = struct ("value", r);
  end
  fields = fieldnames (r);
  for i = 1:numel (fields)
    x = r.(fields{i});
    if (! isnumeric (x))
      continue;
    end
    if (any (strcmp (fields{i}, finite_results.(name))))
      ok = ! any (isnan (x(:)));
    else
      ok = all (isfinite (x(:)));
    end
    if (! ok)
      error ("hfchain:test:NonFiniteResult", "%s returned a non-finite %s for %s", name,
             fields{i}, disp_args (args));
    end
  end
end

calls_per_plugin = str2double (getenv ("HFCHAIN_ROBUSTNESS_CALLS"));
if (isnan (calls_per_plugin))
  calls_per_plugin = 10000;
end

total = 0;
for k = 1:numel (plugins)
  name = plugins{k};
  f = str2func (name);
  base = valid_args (name);
  rng (sum (double (name)) * 7919 + 20240601, "twister");
  ok = 0;
  failed = 0;
  started = tic ();
  for c = 1:calls_per_plugin
    args = base;
    for m = 1:ri (2)
      j = ri (numel (args));
      args{j} = mutate (args{j}, palette, extremes);
    end
    kept = args;
    call_started = tic ();
    try
      r = f (args{:});
      assert (isstruct (r) || isnumeric (r), "%s returned a %s", name, class (r));
      check_finite_result (name, r, finite_results, args);
      ok++;
    catch err
      if (strncmp (err.identifier, "hfchain:test:", 13))
        rethrow (err);
      end
      assert (ischar (err.message) && ! isempty (err.message), "%s: empty error text", name);
      failed++;
    end
    seconds = toc (call_started);
    if (seconds > 2)  % worth a look, not a failure: the machine may be busy
      printf ("%s call %d took %.1f s: %s\n", name, c, seconds, disp_args (args));
    end
    for j = 1:numel (args)
      expect_unchanged (kept{j}, args{j}, sprintf ("%s argument %d", name, j));
    end
  end
  printf ("%-12s %5d calls: %5d results, %5d clean errors, %.0f s\n", name, calls_per_plugin,
          ok, failed, toc (started));
  total += calls_per_plugin;
end
printf ("robustness_test passed: %d calls\n", total);
