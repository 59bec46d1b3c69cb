"""The repository's folders and the build the module's tests run against."""

import os
import pathlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("TELVA_BUILD_DIR", ROOT / "build"))
