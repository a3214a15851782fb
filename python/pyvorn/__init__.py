"""Compile and run Amazon States Language state machines.

Everything here is the native module ``_pyvorn``, re-exported under the
package's name.
"""

from _pyvorn import *  # noqa: F401,F403
# Named twice so type checkers see it re-exported: a star import skips it.
from _pyvorn import __version__ as __version__  # noqa: F401
