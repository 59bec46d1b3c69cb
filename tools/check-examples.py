#!/usr/bin/env python3
"""Checks the crystal descriptions of the example inputs.

For every examples/*.inp (or the files named on the command line) it reads the
fixed-column head and the position records, then checks that

  - every real field holds a decimal point (without one, the field's implied
    decimals scale the digits: a lattice length written 4 would read 0.000004);
  - the identity is listed, and the operations, with their inverted companions
    when the inversion flag is set, form a group: no operation is repeated
    modulo lattice translations and every product of two of them is one of
    them modulo lattice translations;
  - every operation maps the lattice onto itself (R^T G R = G for the metric G),
    so the hexagonal rows such as x-y belong to a hexagonal cell;
  - expanding each site by all operations gives every atom of the cell with
    total weight one (W times the number of images that land on the atom),
    and W times the number of operations is the site's multiplicity;
  - no two sites put atoms on the same point;
  - the cell is neutral, exactly by multiplicities and to the precision of the
    written weights by W;
  - the shortest distance between any two atoms exceeds 2R, so the spheres of
    radius R do not overlap;
  - the table the run needs, (2 hmax + 1)(2 kmax + 1)(lmax + 1) entries with
    hmax = trunc(a qmax) etc., lies between 100,000 and 1,500,000 entries.

It also lists, for every position record, the nearest atoms and their
distances. Exit status 1 when any check fails. Standard library only.
"""

import itertools
import math
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TOL = 1e-6  # fractional coordinates and translations
MIN_ENTRIES, MAX_ENTRIES = 100_000, 1_500_000


class InputError(Exception):
    pass


# ---------------------------------------------------------------------------
# Fixed-column fields
# ---------------------------------------------------------------------------


def real_field(line, start, width, decimals, problems, what):
    text = line[start : start + width].ljust(width)
    if "," in text:
        raise InputError(f"{what}: short (comma) fields are not used in the examples")
    s = text.replace(" ", "")
    if s == "":
        return 0.0
    if "." not in s:
        problems.append(f"{what}: field {text!r} has no decimal point")
    mantissa, exponent = s, 0
    for i, ch in enumerate(s):
        if ch in "EeDd" or (i > 0 and ch in "+-"):
            mantissa, tail = s[:i], s[i:]
            if tail[0] in "EeDd":
                tail = tail[1:]
            exponent = int(tail)
            break
    try:
        value = float(mantissa) if "." in mantissa else int(mantissa) / 10**decimals
    except ValueError:
        raise InputError(f"{what}: {text!r} is not a number") from None
    return value * 10**exponent


def int_field(line, start, width, what):
    text = line[start : start + width].ljust(width).replace(" ", "")
    if text == "":
        return 0
    try:
        return int(text)
    except ValueError:
        raise InputError(f"{what}: {text!r} is not an integer") from None


def read_input(path, problems):
    lines = path.read_text().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    it = iter(enumerate(lines, 1))

    def next_line(what):
        try:
            number, line = next(it)
        except StopIteration:
            raise InputError(f"file ends before the {what}") from None
        return number, line

    _, title = next_line("title")
    if len(title) > 72:
        problems.append(f"title has {len(title)} characters, more than 72")
    n, line = next_line("radius and range")
    radius = real_field(line, 0, 6, 2, problems, f"line {n} R")
    qmax = real_field(line, 6, 6, 2, problems, f"line {n} qmax")
    n, line = next_line("counts")
    nops, nsites, inversion = (int_field(line, i, 3, f"line {n}") for i in (0, 3, 6))
    n, line = next_line("lattice")
    cell = [real_field(line, 9 * i, 9, 6, problems, f"line {n} lattice") for i in range(6)]
    ops = []
    for _ in range(max(nops, 1)):
        n, line = next_line("symmetry operations")
        if nops <= 0:
            break
        rot, trans = [], []
        for r in range(3):
            base = 15 * r
            trans.append(real_field(line, base, 11, 6, problems, f"line {n} translation"))
            row = [0, 0, 0]
            for code in (int_field(line, base + 11, 2, f"line {n}"),
                         int_field(line, base + 13, 2, f"line {n}")):
                if code == 0:
                    continue
                if abs(code) > 3:
                    problems.append(f"line {n}: axis code {code} outside -3..3")
                    continue
                row[abs(code) - 1] += 1 if code > 0 else -1
            rot.append(tuple(row))
        ops.append((tuple(rot), tuple(trans)))
    sites = []
    for _ in range(max(nsites, 1)):
        n, line = next_line("sites")
        if nsites <= 0:
            break
        label = line[:8].ljust(8)
        values = [real_field(line, 9 + 9 * i, 9, 4, problems, f"line {n} site") for i in range(5)]
        sites.append((label.strip(), *values))
    positions = []
    for n, line in it:
        positions.append(
            tuple(real_field(line, 9 * i, 9, 6, problems, f"line {n} position") for i in range(3))
        )
    return dict(title=title, radius=radius, qmax=qmax, inversion=inversion, cell=cell,
                ops=ops, sites=sites, positions=positions)


