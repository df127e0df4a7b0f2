function params_rejections (call)
  % PARAMS_REJECTIONS  The field checks of the parameter set (the argument the plug-ins name
  % `milstd`), the same in every plug-in that takes it: call(params) runs the plug-in with all
  % other arguments valid.
  m = modeconf (0.6);
  cases = {"chSymMapping", ones(33, 8),   "hfchain:gateway:WrongSize";
           "chSymMapping", ones(32, 9),   "hfchain:gateway:WrongSize";
           "probe",        ones(21, 2),   "hfchain:gateway:WrongSize";
           "probe",        ones(16, 3),   "hfchain:gateway:WrongSize";
           "preamSync",    m.preamSync',  "hfchain:gateway:WrongSize";
           "interTable",   m.interTable', "hfchain:gateway:WrongSize";
           "rate",         [2400 2400],   "hfchain:gateway:WrongSize";
           "rate",         int32(2400),   "hfchain:gateway:WrongClass";
           "data",         "32",          "hfchain:gateway:WrongClass";
           "trein",        16 + 1i,       "hfchain:gateway:ComplexInput";
           "interTable",   single(m.interTable), "hfchain:gateway:WrongClass"};
  for k = 1:rows (cases)
    bad = m;
    bad.(cases{k, 1}) = cases{k, 2};
    err = expect_error (@() call (bad), cases{k, 3});
    assert (! isempty (strfind (err.message, ["'milstd." cases{k, 1} "'"])), err.message);
  end
  expect_error (@() call (rmfield (m, "probe")), "hfchain:gateway:WrongFields");
  extra = m;
  extra.extra = 1;
  expect_error (@() call (extra), "hfchain:gateway:WrongFields");
  expect_error (@() call ([m m]), "hfchain:gateway:WrongSize");
  expect_error (@() call (struct2cell (m)), "hfchain:gateway:WrongClass");
end
