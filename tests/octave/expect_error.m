function err = expect_error (f, identifier, message)
  % EXPECT_ERROR  Calls f() and checks that it fails with this identifier and, when a message is
  % given, exactly this message. Returns the error structure.
  try
    f ();
  catch err
    if (! strcmp (err.identifier, identifier))
      error ("hfchain:test:WrongIdentifier", "expected identifier '%s', got '%s' (%s)",
             identifier, err.identifier, err.message);
    end
    if (nargin > 2 && ! strcmp (err.message, message))
      error ("hfchain:test:WrongMessage", "expected message '%s', got '%s'", message,
             err.message);
    end
    return;
  end
  error ("hfchain:test:NoError", "expected an error with identifier '%s'", identifier);
end
