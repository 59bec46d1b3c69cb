"""Crystals from numpy arrays: from_arrays, and the ASE and pymatgen routes
that go through it, against the crystals the per-site route builds of the
same atoms (the same sites, the same default radius, the same potentials bit
for bit); bad arrays refused with a message naming what is wrong; a cell of
10^5 atoms built without a Site object."""

import math

import numpy as np
import pytest

import telva
from telva.result import ewald_available


def random_cell(n, seed, cell=(7.1, 8.3, 9.2, 77.0, 84.0, 101.0)):
    """A neutral triclinic P1 cell of n atoms, some on the cell's faces and
    corners (coordinates 0 and 1) and one beyond the cell."""
    rng = np.random.default_rng(seed)
    xyz = rng.uniform(0, 1, (n, 3))
    xyz[0] = (0.0, 0.0, 0.0)
    xyz[1] = (1.0, 0.5, 0.0)
    xyz[2] = (0.5, 1.0, 1.0)
    xyz[3] = (1.3, -0.2, 0.7)
    charges = np.where(np.arange(n) % 2 == 0, 1.0, -1.0)
    return list(cell), xyz, charges


def per_site(cell, xyz, charges, labels, elements=None, occupancies=None):
    """The same atoms as Site objects through Crystal(...)."""
    occupancies = np.ones(len(charges)) if occupancies is None else occupancies
    elements = [None] * len(charges) if elements is None else elements
    sites = [telva.Site(str(label), float(q), *map(float, p), occupancy=float(o),
                        element=element)
             for label, q, p, o, element in zip(labels, charges, xyz, occupancies, elements)]
    return telva.Crystal(cell, ["x,y,z"], sites)


def same_sites(a, b):
    fields = ("label", "element", "charge", "x", "y", "z", "occupancy", "multiplicity", "weight")
    for s, t in zip(a.sites, b.sites, strict=True):
        assert [getattr(s, f) for f in fields] == [getattr(t, f) for f in fields]


def same_crystal(a, b):
    """a (arrays) and b (per site): geometry and results bit for bit."""
    assert a.site_count == b.site_count
    assert a.default_radius() == b.default_radius()
    assert a.atoms_in_cell == b.atoms_in_cell
    assert a.default_qmax() == b.default_qmax()
    sphere = (a.compute(method="sphere", radius=0.9, qmax=3.0),
              b.compute(method="sphere", radius=0.9, qmax=3.0))
    assert sphere[0].site_potentials.tolist() == sphere[1].site_potentials.tolist()
    assert sphere[0].energy.per_cell.ev == sphere[1].energy.per_cell.ev
    if ewald_available():
        ewald = a.compute(tolerance=1e-6), b.compute(tolerance=1e-6)
        assert ewald[0].site_potentials.tolist() == ewald[1].site_potentials.tolist()
    same_sites(a, b)  # last: it makes a's Site objects


@pytest.mark.parametrize("n,seed", [(6, 1), (40, 2), (150, 3)])
def test_from_arrays_is_the_per_site_crystal(n, seed):
    cell, xyz, charges = random_cell(n, seed)
    labels = [f"A{i}" for i in range(n)]
    same_crystal(telva.from_arrays(cell, xyz, charges, labels),
                 per_site(cell, xyz, charges, labels))


def test_default_labels_and_elements():
    cell, xyz, charges = random_cell(5, 4)
    elements = ["Na", "Cl", "Na", "Cl", "Na"]
    crystal = telva.from_arrays(cell, xyz, charges, elements=elements)
    assert [s.label for s in crystal.sites] == ["Na1", "Cl1", "Na2", "Cl2", "Na3"]
    assert [s.element for s in crystal.sites] == elements
    plain = telva.from_arrays(cell, xyz, charges)
    assert [(s.label, s.element) for s in plain.sites] == [(f"X{i}", "") for i in range(1, 6)]
    named = telva.from_arrays(cell, xyz, charges, ["Fe1", "O2", "Fe3", "O4", "Mg5"])
    assert [s.element for s in named.sites] == ["Fe", "O", "Fe", "O", "Mg"]


