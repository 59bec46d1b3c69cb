#!/usr/bin/env python3
"""Writes a set of CIFs for measuring telva-screen: the crystals of examples/*.cif
and their substituted, strained and supercell variants, with a share of
broken files (no cell, a missing charge, a site at '?', operations that are no
group, truncated, empty, binary).

    tools/make-screen-set.py OUT_DIR [--count N] [--broken FRACTION] [--seed S]

The same arguments give the same files. Substitutions keep each ion's charge
(K for Na, Br for Cl, ...); strains scale the edges the symmetry lets vary
independently (a = b = c in a cubic cell) by up to 6%; supercells are
written in P1 after applying every operation to the asymmetric unit.
"""

import argparse
import os
import random
import re
import sys
from fractions import Fraction

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "examples")

# Ions of the same charge and a similar size: element -> replacements.
SUBSTITUTES = {
    "Na": ["K", "Li", "Rb", "Ag"],
    "Cl": ["Br", "F", "I"],
    "Cs": ["Rb", "K", "Tl"],
    "Ca": ["Sr", "Ba", "Cd", "Mg"],
    "F": ["Cl"],
    "Zn": ["Cd", "Mg", "Be", "Hg"],
    "S": ["Se", "O", "Te"],
    "Ti": ["Sn", "Zr", "Ge", "Pb"],
    "O": ["S"],
    "Al": ["Ga", "Cr", "Fe", "In", "V"],
}
SUPERCELLS = [(2, 1, 1), (1, 1, 2), (1, 2, 1)]
_ELEMENT = re.compile(r"^([A-Z][a-z]?)(.*)$")


def _is_row(line):
    """A data row of a loop: neither blank, nor a tag, nor the start of the next loop."""
    text = line.strip()
    return bool(text) and text != "loop_" and not text.startswith("_")


def read_example(path):
    """The parts of one of our example CIFs: head lines, cell, symmetry, atom types and sites."""
    with open(path) as file:
        lines = file.read().splitlines()
    crystal = {"name": lines[0][5:], "tags": {}, "symops": None, "symop_tag": None, "types": [],
               "sites": []}
    i = 1
    while i < len(lines):
        line = lines[i].strip()
        if line == "loop_":
            tags = []
            i += 1
            while i < len(lines) and lines[i].strip().startswith("_"):
                tags.append(lines[i].strip())
                i += 1
            rows = []
            while i < len(lines) and _is_row(lines[i]):
                rows.append(lines[i].strip())
                i += 1
            if tags[0] in ("_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"):
                crystal["symop_tag"] = tags[0]
                crystal["symops"] = [r.strip("'") for r in rows]
            elif tags[0] == "_atom_type_symbol":
                crystal["types"] = [r.split() for r in rows]
            else:
                crystal["site_tags"] = tags
                crystal["sites"] = [dict(zip(tags, r.split())) for r in rows]
            continue
        if line.startswith("_"):
            tag, _, value = line.partition(" ")
            crystal["tags"][tag] = value.strip()
        i += 1
    return crystal


def _number(text):
    return float(text)


def write_cif(crystal):
    out = [f"data_{crystal['name']}"]
    for tag, value in crystal["tags"].items():
        out.append(f"{tag} {value}")
    if crystal["symops"] is not None:
        out += ["loop_", crystal["symop_tag"]] + [f"  '{op}'" for op in crystal["symops"]]
    if crystal["types"]:
        out += ["loop_", "_atom_type_symbol", "_atom_type_oxidation_number"]
        out += [f"  {t} {z}" for t, z in crystal["types"]]
    out += ["loop_"] + crystal["site_tags"]
    for site in crystal["sites"]:
        out.append("  " + " ".join(site[t] for t in crystal["site_tags"]))
    return "\n".join(out) + "\n"


def _copy(crystal):
    return {
        **crystal,
        "tags": dict(crystal["tags"]),
        "symops": list(crystal["symops"]) if crystal["symops"] is not None else None,
        "types": [list(t) for t in crystal["types"]],
        "sites": [dict(s) for s in crystal["sites"]],
    }


def substitute(crystal, old, new):
    c = _copy(crystal)
    swap = lambda text: re.sub(rf"^{old}(?![a-z])", new, text)  # noqa: E731
    for site in c["sites"]:
        site["_atom_site_label"] = swap(site["_atom_site_label"])
        site["_atom_site_type_symbol"] = swap(site["_atom_site_type_symbol"])
    c["types"] = [[swap(t), z] for t, z in c["types"]]
    formula = c["tags"].get("_chemical_formula_sum", "")
    c["tags"]["_chemical_formula_sum"] = re.sub(rf"\b{old}(?![a-z])", new, formula)
    c["tags"].pop("_chemical_name_common", None)
    c["name"] += f"_{new}_for_{old}"
    return c


def strain(crystal, factors, tag):
    """Scale a, b, c by factors; edges equal in the example stay equal (the symmetry ties them)."""
    c = _copy(crystal)
    a, b, cc = (_number(c["tags"][f"_cell_length_{x}"]) for x in "abc")
    fa, fb, fc = factors
    if a == b == cc:
        fb = fc = fa
    elif a == b:
        fb = fa
    for x, value, f in (("a", a, fa), ("b", b, fb), ("c", cc, fc)):
        c["tags"][f"_cell_length_{x}"] = f"{value * f:.6f}"
    c["name"] += f"_strain_{tag}"
    return c


def _apply(op, xyz):
    """One operation written as 'x-y+1/3,...' applied to fractional coordinates."""
    image = []
    for row in op.replace(" ", "").split(","):
        value = Fraction(0)
        for sign, number, axis in re.findall(r"([+-]?)(\d+(?:/\d+)?|\d*\.\d+)?([xyz]?)", row):
            if not number and not axis:
                continue
            factor = Fraction(number) if number else Fraction(1)
            term = factor * (xyz["xyz".index(axis)] if axis else 1)
            value += -term if sign == "-" else term
        image.append(value % 1)
    return tuple(image)


