"""Orderings of a disordered crystal ranked by electrostatic energy, from
Python: telva-order's ranking on a CIF, a telva.Crystal with several sites at
one position, or a pymatgen Structure with partial occupancies.

    orderings = telva.order("spinel.cif", supercell="1x1x1", lowest=5)
    orderings.distinct, orderings.operations   # the exact counts
    best = orderings[0]
    best.energy_per_cell_ev, best.weight        # eV per supercell, orbit size
    best.crystal.compute()                      # the ordered P1 crystal
    best.structure                              # a pymatgen Structure
"""

from __future__ import annotations

import math
import numbers
import os
from fractions import Fraction
from typing import Any, Iterator, Mapping, Sequence

from . import _core
from .adapters import pymatgen_species
from .crystal import Crystal, Site

# Two sites closer than this in fractional coordinates share one position.
POSITION_TOLERANCE = 1e-6
AXES = ("x", "y", "z")


class Ordering:
    """One ranked ordering.

    rank (1 = lowest), energy_per_cell_ev (the supercell's Ewald energy),
    energy_per_atom_ev, above_lowest_per_atom_ev, weight (the configurations it
    stands for: its orbit under the supercell's group), probability
    (Boltzmann at the run's temperature, weights included), lattice (3x3
    rows, A), cell (six parameters), fractional ((n, 3)), labels, elements,
    charges; crystal, the ordered telva.Crystal in P1, and structure, a
    pymatgen Structure (None without pymatgen).
    """

    __slots__ = ("rank", "energy_per_cell_ev", "energy_per_atom_ev", "above_lowest_per_atom_ev",
                 "weight", "probability", "lattice", "cell", "fractional", "labels", "elements",
                 "charges", "_crystal", "_structure")

    def __init__(self, record: Mapping[str, Any]) -> None:
        self.rank = int(record["rank"])
        self.energy_per_cell_ev = float(record["energy_per_cell_ev"])
        self.energy_per_atom_ev = float(record["energy_per_atom_ev"])
        self.above_lowest_per_atom_ev = float(record["above_lowest_per_atom_ev"])
        self.weight = int(record["weight"])
        self.probability = float(record["probability"])
        self.lattice = [list(map(float, row)) for row in record["lattice"]]
        self.cell = tuple(float(v) for v in record["cell"])
        self.fractional = record["fractional"]
        self.labels = list(record["labels"])
        self.elements = list(record["elements"])
        self.charges = record["charges"]
        self._crystal: Crystal | None = None
        self._structure: Any = None

    @property
    def crystal(self) -> Crystal:
        """The ordering as a telva.Crystal in P1 (made when first asked for)."""
        if self._crystal is None:
            sites = [Site(label, float(q), float(p[0]), float(p[1]), float(p[2]), element=element)
                     for label, element, q, p in zip(self.labels, self.elements, self.charges,
                                                     self.fractional)]
            self._crystal = Crystal(self.cell, ["x,y,z"], sites,
                                    title=f"ordering {self.rank}")
        return self._crystal

    @property
    def structure(self) -> Any:
        """The ordering as a pymatgen Structure with oxidation states, or None
        when pymatgen is not installed."""
        if self._structure is None:
            try:
                from pymatgen.core import Lattice, Species, Structure
            except ImportError:
                return None
            species = [Species(element, float(q)) for element, q in
                       zip(self.elements, self.charges)]
            self._structure = Structure(Lattice(self.lattice), species, self.fractional,
                                        site_properties={"label": self.labels})
        return self._structure

    def __repr__(self) -> str:
        return (f"Ordering(rank={self.rank}, energy_per_cell_ev={self.energy_per_cell_ev:.6f}, "
                f"weight={self.weight}, probability={self.probability:.4g})")


class Orderings:
    """The ranking: summary (the program's summary.json as a dict), records
    (list of Ordering, lowest first), notes and warnings (the program's
    lines); configurations, distinct, operations, search, complete and
    supercell from the summary. Iterating or indexing gives the records."""

    def __init__(self, result: Mapping[str, Any]) -> None:
        self.summary = dict(result["summary"])
        self.records = [Ordering(r) for r in result["records"]]
        self.notes = list(result.get("notes", []))
        self.warnings = list(result.get("warnings", []))

    def _count(self, key: str) -> int:
        # Counts beyond 2^53 come as decimal text.
        return int(self.summary[key])

    @property
    def configurations(self) -> int:
        return self._count("configurations")

    @property
    def distinct(self) -> int:
        return self._count("distinct")

    @property
    def operations(self) -> int:
        return int(self.summary["operations"])

    @property
    def search(self) -> str:
        return str(self.summary["search"])

    @property
    def complete(self) -> bool:
        return bool(self.summary["complete"])

    @property
    def supercell(self) -> list:
        return [list(row) for row in self.summary["supercell"]]

    def __len__(self) -> int:
        return len(self.records)

    def __iter__(self) -> Iterator[Ordering]:
        return iter(self.records)

    def __getitem__(self, index: int) -> Ordering:
        return self.records[index]

    def __repr__(self) -> str:
        return (f"Orderings(configurations={self.configurations}, distinct={self.distinct}, "
                f"operations={self.operations}, search={self.search!r}, "
                f"records={len(self.records)})")