# ---------------------------------------------------------------------------
# Geometry
# ---------------------------------------------------------------------------


def metric(cell):
    a, b, c, al, be, ga = cell
    if al < 1.0:
        raise InputError("angles given as cosines are not used in the examples")
    ca, cb, cg = (math.cos(math.radians(v)) for v in (al, be, ga))
    return [[a * a, a * b * cg, a * c * cb], [a * b * cg, b * b, b * c * ca],
            [a * c * cb, b * c * ca, c * c]]


def distance(g, d):
    return math.sqrt(max(0.0, sum(g[i][j] * d[i] * d[j] for i in range(3) for j in range(3))))


def frac(v):
    return v - math.floor(v)


def wrap(v):
    """Difference of fractional coordinates brought into [-0.5, 0.5)."""
    return v - math.floor(v + 0.5)


def apply(op, p):
    rot, t = op
    return tuple(t[i] + sum(rot[i][j] * p[j] for j in range(3)) for i in range(3))


def same_point(p, q, tol=TOL):
    return all(abs(wrap(a - b)) < tol for a, b in zip(p, q))


def same_op(o1, o2):
    return o1[0] == o2[0] and same_point(o1[1], o2[1])


def op_key(op):
    """A key equal for operations equal modulo lattice translations."""
    rot, t = op
    return rot, tuple(round(frac(v) * 1e5) % 100000 for v in t)


def compose(o1, o2):
    """o1 after o2."""
    r1, t1 = o1
    r2, t2 = o2
    rot = tuple(tuple(sum(r1[i][k] * r2[k][j] for k in range(3)) for j in range(3))
                for i in range(3))
    t = tuple(t1[i] + sum(r1[i][k] * t2[k] for k in range(3)) for i in range(3))
    return rot, t


def full_group(ops, inversion):
    group = list(ops)
    if inversion:
        group += [(tuple(tuple(-v for v in row) for row in rot), tuple(-v for v in t))
                  for rot, t in ops]
    return group


def nearest_images(g, point, atoms, count=3):
    """The `count` nearest atoms to a point: (distance, label)."""
    found = []
    for label, p in atoms:
        d = [wrap(a - b) for a, b in zip(point, p)]
        best = min(distance(g, [d[0] + i, d[1] + j, d[2] + k])
                   for i, j, k in itertools.product((-1, 0, 1), repeat=3))
        found.append((best, label))
    return sorted(found)[:count]


# ---------------------------------------------------------------------------
# The checks
# ---------------------------------------------------------------------------


