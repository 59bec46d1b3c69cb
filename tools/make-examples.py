#!/usr/bin/env python3
"""Writes the example inputs of real crystals into examples/.

Each crystal is described here by its literature structure parameters, its
space group as coordinate triplets (as printed in the standard tables) and its
asymmetric unit; this script expands the centring translations, encodes every
operation as three rows of a translation and two signed axis codes, computes
the weights W = multiplicity / (number of operations, inverted companions
included) and writes the fixed-column records.

    tools/make-examples.py            write the files
    tools/make-examples.py --check    compare the files with what would be
                                      written; exit 1 on any difference

Standard library only.
"""

import sys
from fractions import Fraction
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"

HALF = Fraction(1, 2)
THIRD = Fraction(1, 3)

# ---------------------------------------------------------------------------
# Coordinate triplets
# ---------------------------------------------------------------------------


def parse_triplet(text):
    """'-y+1/2,x-y,z' -> (R, t): R a 3x3 tuple of ints, t a tuple of Fractions."""
    rows = []
    trans = []
    for part in text.replace(" ", "").split(","):
        coeff = [0, 0, 0]
        t = Fraction(0)
        i = 0
        while i < len(part):
            sign = 1
            if part[i] in "+-":
                sign = -1 if part[i] == "-" else 1
                i += 1
            if part[i] in "xyz":
                coeff["xyz".index(part[i])] += sign
                i += 1
            else:
                j = i
                while j < len(part) and part[j] not in "+-":
                    j += 1
                t += sign * Fraction(part[i:j])
                i = j
        rows.append(tuple(coeff))
        trans.append(t)
    if len(rows) != 3:
        raise ValueError(f"not a coordinate triplet: {text}")
    return tuple(rows), tuple(trans)