def _term(value: float, axis: str) -> str:
    return "" if value == 0 else ("+" if value > 0 else "-") + axis


def _axis_row_text(translation: float, code1: int, code2: int) -> str:
    """One coordinate of an operation, from its AxisCode row (codes +-1..3 for
    +-x, +-y, +-z, 0 for none), as text such as "-y+1/2"."""
    text = ""
    for code in (code1, code2):
        if code:
            text += ("-" if code < 0 else "+") + AXES[abs(code) - 1]
    fraction = Fraction(translation).limit_denominator(48)
    if abs(float(fraction) - translation) > 1e-9:
        raise ValueError(f"the translation {translation!r} of an operation is no simple fraction")
    if fraction:
        text += ("+" if fraction > 0 else "-") + str(abs(fraction))
    return text.lstrip("+") or "0"


def _operations_of(crystal: Crystal) -> list[str]:
    """The crystal's operations as coordinate triplets, the inverted
    companions (-op) written out."""
    texts = []
    for op in crystal.operation_rows:
        texts.append(",".join(_axis_row_text(*row) for row in op))
        if crystal.inversion:
            texts.append(",".join(_axis_row_text(-t, -c1, -c2) for t, c1, c2 in op))
    return texts


def _group_positions(entries: Sequence[tuple]) -> list[list[tuple]]:
    """Species (label, element, charge, occupancy, x, y, z) grouped by the
    position they stand at (closer than POSITION_TOLERANCE, modulo 1)."""
    positions: list[list[tuple]] = []
    for entry in entries:
        for group in positions:
            head = group[0]
            if all(abs((a - b + 0.5) % 1.0 - 0.5) < POSITION_TOLERANCE
                   for a, b in zip(entry[4:], head[4:])):
                group.append(entry)
                break
        else:
            positions.append([entry])
    return positions


def _positions_of_crystal(crystal: Crystal, charges: Mapping[str, float]) -> list[list[tuple]]:
    """The positions of a telva.Crystal: its sites, several at one position
    with their occupancies; a charge in `charges` named by label or element
    replaces the site's."""
    entries = []
    for site in crystal.sites:
        charge = charges.get(site.label, charges.get(site.element, site.charge))
        entries.append((site.label, site.element, float(charge), float(site.occupancy),
                        site.x, site.y, site.z))
    return _group_positions(entries)


def _crystal_of_structure(structure: Any, charges: Mapping[str, float]):
    """(cell, operations, positions) of a pymatgen Structure: every site a
    position with its species and occupancies, the charges from the
    oxidation states (or `charges` by element); the operations of the
    structure's own group, found with the occupancies as kinds of atom, so
    that equivalent positions form one orbit."""
    from pymatgen.symmetry.analyzer import SpacegroupAnalyzer
    try:
        analyzer = SpacegroupAnalyzer(structure, symprec=1e-3)
        operations = analyzer.get_symmetry_operations()
        # One site of each class of equivalent sites: the group makes the rest.
        kept = [group[0] for group in analyzer.get_symmetrized_structure().equivalent_indices]
    except Exception:  # spglib finds no group: the translations alone
        operations, kept = [], list(range(len(structure)))
    texts = ["x,y,z"]
    for op in operations:
        rows = []
        for r, t in zip(op.rotation_matrix, op.translation_vector):
            coefficients = [int(round(v)) for v in r]
            if any(abs(c) > 1 for c in coefficients) or sum(map(abs, coefficients)) > 2:
                break  # not a coordinate triplet of the kind the reader takes
            text = "".join(_term(c, a) for c, a in zip(coefficients, AXES))
            fraction = Fraction(float(t) % 1.0).limit_denominator(48)
            if fraction:
                text += "+" + str(fraction)
            rows.append(text.lstrip("+") or "0")
        else:
            if ",".join(rows) not in texts:
                texts.append(",".join(rows))
            continue
        # An operation the triplets cannot say: every site in P1 instead.
        texts, kept = ["x,y,z"], list(range(len(structure)))
        break
    entries = pymatgen_species(structure, sorted(kept), charges)
    lattice = structure.lattice
    return list(lattice.abc + lattice.angles), texts, _group_positions(entries)


