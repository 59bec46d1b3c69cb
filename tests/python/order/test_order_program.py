"""telva-order against independent references on five disordered structures:
the counts (Burnside over spglib's group, brute force with canonical forms),
every written ordering's weight and Ewald energy, the lowest ordering of
pymatgen's transformation, and the refusals of bad input."""

import numpy as np
import pytest

import order_reference as ref
from order_runs import CASES, PROGRAM, STRUCTURES, configuration_of, matrix_of, records, \
    reference, run, summary

pytestmark = pytest.mark.skipif(not PROGRAM.exists(), reason="telva-order is not built")

# The project's e^2/A in eV (the energies of the program) and pymatgen's.
TELVA_EV = 14.3996517
PYMATGEN_EV = 14.39964547842567


@pytest.fixture(scope="module")
def ranked(tmp_path_factory):
    """Each case ranked once with every distinct ordering written."""
    cache = {}

    def get(name):
        if name not in cache:
            out = tmp_path_factory.mktemp(name)
            status, err = run([STRUCTURES / f"{name}.cif", "--supercell", CASES[name],
                               "--lowest", "100000", "--threads", "2"], out)
            assert status == 0, err
            cache[name] = out
        return cache[name]
    return get


@pytest.mark.parametrize("name", sorted(CASES))
def test_counts_equal_burnside_and_brute_force(name, ranked):
    total, distinct, operations, _, _, weights, _ = reference(name)
    assert len(weights) == distinct  # the two references agree
    out = ranked(name)
    s = summary(out)
    assert (s["configurations"], s["distinct"], s["operations"]) == (total, distinct, operations)
    assert s["search"] == "exhaustive" and s["complete"] is True
    rows = records(out)
    assert sorted(int(r["weight"]) for r in rows) == sorted(weights.values())
    energies = [float(r["energy_per_cell_ev"]) for r in rows]
    assert energies == sorted(energies)


@pytest.mark.parametrize("name", sorted(CASES))
def test_written_orderings_have_their_weight_and_energy(name, ranked):
    """Each written P1 CIF is one configuration of the reference supercell:
    its orbit under the group has the weight the table gives, no two files
    are the same ordering, and its Ewald energy is the table's."""
    _, _, _, orbits_counts, perms, weights, cell = reference(name)
    out = ranked(name)
    rows = records(out)
    codes = []
    for row in rows[:6] + rows[-2:]:
        lattice, frac, symbols, charges = ref.read_p1_cif(out / row["file"])
        config = configuration_of(cell, orbits_counts, frac, symbols)
        code = int(ref.canonical_codes(perms, orbits_counts, [config])[0])
        assert weights[code] == int(row["weight"]), row["file"]
        codes.append(code)
        expected = ref.ewald_sum(lattice, frac, charges)
        energy = float(row["energy_per_cell_ev"])
        assert energy / TELVA_EV == pytest.approx(expected, rel=1e-8), row["file"]
        assert energy == pytest.approx(expected * PYMATGEN_EV, rel=1e-6), row["file"]
    assert len(set(codes)) == len(codes)


@pytest.mark.parametrize("name", ["naxcoo2", "perovskite_srfetinbo3", "pyrochlore_nacanb2o6f",
                                  "spinel_mgfe2o4"])
def test_lowest_equals_pymatgen_transformation(name, ranked):
    """pymatgen's ordering transformation finds the same lowest energy, and
    its ordering is one of those at the lowest energy in the table."""
    _, _, _, orbits_counts, perms, _, cell = reference(name)
    (energy, best), = ref.pymatgen_lowest(STRUCTURES / f"{name}.cif", matrix_of(CASES[name]))
    rows = records(ranked(name))
    lowest = float(rows[0]["energy_per_cell_ev"])
    assert lowest / TELVA_EV == pytest.approx(energy / PYMATGEN_EV, rel=1e-8)
    symbols = [str(site.specie) for site in best]
    frac = best.lattice.get_fractional_coords(best.cart_coords)
    # pymatgen keeps the supercell's lattice: its fractional coordinates are ours.
    assert np.allclose(best.lattice.matrix, cell.lattice.matrix)
    code = int(ref.canonical_codes(perms, orbits_counts,
                                   [configuration_of(cell, orbits_counts, frac, symbols)])[0])
    at_lowest = []
    for row in rows:
        if float(row["energy_per_cell_ev"]) > lowest * (1 - 1e-9):
            break
        _, f, s, _ = ref.read_p1_cif(ranked(name) / row["file"])
        at_lowest.append(int(ref.canonical_codes(
            perms, orbits_counts, [configuration_of(cell, orbits_counts, f, s)])[0]))
    assert code in at_lowest