def test_cell_matrix_and_partial_occupancy():
    cell, xyz, charges = random_cell(12, 5, cell=(6.0, 6.5, 7.0, 90.0, 90.0, 90.0))
    matrix = np.diag([6.0, 6.5, 7.0])
    occupancies = np.linspace(0.5, 1.0, 12)
    a = telva.from_arrays(matrix, xyz, charges, occupancies=occupancies)
    b = per_site(cell, xyz, charges, [f"X{i}" for i in range(1, 13)],
                 elements=[""] * 12, occupancies=occupancies)
    assert a.cell == pytest.approx(b.cell, abs=1e-12)
    assert [s.weight for s in a.sites] == [s.weight for s in b.sites]
    oblique = np.array([[5.0, 0, 0], [1.0, 6.0, 0], [0.5, 0.7, 7.0]])
    crystal = telva.from_arrays(oblique, xyz, charges)
    assert crystal.cell[0] == pytest.approx(5.0)
    assert crystal.cell[5] == pytest.approx(math.degrees(math.acos(1 / math.sqrt(37))))


def test_sites_once_made_are_the_crystal():
    cell, xyz, charges = random_cell(8, 6)
    crystal = telva.from_arrays(cell, xyz, charges)
    before = crystal.compute(method="sphere", radius=0.8, qmax=2.0).site_potentials
    crystal.sites[0].charge = 2.0
    crystal.sites[1].charge = -2.0
    after = crystal.compute(method="sphere", radius=0.8, qmax=2.0).site_potentials
    assert after[0] != before[0]


BAD = [
    ("NaN coordinate", dict(fractional=[[0, 0, 0], [0.5, math.nan, 0]]),
     "fractional coordinates of atom 1 must be finite"),
    ("coordinates (n, 2)", dict(fractional=[[0, 0], [0.5, 0.5]]), r"shape \(n, 3\)"),
    ("text coordinates", dict(fractional=[["a", "b", "c"], [0, 0, 0]]), "must be numbers"),
    ("charges too few", dict(charges=[1.0]), r"charges must be one per atom.*\(2,\)"),
    ("charges (n, 1)", dict(charges=[[1.0], [-1.0]]), "charges must be one per atom"),
    ("infinite charge", dict(charges=[math.inf, -1]), "charge of atom 0 must be a finite"),
    ("labels too many", dict(labels=["A", "B", "C"]), "labels must be one per atom"),
    ("labels not text", dict(labels=[1, 2]), "labels must be text"),
    ("occupancy 0", dict(occupancies=[1.0, 0.0]), "occupancy of atom 1 is 0"),
    ("five cell numbers", dict(cell=[5, 5, 5, 90, 90]), "six numbers"),
    ("flat cell matrix", dict(cell=[[5, 0, 0], [0, 5, 0], [5, 5, 0]]), "no volume"),
    ("NaN in cell", dict(cell=[5, 5, math.nan, 90, 90, 90]), "finite"),
    ("no atoms", dict(fractional=np.zeros((0, 3)), charges=[]), "no sites"),
]


@pytest.mark.parametrize("change,text", [b[1:] for b in BAD], ids=[b[0] for b in BAD])
def test_bad_arrays_refused(change, text):
    arguments = dict(cell=[5.0, 5.0, 5.0, 90, 90, 90], fractional=[[0, 0, 0], [0.5, 0.5, 0.5]],
                     charges=[1.0, -1.0])
    arguments.update(change)
    with pytest.raises(ValueError, match=text):
        telva.from_arrays(**arguments)


def test_a_crystal_of_arrays_pickles_after_a_computation():
    import pickle
    cell, xyz, charges = random_cell(10, 8)
    crystal = telva.from_arrays(cell, xyz, charges)
    first = crystal.compute(method="sphere", radius=0.8, qmax=2.0).site_potentials
    again = pickle.loads(pickle.dumps(crystal))
    assert again.compute(method="sphere", radius=0.8, qmax=2.0).site_potentials.tolist() == \
        first.tolist()
    assert again._site_list is None


