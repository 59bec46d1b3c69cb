"""What a result holds: energies in three units, the grid against the points,
the volumetric files read back, and crystals built from plain values."""

import math

import numpy as np
import pytest

import telva
from module_paths import ROOT


@pytest.fixture(scope="module")
def rutile():
    crystal = telva.read_input(ROOT / "examples" / "rutile.inp")
    return crystal, crystal.compute(method="sphere")


def test_energy_units(rutile):
    crystal, result = rutile
    e = result.energy
    assert e.per_cell.e2_per_angstrom == pytest.approx(
        e.per_asymmetric_unit.e2_per_angstrom * crystal.group_order, rel=1e-15)
    for value in (e.per_asymmetric_unit, e.per_cell):
        assert value.ev == pytest.approx(value.e2_per_angstrom * 14.3996517, rel=1e-15)
        assert value.kj_per_mol == pytest.approx(value.e2_per_angstrom * 1389.3548456, rel=1e-15)
    assert result.radius == 0.95 and result.qmax == 14.0 and result.alpha is None
    assert result.table_entries == (2 * 64 + 1) ** 2 * (41 + 1)  # trunc(4.594 q), trunc(2.959 q)


@pytest.mark.parametrize("method", ["sphere", "ewald"])
def test_grid_is_the_points(rutile, method):
    crystal = rutile[0]
    result = crystal.compute(method=method)
    shape = (3, 4, 5)
    node = (1, 2, 3)
    point = [[node[i] / shape[i] for i in range(3)]]
    phiw, phic, _, _ = result.at(point)
    for quantity, expected in (("phiw", phiw[0]), ("phic", phic[0])):
        grid = result.grid(shape, quantity)
        assert grid.shape == shape
        # The grid synthesis is exact at the nodes, to rounding.
        assert grid[node] == pytest.approx(expected, abs=1e-12)
    # On the Ti at the origin phic is infinite; the map holds phiw there.
    assert result.grid(shape, "phic")[0, 0, 0] == pytest.approx(result.site_potentials[0],
                                                                abs=1e-12)


def test_site_potentials_read_only(rutile):
    with pytest.raises(ValueError):
        rutile[1].site_potentials[0] = 0


def _map_values(path, kind):
    text = path.read_text()
    if kind == "cube":
        lines = text.split("\n")
        atoms = int(lines[2].split()[0])
        return np.array(" ".join(lines[6 + atoms:]).split(), dtype=float)
    block = text.split("BEGIN_DATAGRID_3D")[1].split("END_DATAGRID_3D")[0].split("\n", 1)[1]
    numbers = block.split()
    dims = [int(n) for n in numbers[:3]]
    values = np.array(numbers[15:], dtype=float).reshape(dims[::-1])
    return values[:-1, :-1, :-1].transpose().ravel()  # the general grid repeats the first node


@pytest.mark.parametrize("method", ["sphere", "ewald"])
@pytest.mark.parametrize("kind", ["cube", "xsf"])
@pytest.mark.parametrize("unit,factor", [("V", 14.3996517), ("e/A", 1.0)])
def test_map_files_equal_telva_map(rutile, tmp_path, method, kind, unit, factor):
    """The files are telva-map's for the same method, grid, quantity and unit."""
    import subprocess
    from module_paths import BUILD
    result = rutile[0].compute(method=method)
    ours = tmp_path / f"ours.{kind}"
    getattr(result, f"write_{kind}")(ours, (4, 4, 3), "phic", unit)
    values = _map_values(ours, kind)
    assert np.allclose(values, result.grid((4, 4, 3)).ravel() * factor, rtol=1e-6, atol=1e-9)
    program = BUILD / "telva-map"
    if not program.exists():
        pytest.skip("telva-map is not built")
    theirs = tmp_path / f"theirs.{kind}"
    subprocess.run([str(program), str(ROOT / "examples/rutile.inp"), "--grid", "4,4,3",
                    "--method", method, "--unit", unit, f"--{kind}", str(theirs)], check=True,
                   capture_output=True, timeout=120)
    assert ours.read_text().split("\n")[2:] == theirs.read_text().split("\n")[2:]