def _charge_pairs(charges: Any) -> list[tuple[str, float]]:
    if charges is None:
        return []
    items = charges.items() if isinstance(charges, Mapping) else charges
    pairs = []
    for item in items:
        try:
            name, value = item
        except (TypeError, ValueError):
            raise TypeError("charges must be a dict {name: Z} or (name, Z) pairs") from None
        if isinstance(value, bool) or not isinstance(value, numbers.Real) \
                or not math.isfinite(value):
            raise ValueError(f"the charge of {name} must be a finite number, not {value!r}")
        pairs.append((str(name), float(value)))
    return pairs


def order(source: Any, supercell: str | Sequence[int] = "auto", lowest: int = 10,
          random: int | None = None, charges: Any = None, guess_charges: bool = False,
          temperature: float = 1000.0, tolerance: float = 1e-8,
          max_configurations: int = 10**8, max_atoms: int = 1000,
          occupancy_tolerance: float = 0.02, search: str = "auto", seed: int = 1,
          threads: int | None = None, block: str | None = None,
          steps: int | None = None) -> Orderings:
    """The symmetry-distinct orderings of a disordered crystal ranked by Ewald
    energy, as telva-order ranks them.

    source: the path of a CIF (read as telva-cif reads it), a telva.Crystal
    with several sites at one position and their occupancies, or a pymatgen
    Structure with partial occupancies and oxidation states. A position's
    occupancy below 1 is filled with vacancies.
    supercell: "auto" (the smallest in which every occupancy is a whole
    number of atoms), "2x2x1", or nine integers (rows: the supercell vectors
    in parent lattice vectors). lowest: the orderings returned, lowest
    first; random=N returns N drawn uniformly over the distinct orderings
    instead. charges: {name: Z} (label, element or type, as --charge) over
    those of the source; guess_charges: charge-balanced guesses for a CIF.
    temperature (K) for the probabilities; tolerance (e/A) on the potentials;
    max_configurations: distinct orderings ranked exhaustively; max_atoms
    and occupancy_tolerance for the automatic supercell; search "auto",
    "exhaustive" or "stochastic" (seed, steps: swaps per annealing run);
    threads: None for all cores (the result does not depend on it).

    Returns Orderings. Raises ValueError (telva.ConversionError) with the
    program's text for every input it refuses: no disorder, occupancies
    that fit no supercell, a net charge, a determinant <= 0, more distinct
    orderings than max_configurations with search="exhaustive".
    """
    pairs = _charge_pairs(charges)
    options: dict[str, Any] = dict(
        supercell=supercell if isinstance(supercell, str) else [int(v) for v in supercell],
        lowest=int(lowest), random=0 if random is None else int(random),
        temperature=float(temperature), tolerance=float(tolerance),
        max_configurations=int(max_configurations), max_atoms=int(max_atoms),
        occupancy_tolerance=float(occupancy_tolerance), search=str(search), seed=int(seed),
        steps=steps, threads=threads)
    if isinstance(source, (str, os.PathLike)):
        path = os.fspath(source)
        if not os.path.isfile(path):
            raise FileNotFoundError(f"no CIF at {path!r}")
        result = _core.order(path, charges=pairs, guess_charges=bool(guess_charges),
                             block=block or "", **options)
        return Orderings(result)
    if guess_charges or block:
        raise ValueError("guess_charges and block apply to a CIF path only")
    by_name = dict(pairs)
    if isinstance(source, Crystal):
        lattice, operations = list(source.cell), _operations_of(source)
        positions = _positions_of_crystal(source, by_name)
        if all(len(p) == 1 and p[0][3] >= 1 for p in positions):
            raise ValueError("no disorder: every site of the crystal is alone at its position "
                             "at full occupancy (telva.from_cif folds the species of a mixed "
                             "position into one averaged site): give the CIF's path instead, "
                             "or sites that share a position with their occupancies")
    elif type(source).__name__ in ("Structure", "IStructure") and \
            type(source).__module__.startswith("pymatgen"):
        lattice, operations, positions = _crystal_of_structure(source, by_name)
    else:
        raise TypeError(f"order takes a CIF path, a telva.Crystal or a pymatgen Structure, "
                        f"not {type(source).__name__}")
    result = _core.order(lattice=lattice, operations=operations, positions=positions,
                         **options)
    return Orderings(result)
