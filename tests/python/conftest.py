"""Puts the built package (build/python, or $TELVA_BUILD_DIR/python) first on
the path when the environment has not. The folders the tests read come from
module_paths (a conftest module's name is shared with the screen tests')."""

import os
import sys

from module_paths import BUILD

if not any(os.path.exists(os.path.join(p, "telva", "__init__.py")) for p in sys.path if p):
    sys.path.insert(0, str(BUILD / "python"))

os.environ.setdefault("MPLBACKEND", "Agg")
