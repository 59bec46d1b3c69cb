"""telva-screen's rows against telva-cif + telva's listing, and against compute()."""

import csv
import os
import re
import shutil
import subprocess
import sys

import pytest
from screen_support import BUILD, REPO, RUN_SECONDS, read_table

telva = pytest.importorskip("telva")
if not hasattr(telva, "from_cif"):
    pytest.skip("the telva module is not built", allow_module_level=True)

from telva.screen_process import VOLTS_PER_E_PER_ANGSTROM  # noqa: E402

EXAMPLES = os.path.join(REPO, "examples")
CIFS = sorted(n for n in os.listdir(EXAMPLES) if n.endswith(".cif"))
# A site line of the listing: label, charge, W, x, y, z, phi.
_SITE_LINE = re.compile(r"^ (\S+)\s+(-?[0-9.]+)(?: [0-9.]+){4}\s+(\S+E[+-][0-9]+)\s*$")
_ENERGY_LINE = re.compile(r"=\s*(\S+) eV =")


def _screen(inputs, results, *options):
    command = [sys.executable, "-m", "telva.screen", *inputs, "-o", results, "--workers", "2",
               *options]
    done = subprocess.run(command, capture_output=True, text=True, timeout=RUN_SECONDS)
    assert done.returncode == 0, done.stderr
    with open(os.path.join(results, "structures.csv"), newline="") as file:
        structures = {os.path.basename(r["path"]): r for r in csv.DictReader(file)}
    with open(os.path.join(results, "sites.csv"), newline="") as file:
        sites = {}
        for row in csv.DictReader(file):
            sites.setdefault(os.path.basename(row["path"]), []).append(row)
    return structures, sites


def _listing(cif, folder):
    """The listed site potentials (label -> text) and energy per asymmetric unit in eV (text)."""
    tool = os.path.join(BUILD, "telva-cif")
    program = os.path.join(BUILD, "telva")
    if not (os.path.exists(tool) and os.path.exists(program)):
        pytest.skip("build/telva-cif and build/telva are not built")
    inp = os.path.join(folder, cif + ".inp")
    lst = os.path.join(folder, cif + ".lst")
    subprocess.run([tool, os.path.join(EXAMPLES, cif), "-o", inp], check=True,
                   capture_output=True, timeout=60)
    subprocess.run([program, inp, lst], check=True, capture_output=True, timeout=120)
    with open(lst, encoding="utf-8", errors="replace") as file:
        text = file.read()
    potentials = {m.group(1): m.group(3) for m in map(_SITE_LINE.match, text.splitlines()) if m}
    return potentials, _ENERGY_LINE.search(text).group(1)


def test_sphere_rows_are_the_listings_numbers(tmp_path):
    structures, sites = _screen([EXAMPLES], str(tmp_path / "out"), "--method", "sphere")
    assert sorted(structures) == CIFS
    for cif in CIFS:
        row = structures[cif]
        assert row["status"] == "ok", row
        potentials, energy = _listing(cif, str(tmp_path))
        screened = {s["label"]: float(s["potential_v"]) / VOLTS_PER_E_PER_ANGSTROM
                    for s in sites[cif]}
        assert {label: f"{phi:.6E}" for label, phi in screened.items()} == {
            label: f"{float(text):.6E}" for label, text in potentials.items()}, cif
        per_asymmetric_unit = float(row["energy_per_cell_ev"]) / int(row["operations"])
        decimals = len(energy.partition(".")[2])
        assert f"{per_asymmetric_unit:.{decimals}f}" == energy, cif


@pytest.mark.parametrize("method", ["ewald", "pme", "sphere"])
def test_rows_are_compute_to_the_last_digit(tmp_path, method):
    if method in ("ewald", "pme") and not telva.result.ewald_available():
        pytest.skip("this build of telva has no ewald method yet")
    inputs = tmp_path / "in"
    inputs.mkdir()
    for cif in CIFS[:4]:
        shutil.copy(os.path.join(EXAMPLES, cif), inputs / cif)
    structures, sites = _screen([str(inputs)], str(tmp_path / "out"), "--method", method)
    for cif in CIFS[:4]:
        crystal = telva.from_cif(os.path.join(EXAMPLES, cif))
        result = crystal.compute(method=method)
        assert [float(s["potential_v"]) for s in sites[cif]] == [
            p * VOLTS_PER_E_PER_ANGSTROM for p in result.site_potentials], cif
        assert float(structures[cif]["energy_per_cell_ev"]) == result.energy.per_cell.ev
        assert [s["label"] for s in sites[cif]] == [s.label for s in crystal.sites]


def test_gzip_and_charges_reach_the_conversion(tmp_path):
    import gzip

    inputs = tmp_path / "in"
    inputs.mkdir()
    with open(os.path.join(EXAMPLES, "rutile.cif"), "rb") as plain:
        with gzip.open(inputs / "rutile.cif.gz", "wb") as packed:
            packed.write(plain.read())
    # The type symbols say Ti4+ and O2-; a label names one site and takes precedence.
    structures, sites = _screen([str(inputs)], str(tmp_path / "out"), "--method", "sphere",
                                "--charge", "Ti1=3", "--charge", "O=-1.5")
    row = structures["rutile.cif.gz"]
    assert row["status"] == "ok", row
    charges = [(s["label"], float(s["charge_e"])) for s in sites["rutile.cif.gz"]]
    assert charges == [("Ti1", 3.0), ("O1", -1.5)]
    assert read_table(str(tmp_path / "out" / "structures.csv"))


def test_a_table_beyond_max_memory_is_an_error_row(tmp_path):
    inputs = tmp_path / "in"
    inputs.mkdir()
    shutil.copy(os.path.join(EXAMPLES, "rutile.cif"), inputs / "rutile.cif")
    structures, sites = _screen([str(inputs)], str(tmp_path / "out"), "--method", "sphere",
                                "--max-memory", "1MB")
    row = structures["rutile.cif"]
    assert row["status"] == "error" and "insufficient memory" in row["message"], row
    assert "rutile.cif" not in sites
