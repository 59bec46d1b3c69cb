"""Puts the built package (build/python, or $TELVA_BUILD_DIR/python) first on
the path when the environment has not, and names the repository's folders."""

import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("TELVA_BUILD_DIR", ROOT / "build"))

if not any(pathlib.Path(p, "telva", "__init__.py").exists() for p in sys.path if p):
    sys.path.insert(0, str(BUILD / "python"))

os.environ.setdefault("MPLBACKEND", "Agg")