def test_arrays_are_the_crystals_own():
    cell, xyz, charges = random_cell(6, 7)
    crystal = telva.from_arrays(cell, xyz, charges)
    radius = crystal.default_radius()
    xyz[:] = 0.0
    charges[:] = 0.0
    assert crystal.default_radius() == radius
    assert crystal.sites[1].charge == -1.0


def test_a_hundred_thousand_atoms_without_site_objects():
    n = 24  # 8 n^3 = 110,592 ions of rock salt in P1
    base = np.array([[0, 0, 0], [.5, .5, 0], [.5, 0, .5], [0, .5, .5],
                     [.5, 0, 0], [0, .5, 0], [0, 0, .5], [.5, .5, .5]])
    grid = np.stack(np.meshgrid(*[np.arange(n)] * 3, indexing="ij"), -1).reshape(-1, 1, 3)
    xyz = ((grid + base) / n).reshape(-1, 3)
    charges = np.tile([1.0, 1, 1, 1, -1, -1, -1, -1], n ** 3)
    crystal = telva.from_arrays([5.64 * n] * 3 + [90.0] * 3, xyz, charges)
    assert crystal._site_list is None
    assert crystal.site_count == 8 * n ** 3 and crystal.atoms_in_cell == 8 * n ** 3
    assert crystal.default_radius() == pytest.approx(0.45 * 2.82, abs=1e-3)
    assert crystal._site_list is None and "110592 sites" in repr(crystal)


ase = pytest.importorskip("ase")


def test_from_ase_is_the_per_site_crystal():
    from ase.build import bulk
    atoms = bulk("NaCl", "rocksalt", a=5.64, cubic=True).repeat((2, 1, 1))
    atoms.rattle(0.05, seed=3)
    symbols = atoms.get_chemical_symbols()
    charges = [1.0 if s == "Na" else -1.0 for s in symbols]
    counts = {}
    labels = []
    for s in symbols:
        counts[s] = counts.get(s, 0) + 1
        labels.append(f"{s}{counts[s]}")
    expected = per_site(tuple(float(v) for v in atoms.cell.cellpar()),
                        atoms.get_scaled_positions(wrap=False), charges, labels, symbols)
    for given in ({"Na": 1, "Cl": -1}, charges, np.array(charges)):
        same_crystal(telva.from_ase(atoms, given), expected)
    with pytest.raises(ValueError, match="finite"):
        telva.from_ase(atoms, [True] + charges[1:])


pymatgen_core = pytest.importorskip("pymatgen.core")


def test_from_pymatgen_is_the_per_site_crystal():
    lattice = pymatgen_core.Lattice.from_parameters(4.1, 5.3, 6.2, 81, 97, 104)
    structure = pymatgen_core.Structure(
        lattice, [{"Fe2+": 0.5, "Mg2+": 0.5}, "O2-", "Mg2+", "O2-"],
        [[0.0, 0.0, 0.0], [0.5, 0.5, 0.5], [0.25, 1.0, 0.3], [0.8, 0.1, 0.6]])
    rows = [("Fe1", 2, 0, 0.5, "Fe"), ("Mg1", 2, 0, 0.5, "Mg"), ("O1", -2, 1, 1.0, "O"),
            ("Mg2", 2, 2, 1.0, "Mg"), ("O2", -2, 3, 1.0, "O")]
    frac = structure.frac_coords
    expected = per_site(lattice.abc + lattice.angles, [frac[r[2]] for r in rows],
                        [r[1] for r in rows], [r[0] for r in rows], [r[4] for r in rows],
                        [r[3] for r in rows])
    crystal = telva.from_pymatgen(structure)
    assert crystal.formula == crystal.title == structure.composition.reduced_formula
    same_crystal(crystal, expected)
