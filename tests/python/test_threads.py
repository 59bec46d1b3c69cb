"""Computations from several Python threads at once, and on any number of
core threads, give the same bits."""

import threading

import numpy as np
import pytest

import telva
from module_paths import ROOT

POINTS = np.random.default_rng(7).random((300, 3))


def _bits(result):
    phiw, phic, neighbour, distance = result.at(POINTS, threads=2)
    return (result.site_potentials.tobytes(), result.energy.per_cell.e2_per_angstrom,
            phiw.tobytes(), phic.tobytes(), neighbour.tobytes(), distance.tobytes())


@pytest.mark.parametrize("name", ["corundum", "wurtzite"])
def test_eight_python_threads_at_once(name):
    crystal = telva.read_input(ROOT / "examples" / f"{name}.inp")
    reference = _bits(crystal.compute(method="sphere", threads=1))
    results = [None] * 8
    errors = []
    start = threading.Barrier(8)

    def work(i):
        try:
            start.wait(timeout=60)
            results[i] = _bits(crystal.compute(method="sphere", threads=1 + i % 3))
        except Exception as error:  # reported below
            errors.append(error)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=300)
    assert not errors
    assert all(r == reference for r in results)


@pytest.mark.parametrize("threads", [None, 1, 2, 3, 7, 16])
def test_same_bits_for_every_thread_count(threads):
    crystal = telva.read_input(ROOT / "examples" / "rutile.inp")
    reference = _bits(crystal.compute(method="sphere", threads=1))
    assert _bits(crystal.compute(method="sphere", threads=threads)) == reference
