"""Builds telva._core through the project's CMake build (target telva_python)
and puts it into the package, with the version of CMakeLists.txt's project()
line; everything else is in pyproject.toml."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent


def project_version() -> str:
    """The version of the project() line of CMakeLists.txt, the project's one version."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"^project\(telva VERSION ([0-9]+\.[0-9]+\.[0-9]+)", text, re.MULTILINE)
    if not match:
        raise RuntimeError("CMakeLists.txt has no line 'project(telva VERSION X.Y.Z ...)'")
    return match.group(1)


class CMakeBuild(build_ext):
    """Configures and builds the extension with CMake for this interpreter."""

    def build_extension(self, ext: Extension) -> None:
        build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir),
                        "-DCMAKE_BUILD_TYPE=Release", "-DTELVA_TESTS=OFF",
                        f"-DPython3_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "-j",
                        os.environ.get("TELVA_BUILD_JOBS", "2"), "--target", "telva_python"],
                       check=True)
        built = sorted((build_dir / "python" / "telva").glob("_core*.so"))
        if not built:
            raise RuntimeError(f"the CMake build left no _core module in {build_dir}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(version=project_version(),
      ext_modules=[Extension("telva._core", sources=[])],
      cmdclass={"build_ext": CMakeBuild},
      # setuptools' own scratch space, apart from the CMake build in build/.
      options={"build": {"build_base": "build-python"}})
