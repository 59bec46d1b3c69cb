"""telva.order from Python: a CIF path, a telva.Crystal with several sites at
one position, and a pymatgen Structure give the program's ranking; records
carry an ordered Crystal and Structure; bad input raises ValueError with the
program's text."""

import numpy as np
import pytest

import order_reference as ref
from order_runs import CASES, STRUCTURES, reference

telva = pytest.importorskip("telva")
pytestmark = pytest.mark.skipif(not hasattr(telva._core, "order"),
                                reason="the binding has no order")

NAXCOO2 = STRUCTURES / "naxcoo2.cif"


def test_path_gives_counts_records_and_orderings():
    total, distinct, operations, _, _, weights, _ = reference("naxcoo2")
    result = telva.order(str(NAXCOO2), supercell=CASES["naxcoo2"], lowest=100, threads=1)
    assert (result.configurations, result.distinct, result.operations) == \
        (total, distinct, operations)
    assert result.search == "exhaustive" and result.complete
    assert sorted(r.weight for r in result) == sorted(weights.values())
    # Summed over every distinct ordering: one, to rounding.
    assert sum(r.probability for r in result) == pytest.approx(1.0, rel=1e-9)
    best = result[0]
    assert best.rank == 1 and best.above_lowest_per_atom_ev == 0
    # The ordered crystal's own Ewald energy is the record's.
    energy = best.crystal.compute().energy.per_cell.ev
    assert energy == pytest.approx(best.energy_per_cell_ev, rel=1e-7)
    structure = best.structure
    assert len(structure) == len(best.labels) == 30
    assert ref.structure_ewald_sum(structure) * 14.3996517 == \
        pytest.approx(best.energy_per_cell_ev, rel=1e-8)


def _crystal_of_rocksalt(occupancy_mg=0.5):
    sites = [telva.Site("Mg1", 2, 0, 0, 0, occupancy=occupancy_mg),
             telva.Site("Ni1", 2, 0, 0, 0, occupancy=1 - occupancy_mg),
             telva.Site("O1", -2, 0.5, 0.5, 0.5)]
    operations = ["x,y,z", "-x,-y,z", "-x,y,-z", "x,-y,-z", "z,x,y", "z,-x,-y", "-z,-x,y",
                  "-z,x,-y", "y,z,x", "-y,z,-x", "y,-z,-x", "-y,-z,x", "y,x,-z", "-y,-x,-z",
                  "y,-x,z", "-y,x,z", "x,z,-y", "-x,z,y", "-x,-z,-y", "x,-z,y", "z,y,-x",
                  "z,-y,x", "-z,y,x", "-z,-y,-x"]
    centred = list(operations)
    for t in ("0,1/2,1/2", "1/2,0,1/2", "1/2,1/2,0"):
        shift = t.split(",")
        for op in operations:
            centred.append(",".join(f"{c}+{s}" if s != "0" else c
                                    for c, s in zip(op.split(","), shift)))
    return telva.Crystal((4.194, 4.194, 4.194, 90, 90, 90), centred, sites, inversion=True)


def test_crystal_and_structure_give_the_cif_ranking():
    from_cif = telva.order(str(STRUCTURES / "rocksalt_mgnio.cif"), supercell="2x2x1", lowest=200)
    from_crystal = telva.order(_crystal_of_rocksalt(), supercell="2x2x1", lowest=200)
    structure = ref.read_structure(STRUCTURES / "rocksalt_mgnio.cif")
    from_structure = telva.order(structure, supercell="2x2x1", lowest=200)
    for result in (from_crystal, from_structure):
        assert (result.configurations, result.distinct, result.operations) == \
            (from_cif.configurations, from_cif.distinct, from_cif.operations)
        # Every distinct ordering: the same energies and weights (ties in either order).
        assert [r.energy_per_cell_ev for r in result] == \
            pytest.approx([r.energy_per_cell_ev for r in from_cif], rel=1e-9)
        assert sorted((round(r.energy_per_cell_ev, 6), r.weight) for r in result) == \
            sorted((round(r.energy_per_cell_ev, 6), r.weight) for r in from_cif)


def test_charges_change_the_ranking():
    plain = telva.order(str(NAXCOO2), supercell="2x2x1", lowest=3)
    other = telva.order(str(NAXCOO2), supercell="2x2x1", lowest=3,
                        charges={"Na": 0.8, "Co": 3.4})
    assert plain.summary["charges"] != other.summary["charges"]
    assert plain[0].energy_per_cell_ev != pytest.approx(other[0].energy_per_cell_ev)


BAD = [
    ("no disorder", lambda: telva.order(str(STRUCTURES.parents[1] / "examples" / "rocksalt.cif")),
     "no disorder"),
    ("unbalanced", lambda: telva.order(str(NAXCOO2), charges={"Co": 3}), "not neutral"),
    ("determinant", lambda: telva.order(str(NAXCOO2), supercell=[1, 0, 0, 0, 1, 0, 0, 0, -1]),
     "determinant"),
    ("too many", lambda: telva.order(str(STRUCTURES / "pyrochlore_nacanb2o6f.cif"),
                                     supercell="2x1x1", search="exhaustive",
                                     max_configurations=1000), "max"),
    ("crystal read from a CIF", lambda: telva.order(telva.from_cif(
        str(STRUCTURES / "rocksalt_mgnio.cif"))), "give the CIF's path"),
    ("occupancy of a crystal", lambda: telva.order(_crystal_of_rocksalt(0.137),
                                                   occupancy_tolerance=1e-4, max_atoms=200),
     "supercell"),
]


@pytest.mark.parametrize("what,call,text", BAD, ids=[b[0] for b in BAD])
def test_bad_input_raises_value_error(what, call, text):
    with pytest.raises(ValueError, match=text):
        call()


def test_wrong_source_type_is_a_type_error():
    with pytest.raises(TypeError, match="CIF path"):
        telva.order(np.zeros(3))
    with pytest.raises(FileNotFoundError):
        telva.order(str(STRUCTURES / "missing.cif"))
