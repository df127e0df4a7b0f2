"""hfchain: a fast, exact, block-by-block simulator of a 2400 bit/s HF serial-tone modem.

See help(hfchain._hfchain) or the type stub for every function and structure.
"""

from ._error import Error
from ._hfchain import *  # noqa: F401,F403  the blocks, structures, run_road, run_sweep
from ._hfchain import __doc__, __version__  # noqa: F401
