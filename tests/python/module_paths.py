"""The repository's folders for the module's tests: ROOT, the source tree, and
BUILD, the build folder ($TELVA_BUILD_DIR, else build/)."""

import os
import pathlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("TELVA_BUILD_DIR", ROOT / "build"))
