#!/usr/bin/env python3
"""Writes the benchmark and test crystals into bench/crystals/.

Ten ionic crystals in their conventional cells with their full space-group
symmetry, and rock-salt supercells of 64, 216, 512 and 1000 atoms in P1. The
records are those of the example inputs (tools/make-examples.py writes them;
its helpers are reused here). Each space group is checked to close under
composition modulo the lattice, and each site's weight W is its number of
distinct images in the cell over the number of operations (inverted
companions included), counted here rather than copied from the tables.

    bench/make-crystals.py            write the files
    bench/make-crystals.py --check    compare the files with what would be
                                      written; exit 1 on any difference

Standard library only.
"""

import importlib.util
import sys
from fractions import Fraction as F
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
OUT = ROOT / "bench" / "crystals"

_spec = importlib.util.spec_from_file_location("make_examples", ROOT / "tools" / "make-examples.py")
ex = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(ex)

HALF = F(1, 2)
QUARTER = F(1, 4)

# Fd-3m, origin choice 2 (at the centre -3m): the 24 operations that, each
# with its inverse through the origin, make the 48 of one coset of the F
# centring (International Tables Vol. A, No. 227).
FD3M_HALF = [
    "x,y,z", "-x+3/4,-y+1/4,z+1/2", "-x+1/4,y+1/2,-z+3/4", "x+1/2,-y+3/4,-z+1/4",
    "z,x,y", "z+1/2,-x+3/4,-y+1/4", "-z+3/4,-x+1/4,y+1/2", "-z+1/4,x+1/2,-y+3/4",
    "y,z,x", "-y+1/4,z+1/2,-x+3/4", "y+1/2,-z+3/4,-x+1/4", "-y+3/4,-z+1/4,x+1/2",
    "y+3/4,x+1/4,-z+1/2", "-y,-x,-z", "y+1/4,-x+1/2,z+3/4", "-y+1/2,x+3/4,z+1/4",
    "x+3/4,z+1/4,-y+1/2", "-x+1/2,z+3/4,y+1/4", "-x,-z,-y", "x+1/4,-z+1/2,y+3/4",
    "z+3/4,y+1/4,-x+1/2", "z+1/4,-y+1/2,x+3/4", "-z+1/2,y+3/4,x+1/4", "-z,-y,-x",
]

# Pnma, origin at -1: four operations, each with its inverse through the origin.
PNMA_HALF = ["x,y,z", "-x+1/2,-y,z+1/2", "-x,y+1/2,-z", "x+1/2,-y+1/2,-z+1/2"]

IDENTITY = ["x,y,z"]


def crystal(file, title, radius, qmax, cell, ops, inversion, sites, positions=()):
    """sites: (label, charge, x, y, z); W follows from the images."""
    return dict(file=file, title=title, radius=radius, qmax=qmax, cell=cell, ops=ops,
                inversion=inversion, sites=sites, positions=list(positions))


def examples_crystal(name):
    for c in ex.CRYSTALS:
        if c["file"] == name:
            return c
    raise KeyError(name)


def from_example(file, example, title=None):
    """An example crystal with its sites' multiplicities dropped (recounted)."""
    c = examples_crystal(example)
    return crystal(file, title or c["title"], c["radius"], c["qmax"], c["cell"], c["ops"],
                   c["inversion"], [(s[0], s[1], s[3], s[4], s[5]) for s in c["sites"]],
                   c["positions"])


def rock_salt_supercell(n):
    a = F("5.64")
    atoms = []
    for i in range(n):
        for j in range(n):
            for k in range(n):
                for dx, dy, dz, label, charge in (
                    (0, 0, 0, "Na", 1), (0, HALF, HALF, "Na", 1),
                    (HALF, 0, HALF, "Na", 1), (HALF, HALF, 0, "Na", 1),
                    (HALF, 0, 0, "Cl", -1), (0, HALF, 0, "Cl", -1),
                    (0, 0, HALF, "Cl", -1), (HALF, HALF, HALF, "Cl", -1),
                ):
                    atoms.append((f"{label}{len(atoms) + 1}", charge,
                                  (i + F(dx)) / n, (j + F(dy)) / n, (k + F(dz)) / n))
    edge = f"{float(a * n):g}"
    group = "P1"
    inversion = 0
    if len(atoms) > 999:
        # The site count has three columns: list one atom of each pair related
        # by the inversion through the origin (P-1), which the flag restores.
        group = "P-1"
        inversion = 1
        atoms = [t for t in atoms
                 if t[2:] <= ex.reduce_translation(tuple(-v for v in t[2:]))]
    return crystal(f"rocksalt_{8 * n ** 3}.inp",
                   f"Rock salt NaCl, {n}x{n}x{n} conventional cells in {group}, a = {edge} A",
                   "1.0", "4.0", (edge, edge, edge, "90.0", "90.0", "90.0"),
                   ex.ops(IDENTITY), inversion, atoms, [(F("0.1"), F("0.2"), F("0.3"))])


