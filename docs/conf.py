"""The manual of TELVA, built by Sphinx (make docs; make test runs its
examples through the doctest builder).

The Python API is documented from the built module: build/python, or
$TELVA_BUILD_DIR/python, goes first on the path, as the Python tests find it.
"""

import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = pathlib.Path(os.environ.get("TELVA_BUILD_DIR", ROOT / "build"))
sys.path.insert(0, str(BUILD / "python"))
sys.path.insert(0, str(ROOT / "docs" / "_ext"))
os.environ.setdefault("MPLBACKEND", "Agg")

project = "TELVA"
author = "the TELVA developers"
copyright = "the TELVA developers; Mozilla Public License 2.0"

extensions = ["sphinx.ext.autodoc", "sphinx.ext.doctest", "telva_docs"]

root_doc = "index"
exclude_patterns = ["_build"]
html_theme = "alabaster"
html_static_path = []
html_theme_options = {"description": "Electrostatic potentials of ionic crystals",
                      "fixed_sidebar": True}
pygments_style = "sphinx"

# The members in the order the source gives them, with their signatures'
# type hints in the text.
autodoc_member_order = "bysource"
autodoc_typehints = "description"
autodoc_default_options = {"members": True, "undoc-members": False}

# The Python examples run from the top of the source tree, as a user who has
# built TELVA there runs them.
doctest_global_setup = f"""
import os
os.chdir({str(ROOT)!r})
import numpy as np
import telva
"""
doctest_default_flags = 0
import doctest as _doctest  # noqa: E402
doctest_default_flags = _doctest.ELLIPSIS | _doctest.NORMALIZE_WHITESPACE | \
    _doctest.DONT_ACCEPT_TRUE_FOR_1


def _signature_as_literal(app, what, name, obj, options, lines):
    """Crystal's docstring opens with its call written out, whose bare "*"
    (keyword-only arguments follow) reStructuredText would read as the start
    of an emphasis: that line is shown as code."""
    if name == "telva.Crystal":
        for i, line in enumerate(lines):
            if line.startswith("Crystal(") and " *," in line:
                lines[i] = "``" + line + "``"
                if i + 1 < len(lines) and lines[i + 1].strip() and \
                        not lines[i + 1].startswith("``"):
                    lines[i] = "``" + line + " " + lines[i + 1].strip() + "``"
                    del lines[i + 1]
                break


def setup(app):
    app.connect("autodoc-process-docstring", _signature_as_literal)
