% Argument-count messages, the properties query and the help text of every plug-in built
% (`plugins`, set by the test runner).
for k = 1:numel (plugins)
  name = plugins{k};
  n = plugin_inputs (name);
  f = str2func (name);
  if (n == 1)
    expected = sprintf ("1 input required for entry-point '%s'.", name);
  else
    expected = sprintf ("%d inputs required for entry-point '%s'.", n, name);
  end
  for count = unique ([0, n - 1, n + 1, n + 3])
    args = num2cell (zeros (1, count));
    expect_error (@() f (args{:}), "emlcoder:emlmex:WrongNumberOfInputs", expected);
  end
  % Too many outputs is judged before any input is read.
  args = repmat ({{"not an input"}}, 1, n);
  try
    [a, b] = f (args{:});
    error ("hfchain:test:NoError", "%s accepted two outputs", name);
  catch err
    assert (err.identifier, "emlcoder:emlmex:TooManyOutputArguments");
    assert (err.message, sprintf ("Too many output arguments for entry-point '%s'.", name));
  end

  p = mexprops (name);
  assert (p.Version, "7.14.0.739 (R2012a)");
  assert (p.EntryPoints.Name, name);
  assert (p.EntryPoints.NumberOfInputs, n);
  assert (p.EntryPoints.NumberOfOutputs, 1);
  assert (p.EntryPoints.ConstantInputs, false (1, n));

  % The help file beside the plug-in: its usage line calls it with its inputs, and the name still
  % reaches the plug-in rather than the comment-only file.
  [text, format] = get_help_text (name);
  assert (format, "plain text");
  usage = regexp (text, ["= " name " \\(([^)]*)\\)"], "tokens", "once");
  assert (! isempty (usage), "%s: no usage line in its help", name);
  assert (numel (strsplit (usage{1}, ",")), n);
  assert (exist (name), 3);
end
printf ("counts_test passed for %s\n", strjoin (plugins, ", "));
