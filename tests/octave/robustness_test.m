% Every plug-in in `plugins` (set by the test runner, one plug-in per test) is called with
% malformed arguments: wrong classes, sizes, orientations, empties, NaN and Inf, huge values and
% sizes, structures with missing, extra or mistyped fields, degenerate values of any argument or
% field (one element NaN or +-Inf, one element 1e6 times the largest, everything times 1e300,
% everything 0: zero ray gains, a silent channel), and the values that once made a block work for
% minutes before refusing, return NaN or zeros, or hang. Every call must end in a clean Octave
% error or a valid result (for the newer blocks a finite one, infinities only where their
% contract allows them), leave its inputs untouched and not hang; a crash ends the session and
% fails the test. Run under the sanitizer build as well.
%
% The generator is table-driven: valid_args (name) gives each plug-in's valid arguments, the
% palette below the generic replacement values, and `extremes` the values that matter to one
% field of a structure argument; adding a plug-in is adding its case to valid_args.
% Two kinds of calls, each plug-in's from its own seeded stream, so that they do not depend on
% which other plug-ins are tested:
% - chosen calls (chosen_calls below): every kind of change the drawn calls make, each at least
%   once on every argument: every palette value in place of the argument; on a structure every
%   field removed, an extra field, the fields reordered, a 1 x 2 array, every degenerate kind and
%   every extreme of every field, the palette spread over the fields; on a numeric array its
%   transpose, prefixes, single elements replaced by special values, single precision, a third
%   dimension, a doubled length and every degenerate kind. One case is left to the drawn calls:
%   the outlier of oversamplingFactor, a valid request of 2e6 samples a symbol that takes a
%   minute in the debug build;
% - drawn calls: one or two random changes a call, HFCHAIN_ROBUSTNESS_CALLS of them (100 by
%   default; the long run draws 10,000), which also reach combinations of changes.
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
  % 1e300, one outlier, or every element 0 (ray gains or a channel that pass nothing); a value that
  % is not a non-empty numeric array becomes one of those values.
  if (! isnumeric (v) || isempty (v) || issparse (v))
    v = pick (scalar_degenerates ());
    return;
  end
  v = degenerate_kind (v, ri (6));
end

function c = scalar_degenerates ()
  c = {NaN, Inf, -Inf, 1e300, 0};
end

function v = degenerate_kind (v, kind)
  % Degenerate kind 1..6 of a non-empty numeric array (see degenerate).
  switch (kind)
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

function out = degenerates (v, skip)
  % Every degenerate version of v (see degenerate) but the kinds in `skip`.
  if (! isnumeric (v) || isempty (v) || issparse (v))
    out = scalar_degenerates ();
  else
    out = arrayfun (@(kind) degenerate_kind (v, kind), setdiff (1:6, skip), "UniformOutput", false);
  end
end

function out = element_values ()
  % The special values one element of a numeric array takes.
  out = {NaN, Inf, -Inf, 1e300, NaN + 1i, 5e-324, 1e8};
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
        v(ri (numel (v))) = pick (element_values ());
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

function calls = chosen_calls (base, palette, extremes)
  % The chosen malformed argument lists of one plug-in: every kind of change `mutate` draws, each
  % at least once on every argument (see the top of this file).
  calls = {};
  for j = 1:numel (base)
    v = base{j};
    changed = palette;                            % the whole argument replaced
    if (isstruct (v) && isscalar (v))
      names = fieldnames (v);
      changed{end + 1} = setfield (v, "extra", 1);
      changed{end + 1} = orderfields (v, numel (names):-1:1);
      changed{end + 1} = [v, v];
      for i = 1:numel (names)
        f = names{i};
        changed{end + 1} = rmfield (v, f);
        skip = [];
        if (strcmp (f, "oversamplingFactor"))
          skip = 5;  % 2e6 samples a symbol: valid, a minute of work; the drawn calls make it
        end
        values = degenerates (v.(f), skip);
        if (isfield (extremes, f))
          values = [values, extremes.(f)];
        end
        values = [values, palette(i:numel (names):end)];  % the palette spread over the fields
        for x = values
          changed{end + 1} = setfield (v, f, x{1});
        end
      end
    elseif (isnumeric (v) && ! issparse (v) && ndims (v) == 2 && ! isempty (v))
      n = numel (v);
      changed = [changed, {v.', v(:), single(v), cat(3, v, v), [v; v], zeros(0, 1), v(1)}];
      if (n > 2)
        changed{end + 1} = v(1:n - 1)(:);
      end
      for x = element_values ()
        w = v;
        w(ri (n)) = x{1};
        changed{end + 1} = w;
      end
      changed = [changed, degenerates(v, [])];
    end
    for x = changed
      args = base;
      args{j} = x{1};
      calls{end + 1} = args;
    end
  end
end

function [ok, failed] = try_call (name, f, args, finite_results, ok, failed, label)
  % One malformed call: a result or a clean error, within reasonable time, inputs untouched.
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
    printf ("%s %s took %.1f s: %s\n", name, label, seconds, disp_args (args));
  end
  for j = 1:numel (args)
    expect_unchanged (kept{j}, args{j}, sprintf ("%s argument %d", name, j));
  end
end

drawn_per_plugin = str2double (getenv ("HFCHAIN_ROBUSTNESS_CALLS"));
if (isnan (drawn_per_plugin))
  drawn_per_plugin = 100;
end

total = 0;
for k = 1:numel (plugins)
  name = plugins{k};
  f = str2func (name);
  base = valid_args (name);
  seed = sum (double (name)) * 7919 + 20240601;
  ok = 0;
  failed = 0;
  started = tic ();
  rng (seed, "twister");
  for c = 1:drawn_per_plugin
    args = base;
    for m = 1:ri (2)
      j = ri (numel (args));
      args{j} = mutate (args{j}, palette, extremes);
    end
    [ok, failed] = try_call (name, f, args, finite_results, ok, failed, sprintf ("call %d", c));
  end
  rng (seed + 1, "twister");
  calls = chosen_calls (base, palette, extremes);
  for c = 1:numel (calls)
    [ok, failed] = try_call (name, f, calls{c}, finite_results, ok, failed,
                             sprintf ("chosen call %d", c));
  end
  n = drawn_per_plugin + numel (calls);
  printf ("%-12s %5d calls (%d chosen): %5d results, %5d clean errors, %.0f s\n", name, n,
          numel (calls), ok, failed, toc (started));
  total += n;
end
printf ("robustness_test passed: %d calls\n", total);
