"""Independent references for the ranking of orderings: the group of a
supercell found by spglib, the distinct count by Burnside's lemma over it,
brute-force enumeration with canonical forms, and pymatgen's Ewald sum and
ordering transformation. Nothing here calls telva."""

from __future__ import annotations

import itertools
import math
import warnings
from collections import Counter

import numpy as np
import spglib

def read_structure(path):
    """A pymatgen Structure with partial occupancies and the CIF's oxidation states."""
    from pymatgen.core import Structure
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return Structure.from_file(str(path))


def composition_key(site) -> str:
    """A site's species and occupancies as text: the sites of one disordered
    orbit share it, and spglib sees each key as one kind of atom."""
    return " ".join(f"{sp}:{occ:.6f}" for sp, occ in sorted(site.species.items(),
                                                             key=lambda kv: str(kv[0])))


def supercell(structure, matrix):
    """The supercell whose rows are `matrix` (3x3) in the parent's lattice vectors."""
    return structure * np.array(matrix, dtype=int).reshape(3, 3)


def site_permutations(cell_structure, symprec=1e-4):
    """The distinct permutations of the sites that the operations of
    `cell_structure` (spglib's group of the structure with every disordered
    orbit as one kind of atom) induce."""
    keys = [composition_key(site) for site in cell_structure]
    kinds = {k: i for i, k in enumerate(sorted(set(keys)))}
    frac = np.array([site.frac_coords for site in cell_structure]) % 1.0
    cell = (cell_structure.lattice.matrix, frac, [kinds[k] for k in keys])
    symmetry = spglib.get_symmetry(cell, symprec=symprec)
    perms = set()
    for rotation, translation in zip(symmetry["rotations"], symmetry["translations"]):
        image = (frac @ rotation.T + translation) % 1.0
        delta = image[:, None, :] - frac[None, :, :]
        delta -= np.round(delta)
        target = np.argmin(np.abs(delta).sum(axis=2), axis=1)
        assert np.abs(delta[np.arange(len(frac)), target]).max() < 1e-3
        assert len(set(target)) == len(frac)
        perms.add(tuple(int(t) for t in target))
    return [np.array(p) for p in sorted(perms)]


def disordered_orbits(cell_structure):
    """The disordered sites grouped by their species and occupancies: a list of
    (key, site indices, {species text: occupancy}) in key order."""
    groups: dict[str, list[int]] = {}
    for index, site in enumerate(cell_structure):
        if len(site.species) > 1 or sum(site.species.values()) < 1 - 1e-6:
            groups.setdefault(composition_key(site), []).append(index)
    orbits = []
    for key, indices in sorted(groups.items()):
        occupancy = {str(sp): occ for sp, occ in cell_structure[indices[0]].species.items()}
        vacancy = 1.0 - sum(occupancy.values())
        if vacancy > 1e-6:
            occupancy["vacancy"] = vacancy
        orbits.append((key, indices, occupancy))
    return orbits


def whole_counts(occupancy, sites, tolerance=0.02):
    """The number of each species on `sites` positions, the occupancies rounded."""
    counts = {name: round(occ * sites) for name, occ in occupancy.items()}
    for name, occ in occupancy.items():
        assert abs(counts[name] / sites - occ) <= tolerance, (name, occ, sites)
    assert sum(counts.values()) == sites
    return counts


def multinomial(counts) -> int:
    total = math.factorial(sum(counts))
    for c in counts:
        total //= math.factorial(c)
    return total


def fixed_colourings(cycle_lengths, counts) -> int:
    """Colourings of the cycles (each cycle one species) that use exactly
    `counts` of each species: the colourings one permutation fixes."""
    ways = Counter({tuple(counts): 1})
    for length in cycle_lengths:
        step = Counter()
        for remaining, n in ways.items():
            for s, left in enumerate(remaining):
                if left >= length:
                    after = list(remaining)
                    after[s] -= length
                    step[tuple(after)] += n
        ways = step
    return ways.get(tuple(0 for _ in counts), 0)


