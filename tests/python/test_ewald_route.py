"""The default method from Python: converged potentials that the sphere
method approaches, its settings reported, the same bits on every thread
count and from eight Python threads at once, and its refusals."""

import math
import threading

import numpy as np
import pytest

import telva
from module_paths import ROOT
from telva.result import ewald_available

pytestmark = pytest.mark.skipif(not ewald_available(), reason="no ewald method in this build")

EXAMPLES = sorted(p.stem for p in (ROOT / "examples").glob("*.inp"))


@pytest.mark.parametrize("name", EXAMPLES)
def test_sphere_method_approaches_converged_values(name):
    """For a neutral cell the two methods share their zero; the sphere method's
    sites differ only by its truncation (a few 1e-5 e/A at the examples' qmax)."""
    crystal = telva.read_input(ROOT / "examples" / f"{name}.inp")
    ewald = crystal.compute(tolerance=1e-10)
    sphere = crystal.compute(method="sphere")
    assert ewald.method == "ewald" and ewald.radius is None and ewald.qmax is None
    assert ewald.tolerance == 1e-10 and 0 < ewald.estimate <= 1e-10
    assert ewald.alpha > 0 and ewald.cutoff > 0 and ewald.table_entries > 0
    assert np.max(np.abs(ewald.site_potentials - sphere.site_potentials)) < 5e-3
    e = ewald.energy.per_asymmetric_unit.e2_per_angstrom
    # The Gaussian method weighs each site by the k/N its file's W rounds.
    weights = telva._core.weights_as_group_fractions([s.weight for s in crystal.sites],
                                                     crystal.group_order)
    assert e == pytest.approx(0.5 * sum(s.charge * w * phi for s, w, phi in
                                        zip(crystal.sites, weights, ewald.site_potentials)),
                              rel=1e-12)


@pytest.mark.parametrize("tolerance", [1e-4, 1e-6, 1e-8, 1e-10])
def test_tolerance_is_met_against_a_tighter_result(tolerance):
    crystal = telva.read_input(ROOT / "examples" / "corundum.inp")
    reference = crystal.compute(tolerance=1e-13).site_potentials
    result = crystal.compute(tolerance=tolerance).site_potentials
    assert np.max(np.abs(result - reference)) <= tolerance


def test_points_on_atoms_and_between():
    crystal = telva.read_input(ROOT / "examples" / "rocksalt.inp")
    result = crystal.compute()
    phiw, phic, neighbour, distance = result.at([[0, 0, 0], [0.25, 0.25, 0.25]])
    assert phic[0] == math.inf and phiw[0] == result.site_potentials[0]
    assert neighbour[0] == 0 and distance[0] == 0
    # Midway between the ions, by symmetry of rock salt, phic vanishes.
    assert abs(phic[1]) < 1e-8 and distance[1] == pytest.approx(5.64 * math.sqrt(3) / 4)


def _bits(result, points):
    phiw, phic, neighbour, distance = result.at(points)
    return (result.site_potentials.tobytes(), phiw.tobytes(), phic.tobytes(),
            neighbour.tobytes(), distance.tobytes())


def test_same_bits_for_every_thread_count_and_from_eight_threads():
    crystal = telva.read_input(ROOT / "examples" / "wurtzite.inp")
    points = np.random.default_rng(3).random((200, 3))
    reference = _bits(crystal.compute(threads=1), points)
    for threads in (2, 3, 8):
        assert _bits(crystal.compute(threads=threads), points) == reference
    results, errors = [None] * 8, []
    start = threading.Barrier(8)

    def work(i):
        try:
            start.wait(timeout=60)
            results[i] = _bits(crystal.compute(threads=1 + i % 4), points)
        except Exception as error:  # reported below
            errors.append(error)

    workers = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for w in workers:
        w.start()
    for w in workers:
        w.join(timeout=300)
    assert not errors and all(r == reference for r in results)


REFUSALS = [
    ("zero tolerance", dict(tolerance=0), ValueError, "tolerance"),
    ("infinite tolerance", dict(tolerance=math.inf), ValueError, "tolerance"),
    ("tolerance as text", dict(tolerance="1e-8"), TypeError, "tolerance"),
    ("memory of a few bytes", dict(max_memory=1000), MemoryError, "tolerance 1e-08"),
    ("threads zero", dict(threads=0), ValueError, "threads"),
]


@pytest.mark.parametrize("arguments,error,text", [r[1:] for r in REFUSALS],
                         ids=[r[0] for r in REFUSALS])
def test_refusals(arguments, error, text):
    crystal = telva.read_input(ROOT / "examples" / "corundum.inp")
    with pytest.raises(error, match=text):
        crystal.compute(**arguments)
