"""The pymatgen and ASE routes: the structures' charges and occupancies, the
libraries imported only when used, and pymatgen's own Ewald sum."""

import math
import subprocess
import sys

import numpy as np
import pytest

import telva
from telva.result import ewald_available

pymatgen_core = pytest.importorskip("pymatgen.core")
from pymatgen.analysis.ewald import EwaldSummation  # noqa: E402


def rocksalt():
    s = pymatgen_core.Structure.from_spacegroup(
        "Fm-3m", pymatgen_core.Lattice.cubic(5.64), ["Na", "Cl"], [[0, 0, 0], [0.5, 0.5, 0.5]])
    s.add_oxidation_state_by_element({"Na": 1, "Cl": -1})
    return s


def rutile():
    s = pymatgen_core.Structure.from_spacegroup(
        "P4_2/mnm", pymatgen_core.Lattice.tetragonal(4.594, 2.959), ["Ti", "O"],
        [[0, 0, 0], [0.3053, 0.3053, 0]])
    s.add_oxidation_state_by_element({"Ti": 4, "O": -2})
    return s


def triclinic():
    lattice = pymatgen_core.Lattice.from_parameters(4.1, 5.3, 6.2, 81, 97, 104)
    s = pymatgen_core.Structure(lattice, ["Mg", "Mg", "O", "O"],
                                [[0.1, 0.2, 0.3], [0.6, 0.7, 0.8], [0.4, 0.1, 0.6],
                                 [0.9, 0.55, 0.05]])
    s.add_oxidation_state_by_element({"Mg": 2, "O": -2})
    return s


def disordered():
    s = pymatgen_core.Structure(pymatgen_core.Lattice.cubic(4.2),
                                [{"Fe2+": 0.5, "Mg2+": 0.5}, "O2-"],
                                [[0, 0, 0], [0.5, 0.5, 0.5]])
    s.make_supercell([2, 1, 1])
    return s


def pymatgen_potentials(structure):
    """phi_i in e/A from pymatgen's energy matrix at its tightest accuracy: its
    row i sums to 0.5 q_i phi_i in eV, q_i the occupancy-weighted charge."""
    ewald = EwaldSummation(structure, acc_factor=16.0)
    q = np.array([sum(sp.oxi_state * amount for sp, amount in site.species.items())
                  for site in structure])
    return 2 * ewald.total_energy_matrix.sum(axis=1) / q / EwaldSummation.CONV_FACT


def first_species(structure):
    """The index of each structure site's first telva site (one per species)."""
    firsts, index = [], 0
    for site in structure:
        firsts.append(index)
        index += len(site.species)
    return firsts


def test_charges_and_labels_from_structure():
    crystal = telva.from_pymatgen(rutile())
    assert crystal.operations == 1 and len(crystal.sites) == 6
    assert [s.element for s in crystal.sites] == ["Ti", "Ti", "O", "O", "O", "O"]
    assert [s.label for s in crystal.sites][:3] == ["Ti1", "Ti2", "O1"]
    assert [s.charge for s in crystal.sites] == [4, 4, -2, -2, -2, -2]
    assert crystal.atoms_in_cell == 6
    assert crystal.cell == pytest.approx((4.594, 4.594, 2.959, 90, 90, 90))


def test_partial_occupancy():
    s = pymatgen_core.Structure(pymatgen_core.Lattice.cubic(4.2),
                                [{"Fe2+": 0.5, "Mg2+": 0.5}, "O2-"],
                                [[0, 0, 0], [0.5, 0.5, 0.5]])
    crystal = telva.from_pymatgen(s)
    assert [(x.element, x.occupancy, x.weight) for x in crystal.sites] == [
        ("Fe", 0.5, 0.5), ("Mg", 0.5, 0.5), ("O", 1.0, 1.0)]
    assert crystal.atoms_in_cell == 2


def test_sphere_route_agrees_with_symmetric_input():
    from_structure = telva.from_pymatgen(rutile()).compute(method="sphere", radius=0.95,
                                                            qmax=8.0)
    from module_paths import ROOT
    listing_crystal = telva.read_input(ROOT / "examples/rutile.inp")
    direct = listing_crystal.compute(method="sphere", radius=0.95, qmax=8.0)
    assert from_structure.site_potentials[[0, 2]] == pytest.approx(
        direct.site_potentials, abs=1e-9)