def cycle_lengths(perm, sites):
    """The cycle lengths of `perm` restricted to the set `sites` (which it maps onto itself)."""
    seen, lengths = set(), []
    for start in sites:
        if start in seen:
            continue
        length, at = 0, start
        while at not in seen:
            seen.add(at)
            at = int(perm[at])
            length += 1
        lengths.append(length)
    return lengths


def burnside(perms, orbits_counts) -> int:
    """The number of distinct configurations: the mean over the group of the
    configurations each operation fixes (Burnside's lemma), every orbit
    keeping its own composition."""
    total = 0
    for perm in perms:
        fixed = 1
        for sites, counts in orbits_counts:
            fixed *= fixed_colourings(cycle_lengths(perm, sites), counts)
        total += fixed
    assert total % len(perms) == 0
    return total // len(perms)


def arrangements(counts):
    """Every sequence holding counts[s] times species s, in lexicographic order."""
    total = sum(counts)
    if total == 0:
        yield ()
        return
    for s, left in enumerate(counts):
        if left:
            rest = list(counts)
            rest[s] -= 1
            for tail in arrangements(rest):
                yield (s,) + tail


def configurations(orbits_counts):
    """Every configuration: an array (n, m) of species numbers over the
    disordered sites in the order of orbits_counts."""
    per_orbit = [np.array(list(arrangements(counts)), dtype=np.int64)
                 for _, counts in orbits_counts]
    rows = [np.concatenate(parts) for parts in itertools.product(*per_orbit)]
    return np.array(rows)


def canonical_codes(perms, orbits_counts, configs):
    """Each configuration's canonical form: the smallest code (species numbers
    as digits over the disordered sites) of its images under the group."""
    sites = [s for orbit_sites, _ in orbits_counts for s in orbit_sites]
    column = {site: j for j, site in enumerate(sites)}
    base = max(len(c) for _, c in orbits_counts)
    powers = base ** np.arange(len(sites), dtype=np.int64)
    configs = np.atleast_2d(np.asarray(configs, dtype=np.int64))
    best = None
    for perm in perms:
        # The configuration moved by perm: site perm[s] takes what s held.
        moved = np.empty_like(configs)
        for j, site in enumerate(sites):
            moved[:, column[int(perm[site])]] = configs[:, j]
        codes = moved @ powers
        best = codes if best is None else np.minimum(best, codes)
    return best


def distinct_by_canonical_form(perms, orbits_counts):
    """Brute force: every configuration's canonical form, as {code: orbit size}."""
    return Counter(canonical_codes(perms, orbits_counts,
                                   configurations(orbits_counts)).tolist())


def reference_counts(path, matrix):
    """(configurations, distinct by Burnside, operations, orbits_counts, perms)
    of the structure at `path` in the supercell `matrix`."""
    cell = supercell(read_structure(path), matrix)
    perms = site_permutations(cell)
    orbits_counts = []
    for _, sites, occupancy in disordered_orbits(cell):
        counts = whole_counts(occupancy, len(sites))
        orbits_counts.append((sites, [counts[k] for k in sorted(counts)]))
    total = 1
    for _, counts in orbits_counts:
        total *= multinomial(counts)
    return total, burnside(perms, orbits_counts), len(perms), orbits_counts, perms


def ewald_energy(structure, acc_factor=16.0) -> float:
    """pymatgen's Ewald energy of an ordered structure, eV per cell."""
    from pymatgen.analysis.ewald import EwaldSummation
    return float(EwaldSummation(structure, acc_factor=acc_factor).total_energy)


def pymatgen_lowest(path, matrix, ranked=1):
    """pymatgen's ordering transformation (its Ewald minimiser) on the
    supercell: [(energy eV per cell, ordered Structure)], lowest first."""
    from pymatgen.transformations.standard_transformations import \
        OrderDisorderedStructureTransformation
    cell = supercell(read_structure(path), matrix)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        found = OrderDisorderedStructureTransformation().apply_transformation(
            cell, return_ranked_list=ranked)
    return [(float(item["energy"]), item["structure"]) for item in found]


