"""Bad values at every entry point raise the ordinary Python exception with a
message that names what is wrong; none crashes the interpreter."""

import math

import numpy as np
import pytest

import telva
from module_paths import ROOT

ROCKSALT = ROOT / "examples" / "rocksalt.inp"
NACL_CELL = (5.64, 5.64, 5.64, 90, 90, 90)
NACL_SITES = [("Na", 1, 0, 0, 0), ("Cl", -1, 0.5, 0.5, 0.5)]


def nacl(**changes):
    values = dict(cell=NACL_CELL, operations=["x,y,z"], sites=NACL_SITES)
    values.update(changes)
    return telva.Crystal(values["cell"], values["operations"], values["sites"])


CRYSTAL_CASES = [
    ("cell of five numbers", dict(cell=(5, 5, 5, 90, 90)), ValueError, "six numbers"),
    ("cell of text", dict(cell="abc"), ValueError, "six numbers"),
    ("NaN edge", dict(cell=(math.nan, 5, 5, 90, 90, 90)), ValueError, "finite"),
    ("zero edge", dict(cell=(0, 5, 5, 90, 90, 90)), ValueError, "at least 1"),
    ("negative edge", dict(cell=(-5, 5, 5, 90, 90, 90)), ValueError, "at least 1"),
    ("infinite edge", dict(cell=(math.inf, 5, 5, 90, 90, 90)), ValueError, "finite"),
    ("flat cell", dict(cell=(5, 5, 5, 90, 90, 180)), ValueError, "between 0 and 180"),
    ("angles of no volume", dict(cell=(5, 5, 5, 150, 150, 60)), ValueError, "no cell"),
    ("no operations", dict(operations=[]), ValueError, "identity"),
    ("operations as one string", dict(operations="x,y,z"), TypeError, "list of operations"),
    ("operation not a triplet", dict(operations=["x,y"]), telva.ConversionError, "x,y"),
    ("operation of nonsense", dict(operations=["a,b,c"]), ValueError, "a,b,c"),
    ("rows of two", dict(operations=[[(0, 1, 0), (0, 2, 0)]]), ValueError, "three rows"),
    ("axis code beyond z", dict(operations=[[(0, 1, 0), (0, 2, 0), (0, 7, 0)]]), ValueError,
     "axis code 7"),
    ("fractional axis code", dict(operations=[[(0, 1.5, 0), (0, 2, 0), (0, 3, 0)]]), TypeError,
     "whole number"),
    ("NaN translation", dict(operations=[[(math.nan, 1, 0), (0, 2, 0), (0, 3, 0)]]),
     ValueError, "finite"),
    ("empty structure", dict(sites=[]), ValueError, "no sites"),
    ("NaN coordinate", dict(sites=[("Na", 1, math.nan, 0, 0)]), ValueError, "finite"),
    ("infinite charge", dict(sites=[("Na", math.inf, 0, 0, 0)]), ValueError, "finite"),
    ("charge as text", dict(sites=[("Na", "one", 0, 0, 0)]), TypeError, "number"),
    ("site of three values", dict(sites=[("Na", 1, 0)]), TypeError, "tuple"),
    ("occupancy above one", dict(sites=[("Na", 1, 0, 0, 0, 1.5)]), ValueError, "occupancy"),
    ("zero occupancy", dict(sites=[("Na", 1, 0, 0, 0, 0)]), ValueError, "occupancy"),
    ("unknown site field", dict(sites=[{"label": "Na", "charge": 1, "x": 0, "y": 0, "z": 0,
                                        "spin": 2}]), TypeError, "spin"),
]


@pytest.mark.parametrize("changes,error,text", [c[1:] for c in CRYSTAL_CASES],
                         ids=[c[0] for c in CRYSTAL_CASES])
def test_crystal_refuses(changes, error, text):
    with pytest.raises(error, match=text):
        nacl(**changes)


COMPUTE_CASES = [
    ("unknown method", dict(method="exact"), ValueError, "method"),
    ("zero radius", dict(method="sphere", radius=0), ValueError, "radius"),
    ("NaN radius", dict(method="sphere", radius=math.nan), ValueError, "radius"),
    ("tiny radius", dict(method="sphere", radius=1e-300, qmax=2), ValueError,
     "not a finite number"),
    ("huge radius", dict(method="sphere", radius=1e300, qmax=2), ValueError,
     "not a finite number"),
    ("radius as text", dict(method="sphere", radius="1"), TypeError, "radius"),
    ("infinite qmax", dict(method="sphere", qmax=math.inf), ValueError, "qmax"),
    ("negative qmax", dict(method="sphere", qmax=-1), ValueError, "qmax"),
    ("absurd qmax", dict(method="sphere", qmax=1e6), MemoryError, "insufficient memory"),
    ("qmax beyond max_memory", dict(method="sphere", qmax=3, max_memory=1000), ValueError,
     "limit"),
    ("zero max_memory", dict(method="sphere", max_memory=0), ValueError, "max_memory"),
    ("threads zero", dict(method="sphere", threads=0), ValueError, "threads"),
    ("threads 1000", dict(method="sphere", threads=1000), ValueError, "threads"),
    ("threads as text", dict(method="sphere", threads="2"), TypeError, "threads"),
    ("negative tolerance", dict(tolerance=-1), ValueError, "tolerance"),
    ("NaN tolerance", dict(tolerance=math.nan), ValueError, "tolerance"),
]


