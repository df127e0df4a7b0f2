function use_plugins ()
  % USE_PLUGINS  Puts the project's Octave plug-ins on the path unless they are there already:
  % those of build/release/mex (built by scripts/run.sh), else of build/debug/mex. The examples
  % call it first, so that run ("examples/road.m") works from the project's folder as it is.
  if (exist ("modeconf") == 3)
    return;
  end
  root = fileparts (fileparts (mfilename ("fullpath")));
  for preset = {"release", "debug"}
    folder = fullfile (root, "build", preset{1}, "mex");
    if (exist (fullfile (folder, "modeconf.mex"), "file"))
      addpath (folder);
      return;
    end
  end
  error ("hfchain:examples:NoPlugins",
         "The Octave plug-ins are neither on the path nor in %s: run scripts/run.sh first.",
         fullfile (root, "build", "release", "mex"));
end
