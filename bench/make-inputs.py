#!/usr/bin/env python3
"""Writes the three benchmark inputs of bench/: synthesis.inp (rock salt, a
table just under the capacity, 20 position records), table.inp (a 300-atom
CsCl supercell in P1, about a million entries) and positions.inp (rock salt,
about 100,000 entries, 10,000 position records)."""
import os

here = os.path.dirname(os.path.abspath(__file__))


def f(value, width):
    text = repr(float(value))
    return text.rjust(width)[:width] if len(text) <= width else ("%.*f" % (width - 2, value))[:width]


def head(title, radius, qmax, ops, sites, inversion, cell):
    lines = [title[:72], f(radius, 6) + f(qmax, 6), "%3d%3d%3d" % (len(ops), len(sites), inversion)]
    lines.append("".join(f(v, 9) for v in cell))
    for op in ops:
        lines.append("".join(f(t, 11) + "%2d%2d" % (c1, c2) for t, c1, c2 in op))
    for label, charge, w, x, y, z in sites:
        lines.append("%-8s " % label + "".join(f(v, 9) for v in (charge, w, x, y, z)))
    return lines


identity = [[(0.0, 1, 0), (0.0, 2, 0), (0.0, 3, 0)]]


def rocksalt_sites():
    sites = []
    for i, (x, y, z) in enumerate([(0, 0, 0), (0.5, 0.5, 0), (0.5, 0, 0.5), (0, 0.5, 0.5)]):
        sites.append(("Na%d" % (i + 1), 1.0, 1.0, x, y, z))
    for i, (x, y, z) in enumerate([(0.5, 0, 0), (0, 0.5, 0), (0, 0, 0.5), (0.5, 0.5, 0.5)]):
        sites.append(("Cl%d" % (i + 1), -1.0, 1.0, x, y, z))
    return sites


def points(count, seed):
    state = seed
    out = []
    for _ in range(count):
        coords = []
        for _ in range(3):
            state = (state * 6364136223846793005 + 1442695040888963407) % 2**64
            coords.append((state >> 11) / 2**53)
        out.append("".join(("%.6f" % c).rjust(9) for c in coords))
    return out


def write(name, lines):
    with open(os.path.join(here, name), "w") as out:
        out.write("\n".join(lines) + "\n")


# 5.64 * 24 = 135.36: limits 135 135 135, 271 * 271 * 136 = 9,987,976 entries.
write("synthesis.inp",
      head("Rock salt, a table of 9,987,976 entries, 20 positions", 1.0, 24.0, identity,
           rocksalt_sites(), 0, (5.64, 5.64, 5.64, 90, 90, 90)) + points(20, 1))

# CsCl (a = 4.123) repeated 5 x 5 x 6 times: 300 sites in P1; limits 59 59 71,
# 119 * 119 * 72 = 1,019,592 entries.
sites = []
for i in range(5):
    for j in range(5):
        for k in range(6):
            n = len(sites) // 2 + 1
            sites.append(("Cs%d" % n, 1.0, 1.0, i / 5, j / 5, k / 6))
            sites.append(("Cl%d" % n, -1.0, 1.0, (i + 0.5) / 5, (j + 0.5) / 5, (k + 0.5) / 6))
write("table.inp",
      head("CsCl 5x5x6 supercell in P1: 300 sites, about a million entries", 1.0, 2.9, identity,
           sites, 0, (5 * 4.123, 5 * 4.123, 6 * 4.123, 90, 90, 90)))

# 5.64 * 5 = 28.2: limits 28 28 28, 57 * 57 * 29 = 94,221 entries.
write("positions.inp",
      head("Rock salt, 94,221 entries, 10,000 positions", 1.0, 5.0, identity, rocksalt_sites(), 0,
           (5.64, 5.64, 5.64, 90, 90, 90)) + points(10000, 2))