@pytest.mark.parametrize("arguments,error,text", [c[1:] for c in COMPUTE_CASES],
                         ids=[c[0] for c in COMPUTE_CASES])
def test_compute_refuses(arguments, error, text):
    with pytest.raises(error, match=text):
        nacl().compute(**arguments)


def test_lone_charged_atom_has_no_default_radius():
    crystal = telva.Crystal(NACL_CELL, ["x,y,z"], [("Na", 1, 0, 0, 0)])
    with pytest.raises(ValueError, match="no two charged atoms"):
        crystal.compute(method="sphere")
    assert np.isfinite(crystal.compute(method="sphere", radius=1.0).site_potentials).all()


@pytest.fixture(scope="module")
def sphere_result():
    return telva.read_input(ROCKSALT).compute(method="sphere")


POINT_CASES = [
    ("flat list", [0.1, 0.2, 0.3], ValueError, r"\(n, 3\)"),
    ("two columns", [[0.1, 0.2]], ValueError, r"\(n, 3\)"),
    ("three dimensions", np.zeros((2, 3, 1)), ValueError, r"\(n, 3\)"),
    ("NaN point", [[math.nan, 0, 0]], ValueError, "finite"),
    ("infinite point", [[math.inf, 0, 0]], ValueError, "finite"),
    ("text", [["a", "b", "c"]], ValueError, ""),
    ("far away", [[1e300, 0, 0]], ValueError, "not a finite number"),
]


@pytest.mark.parametrize("points,error,text", [c[1:] for c in POINT_CASES],
                         ids=[c[0] for c in POINT_CASES])
def test_points_refused(sphere_result, points, error, text):
    with pytest.raises(error, match=text):
        sphere_result.at(points)


GRID_CASES = [
    ("zero size", 0, "phic", ValueError, "at least 1"),
    ("two sizes", (4, 4), "phic", ValueError, "three"),
    ("fractional size", (4, 4, 4.5), "phic", ValueError, "three whole"),
    ("unknown quantity", 4, "charge", ValueError, "quantity"),
    ("beyond memory", 10000, "phic", MemoryError, "memory"),
]


@pytest.mark.parametrize("shape,quantity,error,text", [c[1:] for c in GRID_CASES],
                         ids=[c[0] for c in GRID_CASES])
def test_grid_refused(sphere_result, shape, quantity, error, text):
    with pytest.raises(error, match=text):
        sphere_result.grid(shape, quantity)


def test_empty_point_list(sphere_result):
    phiw, phic, neighbour, distance = sphere_result.at(np.zeros((0, 3)))
    assert phiw.shape == phic.shape == neighbour.shape == distance.shape == (0,)


def _write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return path


def test_read_input_refuses(tmp_path):
    with pytest.raises(FileNotFoundError):
        telva.read_input(tmp_path / "missing.inp")
    with pytest.raises(IsADirectoryError):
        telva.read_input(tmp_path)
    with pytest.raises(OSError, match="regular file"):
        telva.read_input("/dev/zero")
    with pytest.raises(OSError, match="regular file"):
        telva.from_cif("/dev/zero")
    with pytest.raises(ValueError, match="end-of-file"):
        telva.read_input(_write(tmp_path, "short.inp", "title\n  1.00  2.00\n"))
    with pytest.raises(ValueError, match="describe no cell"):
        telva.read_input(ROOT / "tests/end_to_end/cases/refused_lattice_flat/input.inp")
    with pytest.raises(ValueError, match="radius"):
        telva.read_input(ROOT / "tests/end_to_end/cases/refused_radius_zero/input.inp")
    with pytest.raises(ValueError, match="conversion"):
        telva.read_input(ROOT / "tests/end_to_end/cases/conversion_error_in_lattice/input.inp")


def test_read_input_has_no_listing_capacities(tmp_path):
    """The listing stops at 300 sites; the library reads and computes on."""
    count = 400
    records = ["400 alternating charges on a line", "  0.40  1.00", f"  1{count:3d}  0",
               "     40.0      5.0      5.0     90.0     90.0     90.0",
               "        0.0 1 0        0.0 2 0        0.0 3 0"]
    for i in range(count):
        charge = 1.0 if i % 2 == 0 else -1.0
        records.append(f"{'A' + str(i):8s} {charge:9.4f}{1.0:9.4f}{i / count:9.4f}"
                       f"{0.0:9.4f}{0.0:9.4f}")
    path = _write(tmp_path, "many.inp", "\n".join(records) + "\n")
    crystal = telva.read_input(path)
    assert len(crystal.sites) == count
    potentials = crystal.compute(method="sphere").site_potentials
    assert potentials.shape == (count,) and np.isfinite(potentials).all()
    # Every ion of one sign sits alike on the line.
    assert np.allclose(potentials[0::2], potentials[0], rtol=0, atol=1e-9)


