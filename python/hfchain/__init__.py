"""hfchain: a fast, exact, block-by-block simulator of an HF serial-tone modem (2400 symbols/s,
data rates from 75 to 4800 bit/s).

See help(hfchain._hfchain) or the type stub for every function and structure.
"""

from ._error import Error
from ._hfchain import *  # noqa: F401,F403  the blocks, structures, run_road, run_sweep
from ._hfchain import __doc__, __version__  # noqa: F401