def test_large_count_equals_burnside(tmp_path):
    """The 176-site pyrochlore supercell: the count is exact before any search
    (a short stochastic search here; the complete ranking is a benchmark)."""
    total, distinct, operations, _, _ = ref.reference_counts(
        STRUCTURES / "pyrochlore_nacanb2o6f.cif", [2, 0, 0, 0, 1, 0, 0, 0, 1])
    assert (total, distinct, operations) == (601080390, 4705446, 128)
    status, err = run([STRUCTURES / "pyrochlore_nacanb2o6f.cif", "--supercell", "2x1x1",
                       "--search", "stochastic", "--steps", "2000", "--lowest", "1"], tmp_path)
    assert status == 0, err
    s = summary(tmp_path)
    assert (s["configurations"], s["distinct"], s["operations"]) == (total, distinct, operations)
    assert s["complete"] is False and s["visited"] >= 1
    assert any("not proven complete" in line.lower() for line in err)


@pytest.mark.parametrize("name,det", [("perovskite_srfetinbo3", 3), ("naxcoo2", 2),
                                      ("rocksalt_mgnio", 1)])
def test_auto_supercell_is_the_smallest(name, det, tmp_path):
    status, err = run([STRUCTURES / f"{name}.cif", "--lowest", "1"], tmp_path)
    assert status == 0, err
    assert round(abs(np.linalg.det(np.array(summary(tmp_path)["supercell"])))) == det


def test_auto_supercell_is_the_most_cubic_of_its_size(tmp_path):
    status, err = run([STRUCTURES / "perovskite_srfetinbo3.cif", "--lowest", "1"], tmp_path)
    assert status == 0, err
    edges = sorted(summary(tmp_path)["supercell_cell"][:3])
    assert edges[2] / edges[0] < 1.5  # 3x1x1 has 3


def test_threads_and_random_draws(tmp_path):
    """One thread or two give the same table; --random writes distinct orderings."""
    path = STRUCTURES / "naxcoo2.cif"
    for threads in (1, 2):
        status, err = run([path, "--supercell", "2x2x1", "--threads", threads],
                          tmp_path / str(threads))
        assert status == 0, err
    one, two = ((tmp_path / t / "orderings.csv").read_text() for t in ("1", "2"))
    assert one == two
    _, _, _, orbits_counts, perms, weights, cell = reference("naxcoo2")
    status, err = run([path, "--supercell", "2x2x1", "--random", "5", "--seed", "3"],
                      tmp_path / "random")
    assert status == 0, err
    rows = records(tmp_path / "random")
    codes = set()
    for row in rows:
        _, frac, symbols, _ = ref.read_p1_cif(tmp_path / "random" / row["file"])
        code = int(ref.canonical_codes(perms, orbits_counts,
                                       [configuration_of(cell, orbits_counts, frac, symbols)])[0])
        assert weights[code] == int(row["weight"])
        codes.add(code)
    assert len(rows) == 5 and len(codes) == 5


PYROCHLORE = STRUCTURES / "pyrochlore_nacanb2o6f.cif"
REFUSALS = [
    ("no disorder", [STRUCTURES.parents[1] / "examples" / "rocksalt.cif"], "no disorder"),
    ("fits no supercell", ["{bad}", "--occupancy-tolerance", "1e-4", "--max-atoms", "200"],
     "fit no supercell"),
    ("unbalanced", [PYROCHLORE, "--charge", "Ca=1"], "not neutral"),
    ("negative determinant", [PYROCHLORE, "--supercell", "1,0,0,0,1,0,0,0,-1"], "determinant"),
    ("zero determinant", [PYROCHLORE, "--supercell", "1,0,0,0,0,0,0,0,1"], "determinant"),
    ("too many", [PYROCHLORE, "--supercell", "2x1x1", "--search", "exhaustive",
                  "--max-configurations", "1000"], "--max-configurations"),
]