def test_non_finite_results_refused():
    """What the listing program stops on, Python refuses with its text."""
    crystal = telva.read_input(ROOT / "tests/end_to_end/cases/not_finite_huge_charges/input.inp")
    with pytest.raises(ValueError, match="not a finite number"):
        crystal.compute(method="sphere")


CIF_NACL = """data_nacl
_cell_length_a 5.64
_cell_length_b 5.64
_cell_length_c 5.64
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_symmetry_space_group_name_H-M 'F m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Na1 Na 0 0 0
Cl1 Cl 0.5 0.5 0.5
"""

CIF_CASES = [
    ("no charges", {}, telva.ConversionError, "Na1"),
    ("charge of no site, strict", {"charges": {"Na": 1, "Cl": -1, "Xx": 2}, "strict": True},
     telva.ConversionError, "no site of element Xx; --charge Xx=2 not used"),
    ("charge as text", {"charges": {"Na": "one"}}, TypeError, "number"),
    ("NaN charge", {"charges": {"Na": math.nan}}, ValueError, "finite"),
    ("charges as a list", {"charges": [1, -1]}, TypeError, "dict"),
    ("charged cell, strict", {"charges": {"Na": 1, "Cl": -2}, "strict": True},
     telva.ConversionError, "not neutral"),
    ("no such block", {"charges": {"Na": 1, "Cl": -1}, "block": "kcl"}, telva.ConversionError,
     "kcl"),
    ("block not text", {"charges": {"Na": 1, "Cl": -1}, "block": 3}, TypeError, "block"),
]


@pytest.mark.parametrize("arguments,error,text", [c[1:] for c in CIF_CASES],
                         ids=[c[0] for c in CIF_CASES])
def test_from_cif_refuses(tmp_path, arguments, error, text):
    path = _write(tmp_path, "nacl.cif", CIF_NACL)
    with pytest.raises(error, match=text) as caught:
        telva.from_cif(path, **arguments)
    if error is telva.ConversionError:
        assert str(caught.value).startswith(str(path) + ": ")
        assert isinstance(caught.value, ValueError)


def test_from_cif_warns_of_a_charge_that_names_no_site(tmp_path):
    """The same charges given to a batch of CIFs: one that names no site is
    told and left out, as telva-cif does."""
    path = _write(tmp_path, "nacl.cif", CIF_NACL)
    with pytest.warns(UserWarning, match="no site of element Xx; --charge Xx=2 not used"):
        crystal = telva.from_cif(path, charges={"Na": 1, "Cl": -1, "Xx": 2})
    assert [s.charge for s in crystal.sites] == [1, -1]


def test_from_cif_files(tmp_path):
    with pytest.raises(FileNotFoundError):
        telva.from_cif(tmp_path / "missing.cif")
    with pytest.raises(telva.ConversionError):
        telva.from_cif(_write(tmp_path, "empty.cif", ""))
    with pytest.raises(telva.ConversionError):
        telva.from_cif(_write(tmp_path, "binary.cif", "\x00\x01\x02 data_"))


def test_from_cif_guesses_and_names_charges(tmp_path):
    path = _write(tmp_path, "nacl.cif", CIF_NACL)
    guessed = telva.from_cif(path, guess_charges=True, block="nacl")
    assert [s.charge for s in guessed.sites] == [1, -1]
    scoped = telva.from_cif(path, charges={"element:Na": 1, "label:Cl1": -1})
    assert [s.charge for s in scoped.sites] == [1, -1]


def test_from_cif_charged_cell_warns(tmp_path):
    path = _write(tmp_path, "nacl.cif", CIF_NACL)
    with pytest.warns(UserWarning, match="not neutral"):
        crystal = telva.from_cif(path, charges={"Na": 1, "Cl": -2})
    assert any("not neutral" in w for w in crystal.warnings)
    ok = telva.from_cif(path, charges={"Na": 1, "Cl1": -1})
    assert [s.charge for s in ok.sites] == [1, -1]
    assert [s.multiplicity for s in ok.sites] == [4, 4] and ok.atoms_in_cell == 8


def test_map_files_refused(sphere_result, tmp_path):
    with pytest.raises(OSError, match="cannot write"):
        sphere_result.write_cube(tmp_path / "no" / "such" / "map.cube", 4)
    with pytest.raises(OSError, match="folder"):
        sphere_result.write_cube(tmp_path, 4)
    target = tmp_path / "map.xsf"
    target.write_text("kept")
    with pytest.raises(ValueError):
        sphere_result.write_xsf(target, (4, 4, 0))
    with pytest.raises(ValueError, match="unit"):
        sphere_result.write_xsf(target, 4, unit="mV")
    assert target.read_text() == "kept"
    assert [p.name for p in tmp_path.iterdir()] == ["map.xsf"]


def test_max_memory_bounds_points_and_grids():
    result = telva.read_input(ROCKSALT).compute(method="sphere", max_memory=10**7)
    assert result.grid(8).shape == (8, 8, 8)
    with pytest.raises(telva.MemoryLimitError, match="grid"):
        result.grid(100)
    with pytest.raises(MemoryError, match="points"):
        result.at(np.zeros((200_000, 3)))