def check(path):
    problems = []
    notes = []
    data = read_input(path, problems)
    ops, sites, radius = data["ops"], data["sites"], data["radius"]
    g = metric(data["cell"])
    group = full_group(ops, data["inversion"])
    n = len(group)

    identity = ((1, 0, 0), (0, 1, 0), (0, 0, 1))
    if not any(same_op(o, (identity, (0, 0, 0))) for o in ops):
        problems.append("the identity is not among the listed operations")
    keys = {}
    for i, op in enumerate(group, 1):
        if op_key(op) in keys:
            problems.append(f"operations {keys[op_key(op)]} and {i} (companions counted after "
                            f"the listed ones) are the same modulo lattice translations")
        keys.setdefault(op_key(op), i)
    not_closed = 0
    for o1 in group:
        for o2 in group:
            product = compose(o1, o2)
            match = keys.get(op_key(product))
            if match is None or not same_op(product, group[match - 1]):
                not_closed += 1
    if not_closed:
        problems.append(f"{not_closed} products of two operations are not in the set")
    for k, (rot, _) in enumerate(ops, 1):
        for i in range(3):
            for j in range(3):
                gij = sum(rot[a][i] * g[a][b] * rot[b][j] for a in range(3) for b in range(3))
                if abs(gij - g[i][j]) > 1e-9 * max(1.0, abs(g[i][j])):
                    problems.append(f"operation {k} does not preserve the lattice metric")
                    break
            else:
                continue
            break

    atoms = []  # (label, charge, position) of every distinct atom of the cell
    multiplicity = {}
    for label, charge, w, x, y, z in sites:
        distinct = []  # [position, number of images]
        for op in group:
            p = tuple(frac(v) for v in apply(op, (x, y, z)))
            for entry in distinct:
                if same_point(entry[0], p):
                    entry[1] += 1
                    break
            else:
                distinct.append([p, 1])
        for p, count in distinct:
            if abs(w * count - 1.0) > 1e-6:
                problems.append(f"{label}: atom at {p} has total weight {w * count:.9f}, not 1")
        multiplicity[label] = len(distinct)
        if abs(w * n - len(distinct)) > 1e-6 * len(distinct):
            problems.append(f"{label}: W*{n} = {w * n:.9f}, multiplicity {len(distinct)}")
        for p, _ in distinct:
            for other, _, q in atoms:
                if same_point(p, q):
                    problems.append(f"{label} and {other} both have an atom at {p}")
            atoms.append((label, charge, p))

    exact = sum(charge * multiplicity[label] for label, charge, *_ in sites)
    by_weight = sum(charge * w * n for _, charge, w, *_ in sites)
    if abs(exact) > 1e-9:
        problems.append(f"the cell carries a charge of {exact:g} e")
    if abs(by_weight) > 1e-5:
        problems.append(f"sum of Z W N is {by_weight:.3e}, not 0")

    shortest = math.inf
    shortest_ca = math.inf
    for (l1, z1, p1), (l2, z2, p2) in itertools.combinations(atoms, 2):
        d = [wrap(a - b) for a, b in zip(p1, p2)]
        dist = min(distance(g, [d[0] + i, d[1] + j, d[2] + k])
                   for i, j, k in itertools.product((-1, 0, 1), repeat=3))
        shortest = min(shortest, dist)
        if z1 * z2 < 0:
            shortest_ca = min(shortest_ca, dist)
    # Distances between an atom and its own lattice images.
    for i in range(3):
        shortest = min(shortest, math.sqrt(g[i][i]))
    if not shortest > 2 * radius:
        problems.append(f"shortest interatomic distance {shortest:.4f} A is not above "
                        f"2R = {2 * radius:.4f} A")

    a, b, c = data["cell"][:3]
    limits = [math.trunc(v * data["qmax"]) for v in (a, b, c)]
    entries = (2 * limits[0] + 1) * (2 * limits[1] + 1) * (limits[2] + 1)
    if not MIN_ENTRIES <= entries <= MAX_ENTRIES:
        problems.append(f"{entries} table entries, outside {MIN_ENTRIES}..{MAX_ENTRIES}")

    notes.append(f"{data['title'].rstrip()}")
    notes.append(f"{len(ops)} operations listed, inversion flag {data['inversion']}: "
                 f"{n} in the group; {len(atoms)} atoms in the cell "
                 f"({', '.join(f'{k} x{v}' for k, v in multiplicity.items())})")
    notes.append(f"R = {radius:g} A, shortest cation-anion distance {shortest_ca:.4f} A, "
                 f"shortest of all {shortest:.4f} A; qmax = {data['qmax']:g}: "
                 f"limits {limits[0]} {limits[1]} {limits[2]}, {entries} entries")
    labelled = [(label, p) for label, _, p in atoms]
    for point in data["positions"]:
        near = nearest_images(g, point, labelled)
        notes.append("position (" + ", ".join(f"{v:.6g}" for v in point) + "): " +
                     ", ".join(f"{lab} {d:.4f}" for d, lab in near))
    return problems, notes


def main(argv):
    paths = [Path(p) for p in argv[1:]] or sorted((ROOT / "examples").glob("*.inp"))
    failed = 0
    for path in paths:
        try:
            problems, notes = check(path)
        except InputError as e:
            problems, notes = [str(e)], []
        status = "FAIL" if problems else "ok"
        print(f"{path.name}: {status}")
        for line in notes:
            print(f"    {line}")
        for line in problems:
            print(f"    error: {line}")
        failed += bool(problems)
    print(f"{len(paths) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
