"""hfchain: a fast, exact, block-by-block simulator of an HF serial-tone modem (2400 symbols/s,
data rates from 75 to 4800 bit/s).

See help(hfchain._hfchain) or the type stub for every function and structure.
"""

from ._error import Error
from ._table import Table
from ._hfchain import *  # noqa: F401,F403  the blocks, structures, run_road, run_sweep
from ._hfchain import __doc__, __version__  # noqa: F401


def __getattr__(name):
    # The parameter-set class was called Milstd before; the old name stays for one release.
    if name == "Milstd":
        import warnings

        warnings.warn("hfchain.Milstd is deprecated: use hfchain.ModeParams", DeprecationWarning, stacklevel=2)
        return ModeParams  # noqa: F405
    raise AttributeError(f"module 'hfchain' has no attribute {name!r}")
