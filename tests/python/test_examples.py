"""The Python examples run as a user runs them, with matplotlib's Agg backend."""

import os
import subprocess
import sys

import pytest

from module_paths import BUILD, ROOT


def _run(script, *args, tmp_path):
    env = dict(os.environ, MPLBACKEND="Agg", MPLCONFIGDIR=str(tmp_path),
               PYTHONPATH=os.pathsep.join([str(BUILD / "python"),
                                           os.environ.get("PYTHONPATH", "")]))
    return subprocess.run([sys.executable, str(ROOT / "examples/python" / script), *args],
                          capture_output=True, text=True, env=env, timeout=300)


@pytest.mark.parametrize("cif,charges,first_site", [
    ("rutile.cif", [], "Ti1"),
    ("rocksalt.cif", ["Na=1", "Cl=-1"], "Na1"),
])
def test_site_table(tmp_path, cif, charges, first_site):
    run = _run("site_potentials.py", str(ROOT / "examples" / cif), *charges, tmp_path=tmp_path)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[1].split()[:2] == ["site", "Z"]
    assert lines[2].split()[0] == first_site
    assert lines[-1].startswith("energy per cell:")


def test_site_table_bad_cif(tmp_path):
    (tmp_path / "bad.cif").write_text("data_x\n")
    run = _run("site_potentials.py", str(tmp_path / "bad.cif"), tmp_path=tmp_path)
    assert run.returncode != 0 and "ConversionError" in run.stderr


def test_map_slice_picture(tmp_path):
    picture = tmp_path / "map.png"
    run = _run("map_slice.py", str(ROOT / "examples/rocksalt.inp"), str(picture), "0",
               tmp_path=tmp_path)
    assert run.returncode == 0, run.stderr
    assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
