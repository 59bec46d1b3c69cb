"""The sphere method from Python gives the telva listing's printed values bit
for bit: site potentials, energy, and the positions' phiw and phic, for every
example and every end-to-end case that ends normally."""

import pathlib

import pytest

import telva
from module_paths import ROOT
from listing_text import (energy_fields, fixed, position_fields, scientific,
                          site_phi_fields)

EV = 14.3996517
MJ = 1.3893548456


def _cases():
    for inp in sorted((ROOT / "examples").glob("*.inp")):
        yield pytest.param(inp, ROOT / "tests/end_to_end/examples" / (inp.stem + ".lst"),
                           id="example-" + inp.stem)
    for case in sorted((ROOT / "tests/end_to_end/cases").iterdir()):
        status = case / "expected_status"
        if status.exists() and status.read_text().strip() != "0":
            continue
        yield pytest.param(case / "input.inp", case / "expected.lst", id="case-" + case.name)


@pytest.mark.parametrize("input_path,listing_path", list(_cases()))
def test_sphere_equals_listing(input_path: pathlib.Path, listing_path: pathlib.Path) -> None:
    listing = listing_path.read_text(encoding="utf-8")
    crystal = telva.read_input(input_path)
    result = crystal.compute(method="sphere")

    assert [scientific(v, 15, 6) for v in result.site_potentials] == site_phi_fields(listing)

    e = result.energy.per_asymmetric_unit.e2_per_angstrom
    field, ev_text, mj = energy_fields(listing)
    assert fixed(e, 13, 6) == field
    assert fixed(e * EV, 13, 5).strip() + " eV" == ev_text
    assert fixed(e * MJ, 11, 6) == mj
    assert result.energy.per_asymmetric_unit.ev == e * EV

    expected = position_fields(listing)
    assert len(expected) == len(crystal.positions)
    if expected:
        phiw, phic, neighbour, distance = result.at(crystal.positions)
        for i, (w, c, label, d) in enumerate(expected):
            assert scientific(phiw[i], 15, 6) == w, i
            assert scientific(phic[i], 15, 6) == c, i
            if label.strip():
                assert crystal.sites[neighbour[i]].label == label.rstrip()
                assert fixed(distance[i], 8, 4) == d
            else:
                assert neighbour[i] == -1


def test_cif_route_equals_converted_input(tmp_path: pathlib.Path) -> None:
    """from_cif computes what telva computes on telva-cif's input file."""
    import subprocess
    from module_paths import BUILD
    converter = BUILD / "telva-cif"
    if not converter.exists():
        pytest.skip("telva-cif is not built")
    for cif in sorted((ROOT / "examples").glob("*.cif")):
        converted = tmp_path / (cif.stem + ".inp")
        subprocess.run([str(converter), str(cif), "-o", str(converted)], check=True,
                       capture_output=True, timeout=60)
        direct = telva.from_cif(cif).compute(method="sphere")
        via_file = telva.read_input(converted).compute(method="sphere")
        assert direct.site_potentials.tolist() == via_file.site_potentials.tolist(), cif.name
        assert direct.radius == via_file.radius and direct.qmax == via_file.qmax
