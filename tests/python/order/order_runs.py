"""Runs of the built telva-order for the order tests: the program's path, a
run's status, standard error and files, and the references of one case
computed once per session."""

from __future__ import annotations

import csv
import functools
import json
import subprocess
import sys
import pathlib

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from module_paths import BUILD, ROOT  # noqa: E402

import order_reference as ref  # noqa: E402

PROGRAM = BUILD / "telva-order"
STRUCTURES = ROOT / "tests" / "order"

# The five structures, each in a supercell small enough for brute force.
CASES = {
    "rocksalt_mgnio": "2x2x1",
    "spinel_mgfe2o4": "1x1x1",
    "pyrochlore_nacanb2o6f": "1x1x1",
    "naxcoo2": "2x2x1",
    "perovskite_srfetinbo3": "3x2x1",
}


def matrix_of(supercell: str) -> list[int]:
    a, b, c = (int(n) for n in supercell.split("x"))
    return [a, 0, 0, 0, b, 0, 0, 0, c]


def run(args, out_dir, timeout=120):
    """telva-order with `args` writing into out_dir: (status, stderr lines)."""
    done = subprocess.run([str(PROGRAM), *map(str, args), "-o", str(out_dir)],
                          capture_output=True, text=True, timeout=timeout)
    return done.returncode, done.stderr.splitlines()


def records(out_dir):
    with open(out_dir / "orderings.csv", newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f))


def summary(out_dir):
    return json.loads((out_dir / "summary.json").read_text(encoding="utf-8"))


@functools.lru_cache(maxsize=None)
def reference(name: str):
    """(configurations, distinct, operations, orbits_counts, perms, brute-force
    {code: weight}, the reference supercell Structure) of one case."""
    path = STRUCTURES / f"{name}.cif"
    matrix = matrix_of(CASES[name])
    total, distinct, operations, orbits_counts, perms = ref.reference_counts(path, matrix)
    weights = ref.distinct_by_canonical_form(perms, orbits_counts)
    cell = ref.supercell(ref.read_structure(path), matrix)
    return total, distinct, operations, orbits_counts, perms, weights, cell


def configuration_of(cell, orbits_counts, frac, symbols):
    """The species numbers over the disordered sites of the reference
    supercell `cell` that a written ordering (fractional positions and type
    symbols in the same supercell basis) puts there; a site without an atom
    holds the vacancy."""
    sites = [s for orbit_sites, _ in orbits_counts for s in orbit_sites]
    reference_frac = cell.frac_coords[sites]
    orbit_of = {s: k for k, (orbit_sites, _) in enumerate(orbits_counts) for s in orbit_sites}
    species = []
    for _, _, occupancy in ref.disordered_orbits(cell):
        species.append(sorted(occupancy))
    config = [None] * len(sites)
    for position, symbol in zip(frac, symbols):
        delta = reference_frac - position
        delta -= np.round(delta)
        j = int(np.argmin(np.abs(delta).sum(axis=1)))
        if np.abs(delta[j]).max() > 1e-4:
            continue  # a fixed site
        element = "".join(ch for ch in symbol if ch.isalpha())
        names = species[orbit_of[sites[j]]]
        matches = [k for k, name in enumerate(names)
                   if "".join(ch for ch in name if ch.isalpha()) == element]
        assert len(matches) == 1 and config[j] is None, (symbol, names)
        config[j] = matches[0]
    for j, value in enumerate(config):
        if value is None:
            config[j] = species[orbit_of[sites[j]]].index("vacancy")
    return config

