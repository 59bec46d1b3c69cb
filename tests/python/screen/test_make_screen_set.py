"""tools/make-screen-set.py: the set it writes, and that telva-cif reads its good files."""

import os
import subprocess
import sys

import pytest
from screen_support import BUILD, REPO

TOOL = os.path.join(REPO, "tools", "make-screen-set.py")


def _make(folder, *args):
    subprocess.run([sys.executable, TOOL, str(folder), *args], check=True, capture_output=True,
                   timeout=120)
    return sorted(os.path.join(root, n) for root, _, names in os.walk(folder) for n in names)


def test_set_has_its_count_broken_share_and_is_reproducible(tmp_path):
    files = _make(tmp_path / "a", "--count", "120", "--seed", "7")
    assert len(files) == 120
    broken = [f for f in files if "_broken_" in os.path.basename(f)]
    assert len(broken) == 6
    kinds = {f.rsplit("_broken_", 1)[1][:-4] for f in broken}
    assert kinds <= {"empty", "binary", "truncated", "no_cell", "question_mark", "no_charge"}
    assert any("_super_" in f for f in files) and any("_for_" in f for f in files)
    again = _make(tmp_path / "b", "--count", "120", "--seed", "7")
    for first, second in zip(files, again):
        with open(first, "rb") as one, open(second, "rb") as two:
            assert one.read() == two.read()


def test_good_files_convert_and_broken_ones_do_not(tmp_path):
    converter = os.path.join(BUILD, "telva-cif")
    if not os.path.exists(converter):
        pytest.skip("build/telva-cif is not built")
    for path in _make(tmp_path, "--count", "80", "--broken", "0.1"):
        done = subprocess.run([converter, path, "-o", str(tmp_path / "x.inp")],
                              capture_output=True, timeout=60)
        assert (done.returncode == 0) == ("_broken_" not in path), (path, done.stderr)
