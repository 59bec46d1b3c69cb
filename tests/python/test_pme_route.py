"""The mesh method from Python: site potentials, points and maps within the
tolerance of the direct method, 'auto' keeping small cells on the direct
method bit for bit and taking the mesh for a large one, the same bits on
every thread count, and its refusals."""

import numpy as np
import pytest

import telva
from module_paths import ROOT
from telva.result import ewald_available

pytestmark = pytest.mark.skipif(not ewald_available(), reason="no ewald method in this build")

EXAMPLES = sorted(p.stem for p in (ROOT / "examples").glob("*.inp"))


def p1_cell(per_edge, seed=1, oblique=False, charged=False):
    """Rock salt's ions on a jittered grid of a P1 cell, like the C++ tests'."""
    rng = np.random.default_rng(seed)
    step = 2.82
    edges = per_edge * step * (1 + (0.1 * rng.uniform(-1, 1, 3) if oblique else np.zeros(3)))
    angles = 90 + (15 * rng.uniform(-1, 1, 3) if oblique else np.zeros(3))
    sites = []
    for i in range(per_edge):
        for j in range(per_edge):
            for k in range(per_edge):
                f = ((np.array([i, j, k]) + 0.25) / per_edge
                     + rng.uniform(-1, 1, 3) * 0.1 / per_edge)
                anion = (i + j + k) % 2 == 1
                sites.append(("Cl" if anion else "Na", -1.0 if anion else 1.0, *f))
    if charged:
        sites[0] = ("Na", 2.0, *sites[0][2:])
    return telva.Crystal((*edges, *angles), ["x,y,z"], sites)


SMALL_P1 = p1_cell(6, seed=2, oblique=True, charged=True)


@pytest.mark.parametrize("name", EXAMPLES + ["p1"])
@pytest.mark.parametrize("tolerance", [1e-4, 1e-6, 1e-8])
def test_mesh_agrees_with_the_direct_method(name, tolerance):
    crystal = SMALL_P1 if name == "p1" else telva.read_input(ROOT / "examples" / f"{name}.inp")
    direct = crystal.compute(method="ewald", tolerance=1e-10)
    mesh = crystal.compute(method="pme", tolerance=tolerance)
    assert mesh.method == "pme" and mesh.tolerance == tolerance
    assert 0 < mesh.estimate <= tolerance and mesh.alpha > 0 and mesh.cutoff > 0
    assert len(mesh.mesh) == 3 and min(mesh.mesh) >= mesh.spline_order >= 4
    assert direct.mesh is None and direct.spline_order is None
    assert np.max(np.abs(mesh.site_potentials - direct.site_potentials)) <= tolerance
    points = np.random.default_rng(3).uniform(-0.5, 1.5, (200, 3))
    for a, b in zip(mesh.at(points), direct.at(points)):
        np.testing.assert_allclose(a, b, rtol=0, atol=tolerance)
    np.testing.assert_allclose(mesh.grid(6, "phiw"), direct.grid(6, "phiw"), rtol=0,
                               atol=tolerance)


def test_auto_keeps_small_cells_on_the_direct_method_bit_for_bit():
    for name in EXAMPLES:
        crystal = telva.read_input(ROOT / "examples" / f"{name}.inp")
        auto, direct = crystal.compute(), crystal.compute(method="ewald")
        assert auto.method == "ewald"
        assert np.array_equal(auto.site_potentials, direct.site_potentials)


def test_auto_takes_the_mesh_for_a_large_cell():
    crystal = p1_cell(14)  # 2744 ions
    auto = crystal.compute(tolerance=1e-6)
    assert auto.method == "pme"
    direct = crystal.compute(method="ewald", tolerance=1e-9)
    assert np.max(np.abs(auto.site_potentials - direct.site_potentials)) <= 1e-6


def test_same_bits_for_every_thread_count(tmp_path):
    one = SMALL_P1.compute(method="pme", tolerance=1e-7, threads=1)
    points = np.random.default_rng(4).uniform(0, 1, (300, 3))
    for threads in (2, 3):
        many = SMALL_P1.compute(method="pme", tolerance=1e-7, threads=threads)
        assert np.array_equal(many.site_potentials, one.site_potentials)
        for a, b in zip(many.at(points), one.at(points)):
            assert np.array_equal(a, b, equal_nan=True)
        assert np.array_equal(many.grid(5), one.grid(5))
    one.write_cube(tmp_path / "map.cube", shape=5)
    assert (tmp_path / "map.cube").read_text().count("\n") > 10


@pytest.mark.parametrize("method", ["pme", "auto"])
@pytest.mark.parametrize("tolerance", [0, -1e-6, float("nan"), float("inf")])
def test_bad_tolerance_is_refused(method, tolerance):
    with pytest.raises(ValueError, match="tolerance"):
        SMALL_P1.compute(method=method, tolerance=tolerance)


def test_bad_method_and_memory_are_refused():
    with pytest.raises(ValueError, match="'auto', 'ewald', 'pme' or 'sphere'"):
        SMALL_P1.compute(method="mesh")
    with pytest.raises(telva.MemoryLimitError, match="mesh"):
        SMALL_P1.compute(method="pme", tolerance=1e-8, max_memory=100_000)