CRYSTALS = [
    from_example("nacl.inp", "rocksalt_fm3m.inp"),
    from_example("cscl.inp", "cscl.inp"),
    from_example("caf2.inp", "fluorite.inp"),
    from_example("zns.inp", "zincblende.inp"),
    from_example("zno.inp", "wurtzite.inp"),
    from_example("tio2.inp", "rutile.inp"),
    crystal("srtio3.inp", "Strontium titanate SrTiO3, Pm-3m, a=3.905 A (cubic perovskite)",
            "0.9", "10.0", ("3.905", "3.905", "3.905", "90.0", "90.0", "90.0"),
            ex.ops(ex.ROTATIONS_432), 1,
            [("Ti", 4, 0, 0, 0), ("Sr", 2, HALF, HALF, HALF), ("O", -2, HALF, 0, 0)],
            [(0, 0, 0), (QUARTER, QUARTER, QUARTER), (F("0.1"), F("0.2"), F("0.3"))]),
    from_example("al2o3.inp", "corundum.inp"),
    crystal("spinel.inp", "Spinel MgAl2O4, Fd-3m origin 2, a=8.0832 A, x(O)=0.2624",
            "0.9", "8.0", ("8.0832", "8.0832", "8.0832", "90.0", "90.0", "90.0"),
            ex.ops(FD3M_HALF, ex.F_CENTRING), 1,
            [("Mg", 2, F(1, 8), F(1, 8), F(1, 8)), ("Al", 3, HALF, HALF, HALF),
             ("O", -2, F("0.2624"), F("0.2624"), F("0.2624"))],
            [(F(1, 8), F(1, 8), F(1, 8)), (0, 0, 0), (F(3, 8), F(3, 8), F(3, 8)),
             (F("0.1"), F("0.2"), F("0.3"))]),
    crystal("mg2sio4.inp", "Forsterite Mg2SiO4, Pnma, a=10.198 b=5.9817 c=4.755 A",
            "0.8", "8.0", ("10.198", "5.9817", "4.755", "90.0", "90.0", "90.0"),
            ex.ops(PNMA_HALF), 1,
            [("Mg1", 2, 0, 0, 0), ("Mg2", 2, F("0.2774"), QUARTER, F("0.9915")),
             ("Si", 4, F("0.0940"), QUARTER, F("0.4265")),
             ("O1", -2, F("0.0915"), QUARTER, F("0.7656")),
             ("O2", -2, F("0.4474"), QUARTER, F("0.2194")),
             ("O3", -2, F("0.1628"), F("0.0331"), F("0.2775"))],
            [(0, 0, 0), (HALF, HALF, HALF), (F("0.1"), F("0.2"), F("0.3"))]),
] + [rock_salt_supercell(n) for n in (2, 3, 4, 5)]


def full_group(c):
    """Every operation of the group as (R, t mod 1), companions included."""
    group = []
    for rot, t in c["ops"]:
        group.append((rot, ex.reduce_translation(t)))
        if c["inversion"]:
            neg = tuple(tuple(-v for v in row) for row in rot)
            group.append((neg, ex.reduce_translation(tuple(-v for v in t))))
    return group


def compose(a, b):
    """a after b."""
    ra, ta = a
    rb, tb = b
    rot = tuple(tuple(sum(ra[i][k] * rb[k][j] for k in range(3)) for j in range(3))
                for i in range(3))
    t = tuple(sum(ra[i][k] * tb[k] for k in range(3)) + ta[i] for i in range(3))
    return rot, ex.reduce_translation(t)


def check_group(c):
    group = full_group(c)
    members = set(group)
    if len(members) != len(group):
        raise ValueError(f"{c['file']}: an operation is listed twice")
    if len(group) <= 192:
        for a in group:
            for b in group:
                if compose(a, b) not in members:
                    raise ValueError(f"{c['file']}: the operations do not form a group")
    return group


def image_count(group, x, y, z):
    seen = set()
    for rot, t in group:
        p = tuple(sum(rot[i][k] * v for k, v in enumerate((x, y, z))) + t[i] for i in range(3))
        seen.add(ex.reduce_translation(p))
    return len(seen)


def render(c):
    group = check_group(c)
    sites = []
    charge = 0
    for label, q, x, y, z in c["sites"]:
        m = image_count(group, F(x), F(y), F(z))
        sites.append((label, q, m, x, y, z))
        charge += q * m
    if charge != 0:
        raise ValueError(f"{c['file']}: the cell's charge is {charge}, not 0")
    return ex.render(dict(c, sites=sites))


def main(argv):
    OUT.mkdir(parents=True, exist_ok=True)
    files = ((OUT / c["file"], render(c)) for c in CRYSTALS)
    return ex.write_or_check(files, "--check" in argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