@pytest.mark.parametrize("build", [rocksalt, rutile, triclinic, disordered])
def test_default_method_against_pymatgen(build):
    structure = build()
    reference = pymatgen_potentials(structure)
    crystal = telva.from_pymatgen(structure)
    firsts = first_species(structure)
    # The sphere method reaches the converged values only to its truncation.
    sphere = crystal.compute(method="sphere").site_potentials[firsts]
    assert sphere == pytest.approx(reference, abs=2e-3)
    if not ewald_available():
        pytest.skip("this build has no ewald method")
    result = crystal.compute()
    assert result.method == "ewald" and result.tolerance == 1e-8
    assert np.max(np.abs(result.site_potentials[firsts] - reference)) < 1e-7


REFUSALS = [
    ("no oxidation states", lambda: pymatgen_core.Structure(
        pymatgen_core.Lattice.cubic(4), ["Na"], [[0, 0, 0]]), ValueError, "oxidation state"),
    ("not a structure", lambda: "NaCl", TypeError, "Structure"),
    ("empty structure", lambda: pymatgen_core.Structure(pymatgen_core.Lattice.cubic(4), [], []),
     ValueError, "no sites"),
]


@pytest.mark.parametrize("make,error,text", [r[1:] for r in REFUSALS], ids=[r[0] for r in REFUSALS])
def test_from_pymatgen_refuses(make, error, text):
    with pytest.raises(error, match=text):
        telva.from_pymatgen(make())


ase = pytest.importorskip("ase")


def nacl_atoms():
    from ase.build import bulk
    return bulk("NaCl", "rocksalt", a=5.64, cubic=True)


def test_from_ase_charges_by_element_and_by_atom():
    atoms = nacl_atoms()
    by_element = telva.from_ase(atoms, {"Na": 1, "Cl": -1})
    by_atom = telva.from_ase(atoms, [1 if s == "Na" else -1 for s in atoms.get_chemical_symbols()])
    a = by_element.compute(method="sphere", radius=1.2, qmax=3)
    b = by_atom.compute(method="sphere", radius=1.2, qmax=3)
    assert a.site_potentials.tolist() == b.site_potentials.tolist()
    assert len(by_element.sites) == 8 and by_element.atoms_in_cell == 8


ASE_REFUSALS = [
    ("charge missing", lambda: (nacl_atoms(), {"Na": 1}), ValueError, "Cl"),
    ("too few charges", lambda: (nacl_atoms(), [1, -1]), ValueError, "one per atom"),
    ("NaN charge", lambda: (nacl_atoms(), {"Na": math.nan, "Cl": -1}), ValueError, "finite"),
    ("no cell", lambda: (ase.Atoms("NaCl", positions=[(0, 0, 0), (2.8, 0, 0)]), [1, -1]),
     ValueError, "cell"),
    ("not atoms", lambda: ("NaCl", [1, -1]), TypeError, "Atoms"),
]


@pytest.mark.parametrize("make,error,text", [r[1:] for r in ASE_REFUSALS],
                         ids=[r[0] for r in ASE_REFUSALS])
def test_from_ase_refuses(make, error, text):
    atoms, charges = make()
    with pytest.raises(error, match=text):
        telva.from_ase(atoms, charges)


def test_libraries_imported_only_when_used():
    code = ("import sys, telva; telva.read_input; "
            "print('pymatgen' in sys.modules, 'ase' in sys.modules)")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         timeout=120, env=_env())
    assert out.stdout.split() == ["False", "False"], out.stderr


def test_missing_library_named(monkeypatch):
    # A module set to None in sys.modules cannot be imported.
    monkeypatch.setitem(sys.modules, "ase", None)
    monkeypatch.setitem(sys.modules, "pymatgen.core", None)
    with pytest.raises(ImportError, match="from_ase needs ASE"):
        telva.from_ase(None, [])
    with pytest.raises(ImportError, match="from_pymatgen needs pymatgen"):
        telva.from_pymatgen(None)


def _env():
    import os
    import telva as package
    return dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(package.__file__)))
