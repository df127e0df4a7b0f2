% Every plug-in built (`plugins`, set by the test runner) is called thousands of times with
% malformed arguments: wrong classes, sizes, orientations, empties, NaN and Inf, huge values and
% sizes, structures with missing, extra or mistyped fields. Every call must end in a clean
% Octave error or a valid result, leave its inputs untouched and not hang; a crash ends the
% session and fails the test. Run under the sanitizer build as well.
% Calls per plug-in: 1000, or HFCHAIN_ROBUSTNESS_CALLS (the sanitizer build uses fewer).
calls_per_plugin = str2double (getenv ("HFCHAIN_ROBUSTNESS_CALLS"));
if (isnan (calls_per_plugin))
  calls_per_plugin = 1000;
end
rng (20240601, "twister");

palette = {single(1), int32(1), uint8(3), true, [true; false], "a", "bom", ...
           repmat("a", 1, 60), {1}, struct("a", 1), @sin, [], zeros(0, 1), zeros(1, 0), ...
           NaN, Inf, -Inf, -1, 0, 0.5, 1, 1.5, 3, 7, 8, 32, 1e300, -1e300, 2^31, 2^31 - 1, ...
           2^53, realmin, eps, -0, 1+1i, complex(1, 0), [1 2 3], [1; 2; 3], zeros(3, 3), ...
           zeros(2, 2, 2), sparse(1), NaN(5, 1), Inf(5, 1), ones(33, 8), ones(21, 2), ...
           ones(1, 1439), ones(2e5, 1), 1i * ones(7, 1)};

% One random change to one argument (or to one field of a structure argument).
function k = ri (n)
  % A random whole number in 1..n (randi, without its argument checks).
  k = floor (rand () * n) + 1;
end

function v = mutate (v, palette)
  pick = @(c) c{ri(numel(c))};
  if (isstruct (v) && isscalar (v) && rand () < 0.7)
    names = fieldnames (v);
    f = names{ri(numel(names))};
    switch (ri (6))
      case 1
        v = rmfield (v, f);
      case 2
        v.extra = 1;
      case 3
        v = orderfields (v, randperm (numel (names)));  % valid: fields are fetched by name
      case 4
        v = [v, v];
      otherwise
        v.(f) = pick (palette);
    end
  elseif (isnumeric (v) && ! issparse (v) && ndims (v) == 2 && ! isempty (v) && rand () < 0.6)
    switch (ri (6))
      case 1
        v = v.';
      case 2
        v = v(1:ri(numel(v) + 1) - 1);
        v = v(:);
      case 3
        v(ri (numel (v))) = pick ({NaN, Inf, -Inf, 1e300, NaN + 1i});
      case 4
        v = single (v);
      case 5
        v = cat (3, v, v);
      otherwise
        v = [v; v];
    end
  else
    v = pick (palette);
  end
end

total = 0;
for k = 1:numel (plugins)
  name = plugins{k};
  f = str2func (name);
  base = valid_args (name);
  ok = 0;
  failed = 0;
  for c = 1:calls_per_plugin
    args = base;
    for m = 1:ri (2)
      j = ri (numel (args));
      args{j} = mutate (args{j}, palette);
    end
    kept = args;
    try
      r = f (args{:});
      assert (isstruct (r) || isnumeric (r), "%s returned a %s", name, class (r));
      ok++;
    catch err
      if (strncmp (err.identifier, "hfchain:test:", 13))
        rethrow (err);
      end
      assert (ischar (err.message) && ! isempty (err.message), "%s: empty error text", name);
      failed++;
    end
    for j = 1:numel (args)
      expect_unchanged (kept{j}, args{j}, sprintf ("%s argument %d", name, j));
    end
  end
  printf ("%-12s %5d calls: %5d results, %5d clean errors\n", name, calls_per_plugin, ok, failed);
  total += calls_per_plugin;
end
printf ("robustness_test passed: %d calls\n", total);