def reduce_translation(t):
    return tuple(v - (v.numerator // v.denominator) for v in t)


def with_centring(ops, centrings):
    """Every operation combined with every centring vector, centring outermost."""
    out = []
    for c in centrings:
        for rot, t in ops:
            out.append((rot, reduce_translation(tuple(a + b for a, b in zip(t, c)))))
    return out


def axis_codes(row):
    """One matrix row as (code1, code2): +-1, +-2, +-3 name +-x, +-y, +-z."""
    codes = []
    for axis, c in enumerate(row):
        if c not in (-1, 0, 1):
            raise ValueError(f"row {row} is not a sum of signed axes")
        if c:
            codes.append(c * (axis + 1))
    if len(codes) > 2:
        raise ValueError(f"row {row} has more than two terms")
    return codes + [0] * (2 - len(codes))


# ---------------------------------------------------------------------------
# Fixed-column numbers
# ---------------------------------------------------------------------------


def decimal_text(value, decimals):
    """value rounded half away from zero to `decimals` digits, as 'I.DDD' text."""
    value = Fraction(value)
    sign = "-" if value < 0 else ""
    scaled = abs(value) * 10**decimals
    n = int(scaled)
    if scaled - n >= HALF:
        n += 1
    digits = str(n).rjust(decimals + 1, "0")
    integer, fraction = digits[: len(digits) - decimals], digits[len(digits) - decimals :]
    if n == 0:
        sign = ""
    return sign, integer, fraction


def fixed(value, width):
    """A real value in `width` columns with every digit the field can hold.

    A value whose decimal expansion ends within the field is written exactly
    and as short as it is (0.5 as '0.5'); any other value gets as many
    decimals as fit, dropping the leading 0 of a value below one to gain a
    digit (1/48 as '.02083333' in nine columns). The text always holds a
    decimal point, so the implied decimals of the field play no part."""
    value = Fraction(value)
    for decimals in range(1, width):
        if (value * 10**decimals).denominator == 1:
            sign, integer, fraction = decimal_text(value, decimals)
            text = f"{sign}{integer}.{fraction}"
            if len(text) <= width:
                return text.rjust(width)
            if integer == "0" and len(text) - 1 <= width:
                return f"{sign}.{fraction}".rjust(width)
            break
    best = None
    for decimals in range(1, width):
        sign, integer, fraction = decimal_text(value, decimals)
        if integer == "0":
            integer = ""
        text = f"{sign}{integer}.{fraction}"
        if len(text) > width:
            break
        best = text
    if best is None:
        raise ValueError(f"{value} does not fit {width} columns")
    return best.rjust(width)


def integer(value, width):
    text = str(value)
    if len(text) > width:
        raise ValueError(f"{value} does not fit {width} columns")
    return text.rjust(width)


# ---------------------------------------------------------------------------
# Space groups
# ---------------------------------------------------------------------------

# The 24 rotations of the cube (point group 432), in the order of the standard
# tables: identity, the three 2-fold axes, the eight 3-fold rotations, then
# the 2-fold diagonal axes and 4-fold rotations.
ROTATIONS_432 = [
    "x,y,z", "-x,-y,z", "-x,y,-z", "x,-y,-z",
    "z,x,y", "z,-x,-y", "-z,-x,y", "-z,x,-y",
    "y,z,x", "-y,z,-x", "y,-z,-x", "-y,-z,x",
    "y,x,-z", "-y,-x,-z", "y,-x,z", "-y,x,z",
    "x,z,-y", "-x,z,y", "-x,-z,-y", "x,-z,y",
    "z,y,-x", "z,-y,x", "-z,y,x", "-z,-y,-x",
]

# Point group -43m: the twelve rotations of 23 and the twelve roto-inversions
# (mirrors on the diagonal planes, -4 axes).
POINT_43M = ROTATIONS_432[:12] + [
    "y,x,z", "-y,-x,z", "y,-x,-z", "-y,x,-z",
    "x,z,y", "-x,z,-y", "-x,-z,y", "x,-z,-y",
    "z,y,x", "z,-y,-x", "-z,y,-x", "-z,-y,x",
]

F_CENTRING = [(0, 0, 0), (0, HALF, HALF), (HALF, 0, HALF), (HALF, HALF, 0)]
R_CENTRING_HEX = [(0, 0, 0), (2 * THIRD, THIRD, THIRD), (THIRD, 2 * THIRD, 2 * THIRD)]

# P4_2/mnm, origin at the centre of symmetry (mmm) on the Ti site: the eight
# operations that, each with its inverse through the origin, make the group.
P42_MNM_HALF = [
    "x,y,z", "-x,-y,z", "-y+1/2,x+1/2,z+1/2", "y+1/2,-x+1/2,z+1/2",
    "-x+1/2,y+1/2,-z+1/2", "x+1/2,-y+1/2,-z+1/2", "y,x,-z", "-y,-x,-z",
]

# P6_3mc: no centre of symmetry, all twelve operations.
P63MC = [
    "x,y,z", "-y,x-y,z", "-x+y,-x,z", "-x,-y,z+1/2", "y,-x+y,z+1/2", "x-y,x,z+1/2",
    "-y,-x,z", "-x+y,y,z", "x,x-y,z", "y,x,z+1/2", "x-y,-y,z+1/2", "-x,-x+y,z+1/2",
]

# R-3c in hexagonal axes, origin at -3: the six operations of 32 with the
# glide translation, each combined with the rhombohedral centring; the
# inversion through the origin supplies the other half of the 36.
R3C_HALF = ["x,y,z", "-y,x-y,z", "-x+y,-x,z", "y,x,-z+1/2", "x-y,-y,-z+1/2", "-x,-x+y,-z+1/2"]


def ops(triplets, centrings=((0, 0, 0),)):
    return with_centring([parse_triplet(s) for s in triplets], centrings)


# ---------------------------------------------------------------------------
# The crystals
# ---------------------------------------------------------------------------
#
# Each site: (label, charge, multiplicity in the cell, x, y, z). Coordinates
# are Fractions or decimal strings (exact as published). Positions: fractional
# points probed after the sites.

F = Fraction

CRYSTALS = [
    dict(
        file="cscl.inp",
        title="Cesium chloride CsCl, Pm-3m, a=4.123 A (room-temperature X-ray value)",
        radius="1.75", qmax="9.0",
        cell=("4.123", "4.123", "4.123", "90.0", "90.0", "90.0"),
        ops=ops(ROTATIONS_432), inversion=1,
        sites=[("Cs", 1, 1, 0, 0, 0), ("Cl", -1, 1, HALF, HALF, HALF)],
        positions=[
            (0, 0, 0),  # on Cs
            (HALF, HALF, 0),  # face centre: the largest hole of the Cs cube
            (HALF, 0, 0),  # edge centre, between two Cs
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
    dict(
        file="rocksalt_fm3m.inp",
        title="Rock salt NaCl, Fm-3m, a = 5.64 A: asymmetric unit Na 4a, Cl 4b",
        radius="1.0", qmax="6.0",
        cell=("5.64", "5.64", "5.64", "90.0", "90.0", "90.0"),
        ops=ops(ROTATIONS_432, F_CENTRING), inversion=1,
        sites=[("Na", 1, 4, 0, 0, 0), ("Cl", -1, 4, HALF, HALF, HALF)],
        positions=[
            (F("0.25"), F("0.25"), F("0.25")),  # empty tetrahedral hole (same records
            (F("0.1"), 0, 0),  # as the P1 example rocksalt.inp)
            (0, 0, 0),  # on Na
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
    dict(
        file="fluorite.inp",
        title="Fluorite CaF2, Fm-3m, a=5.4626 A (room-temperature X-ray value)",
        radius="1.15", qmax="10.0",
        cell=("5.4626", "5.4626", "5.4626", "90.0", "90.0", "90.0"),
        ops=ops(ROTATIONS_432, F_CENTRING), inversion=1,
        sites=[("Ca", 2, 4, 0, 0, 0), ("F", -1, 8, F(1, 4), F(1, 4), F(1, 4))],
        positions=[
            (0, 0, 0),  # on Ca
            (F(1, 4), F(1, 4), F(1, 4)),  # on F
            (HALF, HALF, HALF),  # empty cube of eight F (octahedral hole 4b)
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
    dict(
        file="zincblende.inp",
        title="Zinc blende ZnS (sphalerite), F-43m, a=5.4093 A (room-temp. X-ray)",
        radius="1.15", qmax="9.0",
        cell=("5.4093", "5.4093", "5.4093", "90.0", "90.0", "90.0"),
        ops=ops(POINT_43M, F_CENTRING), inversion=0,
        sites=[("Zn", 2, 4, 0, 0, 0), ("S", -2, 4, F(1, 4), F(1, 4), F(1, 4))],
        positions=[
            (0, 0, 0),  # on Zn
            (F(3, 4), F(3, 4), F(3, 4)),  # empty 4d: tetrahedron of 4 Zn, octahedron of 6 S
            (HALF, HALF, HALF),  # empty 4b: tetrahedron of 4 S, octahedron of 6 Zn
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
    dict(
        file="rutile.inp",
        title="Rutile TiO2, P4_2/mnm, a=4.594 c=2.959 x(O)=0.3053 (lit. X-ray values)",
        radius="0.95", qmax="14.0",
        cell=("4.594", "4.594", "2.959", "90.0", "90.0", "90.0"),
        ops=ops(P42_MNM_HALF), inversion=1,
        sites=[("Ti", 4, 2, 0, 0, 0), ("O", -2, 4, F("0.3053"), F("0.3053"), 0)],
        positions=[
            (0, 0, 0),  # on Ti
            (0, HALF, 0),  # empty octahedral hole 4c of the open channel along c
            (0, HALF, F(1, 4)),  # 4d, the widest point of the channel (4 O at 1.82 A)
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
    dict(
        file="wurtzite.inp",
        title="Wurtzite ZnO, P6_3mc, a=3.2495 c=5.2069 u=0.3825 (single-crystal X-ray)",
        radius="0.95", qmax="13.0",
        cell=("3.2495", "3.2495", "5.2069", "90.0", "90.0", "120.0"),
        ops=ops(P63MC), inversion=0,
        sites=[("Zn", 2, 2, THIRD, 2 * THIRD, 0), ("O", -2, 2, THIRD, 2 * THIRD, F("0.3825"))],
        positions=[
            (THIRD, 2 * THIRD, 0),  # on Zn
            (0, 0, F("0.44125")),  # empty octahedral site: 3 Zn and 3 O at 1.90 A
            (THIRD, 2 * THIRD, F("0.69125")),  # empty site of the column, midway O-Zn
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
    dict(
        file="corundum.inp",
        title="Corundum Al2O3, R-3c hexagonal axes, a=4.7602 c=12.9933 (lit. X-ray)",
        radius="0.9", qmax="10.0",
        cell=("4.7602", "4.7602", "12.9933", "90.0", "90.0", "120.0"),
        ops=ops(R3C_HALF, R_CENTRING_HEX), inversion=1,
        sites=[("Al", 3, 12, 0, 0, F("0.35216")), ("O", -2, 18, F("0.30624"), 0, F(1, 4))],
        positions=[
            (0, 0, F("0.35216")),  # on Al
            (0, 0, 0),  # the empty third of the octahedral holes (6b)
            (F("0.30624"), 0, F(1, 4)),  # on O
            (F("0.1"), F("0.2"), F("0.3")),  # general point
        ],
    ),
]


def operation_count(crystal):
    return len(crystal["ops"]) * (2 if crystal["inversion"] else 1)


def render(crystal):
    title = crystal["title"]
    if len(title) > 72:
        raise ValueError(f"title longer than 72 characters: {title}")
    lines = [title]
    lines.append(fixed(F(crystal["radius"]), 6) + fixed(F(crystal["qmax"]), 6))
    lines.append(
        integer(len(crystal["ops"]), 3)
        + integer(len(crystal["sites"]), 3)
        + integer(crystal["inversion"], 3)
    )
    lines.append("".join(fixed(F(p), 9) for p in crystal["cell"]))
    for rot, t in crystal["ops"]:
        record = ""
        for row, shift in zip(rot, t):
            code1, code2 = axis_codes(row)
            record += fixed(shift, 11) + integer(code1, 2) + integer(code2, 2)
        lines.append(record)
    n = operation_count(crystal)
    for label, charge, multiplicity, x, y, z in crystal["sites"]:
        weight = Fraction(multiplicity, n)
        lines.append(
            label.ljust(8)[:8]
            + " "
            + "".join(fixed(F(v), 9) for v in (charge, weight, x, y, z))
        )
    for x, y, z in crystal["positions"]:
        lines.append("".join(fixed(F(v), 9) for v in (x, y, z)))
    return "\n".join(lines) + "\n"


def write_or_check(files, check):
    """Writes each (path, text), or with check compares it with the file;
    1 when a file differs, else 0."""
    differ = False
    for path, text in files:
        if check:
            if not path.exists() or path.read_text() != text:
                print(f"{path.relative_to(ROOT)}: differs from the generator's output")
                differ = True
        else:
            path.write_text(text)
            print(f"wrote {path.relative_to(ROOT)}")
    return 1 if differ else 0


def main(argv):
    files = ((EXAMPLES / crystal["file"], render(crystal)) for crystal in CRYSTALS)
    return write_or_check(files, "--check" in argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
