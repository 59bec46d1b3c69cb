"""Puts the built package (build/python, or $TELVA_BUILD_DIR/python) first on
the path when the environment has not, and names the repository's folders."""

import os
import pathlib
import sys

from module_paths import BUILD

if not any(pathlib.Path(p, "telva", "__init__.py").exists() for p in sys.path if p):
    sys.path.insert(0, str(BUILD / "python"))

os.environ.setdefault("MPLBACKEND", "Agg")