SYMMETRY_CASES = [
    # The same NaCl cell through its full group and through all eight ions in P1.
    ("fm-3m text", ["x,y,z", "x,y+1/2,z+1/2", "x+1/2,y,z+1/2", "x+1/2,y+1/2,z"], True),
    ("fm-3m rows", [[(0, 1, 0), (0, 2, 0), (0, 3, 0)], [(0, 1, 0), (0.5, 2, 0), (0.5, 3, 0)],
                    [(0.5, 1, 0), (0, 2, 0), (0.5, 3, 0)], [(0.5, 1, 0), (0.5, 2, 0), (0, 3, 0)]],
     True),
]


@pytest.mark.parametrize("operations,inversion", [c[1:] for c in SYMMETRY_CASES],
                         ids=[c[0] for c in SYMMETRY_CASES])
def test_symmetry_equals_p1(operations, inversion):
    cell = (5.64, 5.64, 5.64, 90, 90, 90)
    sym = telva.Crystal(cell, operations, [("Na1", 1, 0, 0, 0), ("Cl1", -1, 0.5, 0, 0)],
                        inversion=inversion)
    assert [s.multiplicity for s in sym.sites] == [4, 4]
    assert sym.group_order == 8 and sym.atoms_in_cell == 8
    p1_sites = [("Na", 1, x, y, z) for x, y, z in
                [(0, 0, 0), (0, .5, .5), (.5, 0, .5), (.5, .5, 0)]]
    p1_sites += [("Cl", -1, x, y, z) for x, y, z in
                 [(.5, 0, 0), (.5, .5, .5), (0, 0, .5), (0, .5, 0)]]
    p1 = telva.Crystal(cell, ["x,y,z"], p1_sites)
    a = sym.compute(method="sphere", radius=1.2, qmax=3.0)
    b = p1.compute(method="sphere", radius=1.2, qmax=3.0)
    assert a.site_potentials == pytest.approx(b.site_potentials[[0, 4]], abs=1e-12)
    assert a.energy.per_cell.e2_per_angstrom == pytest.approx(
        b.energy.per_cell.e2_per_angstrom, abs=1e-10)
    # The lattice-sum constant of rock salt, 1.747565 (Glasser, J. Chem. Phys. 2012),
    # through the sphere method's truncation.
    assert -a.site_potentials[0] * 2.82 == pytest.approx(1.747565, abs=2e-3)


def test_defaults_as_telva_cif():
    crystal = telva.Crystal((5.64, 5.64, 5.64, 90, 90, 90), ["x,y,z"],
                            [("Na", 1, 0, 0, 0), ("Cl", -1, 0.5, 0.5, 0.5)])
    # R: 0.45 x the Na-Cl distance (sqrt(3)/2 a), rounded down to 0.001 A.
    radius = math.floor(0.45 * 5.64 * math.sqrt(3) / 2 * 1000) / 1000
    assert crystal.default_radius() == radius
    assert crystal.default_qmax() == telva._core.qmax_for_tolerance(1.0, radius, 1e-5)


@pytest.mark.parametrize("name", ["rutile", "fluorite", "corundum"])
def test_plain_values_default_like_the_cif(name):
    """A crystal of the CIF's own values gets telva-cif's R, and its qmax up
    to the last digit of the input file's field."""
    cif = telva.from_cif(ROOT / "examples" / f"{name}.cif")
    plain = telva.Crystal(cif.cell, cif.operation_rows,
                          [(s.label, s.charge, s.x, s.y, s.z, s.occupancy) for s in cif.sites],
                          inversion=cif.inversion)
    assert [s.weight for s in plain.sites] == pytest.approx([s.weight for s in cif.sites],
                                                            abs=1e-4)
    assert plain.default_radius() == cif.default_radius()
    assert plain.default_qmax() == pytest.approx(cif.default_qmax(), abs=0.01)