def ewald_sum(lattice, frac, charges, alpha=0.5, digits=6.0):
    """The Ewald energy of point charges in a neutral periodic cell, e^2/A per
    cell: the real-space sum with erfc, the reciprocal sum and the self term
    (de Leeuw, Perram & Smith, Proc. R. Soc. A 373 (1980) 27). Both sums are
    cut where their terms fall below exp(-digits^2), about 1e-16 relative."""
    from scipy.special import erfc
    lattice = np.asarray(lattice, dtype=float)
    q = np.asarray(charges, dtype=float)
    cart = np.asarray(frac, dtype=float) @ lattice
    volume = abs(np.linalg.det(lattice))
    r_cut = digits / alpha
    k_cut = 2.0 * alpha * digits
    # Each pair at its nearest image, then every lattice vector within r_cut of it.
    heights = volume / np.linalg.norm(np.cross(lattice[[1, 2, 0]], lattice[[2, 0, 1]]), axis=1)
    reach = np.ceil(r_cut / heights).astype(int) + 1
    grid = np.array(list(itertools.product(*(range(-n, n + 1) for n in reach))))
    images = grid @ lattice
    frac = np.asarray(frac, dtype=float)
    energy = 0.0
    for i in range(len(q)):
        nearest = frac - frac[i]
        nearest -= np.round(nearest)
        d = (nearest @ lattice)[None, :, :] + images[:, None, :]
        r = np.linalg.norm(d, axis=2).ravel()
        qj = np.tile(q, len(images))
        keep = (r > 1e-10) & (r < r_cut)
        energy += 0.5 * q[i] * np.sum(qj[keep] * erfc(alpha * r[keep]) / r[keep])
    reciprocal = 2.0 * np.pi * np.linalg.inv(lattice).T
    reach_k = np.ceil(k_cut * np.linalg.norm(lattice, axis=1) / (2.0 * np.pi)).astype(int)
    grid_k = np.array(list(itertools.product(*(range(-n, n + 1) for n in reach_k))))
    k = grid_k @ reciprocal
    k2 = np.sum(k * k, axis=1)
    keep = (k2 > 1e-12) & (k2 < k_cut * k_cut)
    k, k2 = k[keep], k2[keep]
    structure_factor = np.exp(1j * (k @ cart.T)) @ q
    energy += (2.0 * np.pi / volume) * np.sum(np.exp(-k2 / (4 * alpha * alpha)) / k2
                                              * np.abs(structure_factor) ** 2)
    energy -= alpha / np.sqrt(np.pi) * np.sum(q * q)
    return float(energy)


def structure_ewald_sum(structure):
    """ewald_sum of an ordered pymatgen Structure with oxidation states."""
    charges = [site.specie.oxi_state for site in structure]
    return ewald_sum(structure.lattice.matrix, structure.frac_coords, charges)


def read_p1_cif(path):
    """The cell, the atoms and their charges of a P1 CIF as telva-order writes
    it: (lattice rows, fractional (n, 3), type symbols, charges). A reader of
    its own, so that the check does not go through the program's writer's
    assumptions (and pymatgen's CIF parser takes seconds for 88 atoms)."""
    cell, types, atoms = {}, {}, []
    loop, columns = None, []
    for raw in open(path, encoding="utf-8"):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        if line == "loop_":
            loop, columns = [], []
            continue
        if line.startswith("_"):
            word = line.split()
            if loop is not None and len(word) == 1 and not loop:
                columns.append(word[0])
                continue
            loop = None
            if word[0].startswith("_cell_"):
                cell[word[0]] = float(word[1])
            continue
        if loop is not None and columns:
            row = dict(zip(columns, line.split()))
            if "_atom_type_oxidation_number" in row:
                types[row["_atom_type_symbol"]] = float(row["_atom_type_oxidation_number"])
            elif "_atom_site_fract_x" in row:
                atoms.append(row)
    from pymatgen.core import Lattice
    lattice = Lattice.from_parameters(*(cell["_cell_" + k] for k in (
        "length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma")))
    frac = np.array([[float(a["_atom_site_fract_" + c]) for c in "xyz"] for a in atoms])
    symbols = [a["_atom_site_type_symbol"] for a in atoms]
    return lattice.matrix, frac, symbols, [types[s] for s in symbols]
