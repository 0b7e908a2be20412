"""Main example: loads the engine (replaced by a full model as the library grows)."""
from velmont.corvane_engine import _core

print(_core.__doc__)
