function expect_generator_kept (cases, draw)
  % EXPECT_GENERATOR_KEPT  Runs each call of cases(:, 1); the first must succeed, the others fail
  % with the identifier of cases(:, 2). After every call, draw() must return what it would have
  % returned without the call: the block gave the caller's generator back.
  for k = 1:rows (cases)
    rng (99, "twister"); expected = draw (); rng (99, "twister");
    try
      cases{k, 1} ();
      assert (k == 1, "call %d did not fail", k);
    catch err
      assert (err.identifier, cases{k, 2});
    end
    assert (isequal (draw (), expected), "generator changed by call %d", k);
  end
end
