function expect_unchanged (before, after, what)
  % EXPECT_UNCHANGED  A plug-in's input must come back exactly as it was handed in.
  if (! isequaln (before, after) || ! strcmp (class (before), class (after)))
    error ("hfchain:test:InputModified", "%s was modified by the call", what);
  end
end
