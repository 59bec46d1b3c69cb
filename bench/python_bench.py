"""telva from Python against pymatgen's EwaldSummation: the site potentials of
the same crystals at the same accuracy, each checked against a converged
reference, in one run; the ratios printed. One core thread for telva, as
pymatgen uses one.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [TOLERANCE]
"""

import pathlib
import sys
import time

import numpy as np

import telva
from telva.result import ewald_available

ROOT = pathlib.Path(__file__).resolve().parents[1]


def structures():
    """(name, pymatgen Structure with oxidation states)."""
    from pymatgen.core import Lattice, Structure

    def decorated(s, charges):
        s.add_oxidation_state_by_element(charges)
        return s

    yield "NaCl", decorated(Structure.from_spacegroup(
        "Fm-3m", Lattice.cubic(5.64), ["Na", "Cl"], [[0, 0, 0], [.5, .5, .5]]),
        {"Na": 1, "Cl": -1})
    yield "CsCl", decorated(Structure.from_spacegroup(
        "Pm-3m", Lattice.cubic(4.123), ["Cs", "Cl"], [[0, 0, 0], [.5, .5, .5]]),
        {"Cs": 1, "Cl": -1})
    yield "CaF2", decorated(Structure.from_spacegroup(
        "Fm-3m", Lattice.cubic(5.463), ["Ca", "F"], [[0, 0, 0], [.25, .25, .25]]),
        {"Ca": 2, "F": -1})
    yield "TiO2", decorated(Structure.from_spacegroup(
        "P4_2/mnm", Lattice.tetragonal(4.594, 2.959), ["Ti", "O"], [[0, 0, 0], [.3053, .3053, 0]]),
        {"Ti": 4, "O": -2})
    yield "ZnO", decorated(Structure.from_spacegroup(
        "P6_3mc", Lattice.hexagonal(3.25, 5.207), ["Zn", "O"], [[1 / 3, 2 / 3, 0],
                                                               [1 / 3, 2 / 3, 0.382]]),
        {"Zn": 2, "O": -2})
    for n in (2, 3, 4, 5):
        rock = decorated(Structure.from_spacegroup(
            "Fm-3m", Lattice.cubic(5.64), ["Na", "Cl"], [[0, 0, 0], [.5, .5, .5]]),
            {"Na": 1, "Cl": -1})
        rock.make_supercell([n, n, n])
        yield f"NaCl x{n}^3 ({len(rock)})", rock


def pymatgen_potentials(structure, acc_factor):
    from pymatgen.analysis.ewald import EwaldSummation
    ewald = EwaldSummation(structure, acc_factor=acc_factor)
    q = np.array([site.specie.oxi_state for site in structure])
    return 2 * ewald.total_energy_matrix.sum(axis=1) / q / EwaldSummation.CONV_FACT


def best_time(work, repeats=3):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        value = work()
        best = min(best, time.perf_counter() - start)
    return best, value


def main(argv):
    tolerance = float(argv[0]) if argv else 1e-6
    if not ewald_available():
        print("python bench: this build has no ewald method; nothing to compare")
        return 0
    print(f"\ntelva from Python vs pymatgen EwaldSummation, site potentials within "
          f"{tolerance:g} e/A of a converged reference, one thread")
    print("telva: compute() and its site potentials; from_pymatgen, the conversion of the "
          "Structure, apart")
    print(f"{'crystal':22s} {'telva (ms)':>11s} {'err':>9s} {'convert (ms)':>13s} "
          f"{'pymatgen (ms)':>14s} {'err':>9s} {'acc_factor':>10s} {'ratio':>7s}")
    for name, structure in structures():
        t_convert, crystal = best_time(lambda: telva.from_pymatgen(structure))
        reference = crystal.compute(tolerance=1e-12, threads=1).site_potentials
        t_telva, phi = best_time(
            lambda: crystal.compute(tolerance=tolerance, threads=1).site_potentials)
        # pymatgen at the least acc_factor (in steps of 1) that reaches the accuracy.
        for acc in np.arange(4.0, 25.0, 1.0):
            t_pmg, pmg = best_time(lambda: pymatgen_potentials(structure, acc), repeats=1)
            if np.max(np.abs(pmg - reference)) <= tolerance:
                t_pmg, pmg = best_time(lambda: pymatgen_potentials(structure, acc))
                break
        err_telva = np.max(np.abs(phi - reference))
        err_pmg = np.max(np.abs(pmg - reference))
        print(f"{name:22s} {t_telva * 1e3:11.2f} {err_telva:9.1e} {t_convert * 1e3:13.2f} "
              f"{t_pmg * 1e3:14.2f} "
              f"{err_pmg:9.1e} {acc:10.0f} {t_pmg / t_telva:7.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