@pytest.mark.parametrize("what,args,text", REFUSALS, ids=[r[0] for r in REFUSALS])
def test_bad_input_is_refused_in_one_line(what, args, text, tmp_path):
    bad = tmp_path / "bad.cif"
    bad.write_text((STRUCTURES / "perovskite_srfetinbo3.cif").read_text()
                   .replace("0.3333", "0.137").replace("Nb1 Nb 0 0 0 0.137",
                                                       "Nb1 Nb 0 0 0 0.726"))
    args = [str(a).replace("{bad}", str(bad)) for a in args]
    status, err = run(args, tmp_path / "out")
    assert status != 0
    faults = [line for line in err if text in line]
    assert len(faults) == 1 and faults[0].startswith("telva-order: "), err
    assert not (tmp_path / "out" / "orderings.csv").exists()


def test_stochastic_search_finds_the_exhaustive_lowest(ranked, tmp_path):
    """On a cell small enough to check, the annealing finds the ordering the
    complete ranking puts first, and says the ranking is not proven."""
    name = "pyrochlore_nacanb2o6f"
    status, err = run([STRUCTURES / f"{name}.cif", "--supercell", CASES[name], "--search",
                       "stochastic", "--steps", "20000", "--lowest", "3"], tmp_path)
    assert status == 0, err
    s = summary(tmp_path)
    assert s["search"] == "stochastic" and s["complete"] is False
    assert 1 <= s["found_best"] <= s["runs"] and s["visited"] <= s["configurations"]
    found, exhaustive = records(tmp_path)[0], records(ranked(name))[0]
    assert float(found["energy_per_cell_ev"]) == pytest.approx(
        float(exhaustive["energy_per_cell_ev"]), rel=1e-12)
    assert found["weight"] == exhaustive["weight"]


def test_guessed_charges_are_the_formal_ones(ranked, tmp_path):
    """Without oxidation numbers in the CIF the run is refused, and
    --guess-charges finds Na+, Ca2+, Nb5+, O2-, F- and the same ranking."""
    name = "pyrochlore_nacanb2o6f"
    text = (STRUCTURES / f"{name}.cif").read_text()
    start = text.index("loop_\n_atom_type_symbol")
    end = text.index("loop_\n_atom_site_label")
    bare = tmp_path / "bare.cif"
    bare.write_text(text[:start] + text[end:])
    status, err = run([bare, "--supercell", "1x1x1"], tmp_path / "refused")
    faults = [line for line in err if line.startswith("telva-order: error:")]
    assert status != 0 and len(faults) == 1 and "no known charge" in faults[0], err
    assert not (tmp_path / "refused" / "orderings.csv").exists()
    status, err = run([bare, "--supercell", "1x1x1", "--guess-charges", "--lowest", "2"],
                      tmp_path / "guessed")
    assert status == 0, err
    s = summary(tmp_path / "guessed")
    assert s["charges_guessed"] is True
    assert {(c["element"], c["charge"]) for c in s["charges"]} == \
        {("Na", 1), ("Ca", 2), ("Nb", 5), ("O", -2), ("F", -1)}
    guessed, formal = records(tmp_path / "guessed")[0], records(ranked(name))[0]
    assert guessed["energy_per_cell_ev"] == formal["energy_per_cell_ev"]


def test_charge_refusal_suggests_a_telva_order_command(tmp_path):
    text = (STRUCTURES / "naxcoo2.cif").read_text()
    bare = tmp_path / "bare.cif"
    bare.write_text(text[:text.index("loop_\n_atom_type_symbol")]
                    + text[text.index("loop_\n_atom_site_label"):])
    status, err = run([bare], tmp_path / "out")
    assert status != 0 and not any("telva-cif" in line for line in err), err