def supercell(crystal, repeat):
    """The crystal in P1, its cell repeated (na, nb, nc) times; None without an operation loop."""
    if crystal["symops"] is None:
        return None
    c = _copy(crystal)
    atoms = []
    for site in crystal["sites"]:
        xyz = [Fraction(site[f"_atom_site_fract_{x}"]).limit_denominator(10**10) for x in "xyz"]
        images = sorted({_apply(op, xyz) for op in crystal["symops"]})
        atoms += [(site, image) for image in images]
    na, nb, nc = repeat
    sites = []
    for i in range(na):
        for j in range(nb):
            for k in range(nc):
                for site, (x, y, z) in atoms:
                    row = dict(site)
                    row["_atom_site_label"] = f"{site['_atom_site_label']}_{len(sites) + 1}"
                    row["_atom_site_symmetry_multiplicity"] = "1"
                    for axis, value, n, shift in zip("xyz", (x, y, z), repeat, (i, j, k)):
                        row[f"_atom_site_fract_{axis}"] = f"{float((value + shift) / n):.10f}"
                    sites.append(row)
    c["sites"] = sites
    for x, n in zip("abc", repeat):
        c["tags"][f"_cell_length_{x}"] = f"{_number(c['tags'][f'_cell_length_{x}']) * n:.6f}"
    for tag in ("_space_group_name_H-M_alt", "_space_group_name_Hall",
                "_space_group_crystal_system"):
        c["tags"].pop(tag, None)
    c["tags"]["_space_group_name_H-M_alt"] = "'P 1'"
    c["symops"] = ["x,y,z"]
    c["symop_tag"] = "_space_group_symop_operation_xyz"
    c["name"] += "_super_" + "x".join(map(str, repeat))
    return c


def break_cif(text, crystal, kind, rng):
    """A broken variant of a good CIF, of one of the kinds telva-screen must report."""
    if kind == "empty":
        return b""
    if kind == "binary":
        return bytes(rng.randrange(256) for _ in range(2048))
    if kind == "truncated":
        cut = text.index("_cell_length_c")
        return text[:cut].encode()
    if kind == "no_cell":
        return re.sub(r"_cell_length_b .*\n", "", text).encode()
    if kind == "question_mark":
        site = crystal["sites"][0]
        line = "  " + " ".join(site[t] for t in crystal["site_tags"])
        fields = line.split()
        fields[crystal["site_tags"].index("_atom_site_fract_x")] = "?"
        return text.replace(line, "  " + " ".join(fields)).encode()
    if kind == "no_charge":
        # Type symbols without their charge suffix, and no oxidation numbers.
        broken = re.sub(r"^(  [A-Z][A-Za-z0-9_]* [A-Z][a-z]?)[0-9]*[+-]( )", r"\1\2", text,
                        flags=re.M)
        types = r"loop_\n_atom_type_symbol\n_atom_type_oxidation_number\n(  .*\n)+"
        broken = re.sub(types, "", broken)
        return broken.encode()
    raise ValueError(kind)


BROKEN_KINDS = ["empty", "binary", "truncated", "no_cell", "question_mark", "no_charge"]


def variants(crystals, rng):
    """An endless stream of (name, good crystal) variants, in a fixed order for a seed."""
    serial = 0
    while True:
        for base in crystals:
            symbols = [s["_atom_site_type_symbol"] for s in base["sites"]]
            elements = sorted({_ELEMENT.match(t).group(1) for t in symbols})
            c = base
            for element in elements:
                if rng.random() < 0.5 and element in SUBSTITUTES:
                    c = substitute(c, element, rng.choice(SUBSTITUTES[element]))
            factors = tuple(1.0 + rng.uniform(-0.06, 0.06) for _ in range(3))
            serial += 1
            c = strain(c, factors, f"{serial:05d}")
            if rng.random() < 0.15:
                bigger = supercell(c, rng.choice(SUPERCELLS))
                if bigger is not None:
                    c = bigger
            yield c


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", help="folder to write the CIFs into (created)")
    parser.add_argument("--count", type=int, default=2100, help="number of files (default 2100)")
    parser.add_argument("--broken", type=float, default=0.05,
                        help="share of broken files (default 0.05)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    args = parser.parse_args(argv)
    if args.count < 1 or not 0 <= args.broken <= 1:
        parser.error("--count must be positive and --broken between 0 and 1")
    rng = random.Random(args.seed)
    names = sorted(n for n in os.listdir(EXAMPLES) if n.endswith(".cif"))
    crystals = [read_example(os.path.join(EXAMPLES, n)) for n in names]
    os.makedirs(args.out, exist_ok=True)
    broken_count = round(args.count * args.broken)
    broken_at = set(rng.sample(range(args.count), broken_count))
    stream = variants(crystals, rng)
    for index in range(args.count):
        crystal = next(stream)
        text = write_cif(crystal)
        folder = os.path.join(args.out, f"{index // 500:03d}")
        os.makedirs(folder, exist_ok=True)
        if index in broken_at:
            kind = BROKEN_KINDS[index % len(BROKEN_KINDS)]
            data = break_cif(text, crystal, kind, rng)
            name = f"{index:06d}_{crystal['name']}_broken_{kind}.cif"
        else:
            data = text.encode()
            name = f"{index:06d}_{crystal['name']}.cif"
        with open(os.path.join(folder, name), "wb") as file:
            file.write(data)
    print(f"{args.count} CIFs ({broken_count} broken) in {args.out}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
