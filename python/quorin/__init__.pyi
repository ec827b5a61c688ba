from . import _quorin as _quorin
from ._quorin import *
from ._quorin import __all__ as __all__

__version__: str
