"""Crystals from the structures of pymatgen and ASE. Neither library is
imported until one of these is called; both are optional. Both hand the
atoms over as arrays (telva.from_arrays): no Site object is made until
`crystal.sites` is asked for."""

from __future__ import annotations

import math
import numbers
from typing import Any, Mapping, Sequence

import numpy as np

from .crystal import Crystal, from_arrays


def _require(module: str, package: str, caller: str) -> Any:
    import importlib
    try:
        return importlib.import_module(module)
    except ImportError as error:
        raise ImportError(f"{caller} needs {package}, which is not installed "
                          f"(Debian: python3-{package.lower()}): {error}") from None


def from_pymatgen(structure: Any) -> Crystal:
    """A crystal (in P1) from a pymatgen Structure: charges from its species'
    oxidation states, partial occupancy from its site occupancies.

    Raises ImportError naming pymatgen when it is missing, TypeError for
    anything but a Structure, ValueError for a site without an oxidation state.
    """
    core = _require("pymatgen.core", "pymatgen", "from_pymatgen")
    if not isinstance(structure, core.Structure):
        raise TypeError(f"from_pymatgen takes a pymatgen Structure, not "
                        f"{type(structure).__name__}")
    if len(structure) == 0:
        raise ValueError("the structure has no sites: give at least one")
    lattice = structure.lattice
    # One row per species of each site. The sites' compositions are told
    # apart once per kind (a hash of pymatgen's objects per site is the only
    # Python work per atom); species, charges and symbols once per kind.
    kinds: dict = {}
    site_kind = np.array([kinds.setdefault(tuple(site.species.items()), len(kinds))
                          for site in structure], dtype=np.int64)
    species_index: dict = {}
    charges, symbols = [], []
    members, amounts = [], []  # per composition: its species' indices and amounts
    for composition in kinds:
        members.append([species_index.setdefault(sp, len(species_index))
                        for sp, _ in composition])
        amounts.append([float(amount) for _, amount in composition])
    for species in species_index:
        charges.append(getattr(species, "oxi_state", None))
        symbols.append(getattr(species, "symbol", str(species)))
    for k, charge in enumerate(charges):
        if charge is None:
            composition = next(c for c, m in enumerate(members) if k in m)
            index = int(np.argmax(site_kind == composition))
            raise ValueError(
                f"site {index} ({symbols[k]}) has no oxidation state: decorate the structure "
                f"first, e.g. structure.add_oxidation_state_by_element({{'{symbols[k]}': ...}}) "
                f"or structure.add_oxidation_state_by_guess()")
    # Rows in site order, each site's species in its composition's order.
    count = np.array([len(m) for m in members], dtype=np.int64)
    row_site = np.repeat(np.arange(len(structure)), count[site_kind])
    start = np.concatenate([[0], np.cumsum(count)])
    flat_species = np.array([k for m in members for k in m], dtype=np.int64)
    flat_amounts = np.array([a for m in amounts for a in m])
    first_row = np.concatenate([[0], np.cumsum(count[site_kind])])[:-1]
    within = np.arange(row_site.shape[0]) - np.repeat(first_row, count[site_kind])
    slot = np.repeat(start[site_kind], count[site_kind]) + within  # into the flat lists
    kind = flat_species[slot]
    # The structure's composition from the totals per species (summing the
    # sites' own compositions costs more than all the rest).
    totals = np.bincount(kind, weights=flat_amounts[slot], minlength=len(species_index))
    formula = core.Composition(dict(zip(species_index, totals.tolist()))).reduced_formula
    return from_arrays(lattice.abc + lattice.angles, structure.frac_coords[row_site],
                       np.array(charges, dtype=np.float64)[kind],
                       elements=np.array(symbols)[kind], occupancies=flat_amounts[slot],
                       formula=formula, title=formula)


def pymatgen_species(structure: Any, indices: Sequence[int] | None = None,
                     charges: Mapping[str, float] | None = None) -> list[tuple]:
    """The species of a pymatgen Structure's sites (all, or those of
    `indices`) as (label, element, charge, occupancy, x, y, z), labelled by
    element and count ("Fe1", "Fe2"); the charge from the oxidation state,
    or from `charges` by element. ValueError for a species without either."""
    out = []
    counts: dict[str, int] = {}
    for index in range(len(structure)) if indices is None else indices:
        site = structure[index]
        x, y, z = (float(v) for v in site.frac_coords)
        for species, amount in site.species.items():
            symbol = getattr(species, "symbol", str(species))
            charge = (charges or {}).get(symbol, getattr(species, "oxi_state", None))
            if charge is None:
                raise ValueError(
                    f"site {index} ({symbol}) has no oxidation state: decorate the structure "
                    f"first, e.g. structure.add_oxidation_state_by_element({{'{symbol}': ...}}) "
                    f"or structure.add_oxidation_state_by_guess()")
            counts[symbol] = counts.get(symbol, 0) + 1
            out.append((f"{symbol}{counts[symbol]}", symbol, float(charge), float(amount),
                        x, y, z))
    return out


def from_ase(atoms: Any, charges: Sequence[float] | Mapping[str, float]) -> Crystal:
    """A crystal (in P1) from an ASE Atoms object with a complete cell.

    charges: one number per atom, in order, or a dict by element symbol
    ({"Na": 1, "Cl": -1}). Raises ImportError naming ASE when it is missing,
    TypeError for anything but an Atoms object, ValueError for a missing or
    flat cell, or charges that do not fit the atoms.
    """
    ase = _require("ase", "ASE", "from_ase")
    if not isinstance(atoms, ase.Atoms):
        raise TypeError(f"from_ase takes an ASE Atoms object, not {type(atoms).__name__}")
    if len(atoms) == 0:
        raise ValueError("the structure has no sites: give at least one")
    if not all(atoms.pbc) or atoms.cell.rank < 3:
        raise ValueError("the Atoms object needs a complete periodic cell (pbc in all three "
                         "directions and three cell vectors)")
    numbers = np.asarray(atoms.numbers)
    kinds, kind = np.unique(numbers, return_inverse=True)
    data = _require("ase.data", "ASE", "from_ase")
    names = [data.chemical_symbols[int(z)] for z in kinds]
    symbols = np.array(names)[kind]
    if isinstance(charges, Mapping):
        missing = [name for name in names if name not in charges]
        if missing:
            raise ValueError(f"no charge for {', '.join(sorted(missing))}: give charges for "
                             f"every element, e.g. {{'{sorted(missing)[0]}': ...}}")
        for name in names:
            _check_charge(charges[name])
        values = np.array([float(charges[name]) for name in names])[kind]
    else:
        if isinstance(charges, (str, bytes)):
            raise TypeError("charges must be one number per atom or a dict by element")
        try:
            values = np.asarray(charges)
        except (TypeError, ValueError):
            raise TypeError("charges must be one number per atom or a dict by element") \
                from None
        if values.ndim != 1 or values.shape[0] != len(numbers):
            count = values.shape[0] if values.ndim == 1 else values.size
            raise ValueError(f"{count} charges for {len(numbers)} atoms: give one per atom")
        if values.dtype.kind not in "iuf" or not isinstance(charges, np.ndarray):
            # Python values: each checked (True is no charge, though numpy takes it as 1).
            for value in (charges if not isinstance(charges, np.ndarray) else values.tolist()):
                _check_charge(value)
        values = values.astype(np.float64)
        if not np.all(np.isfinite(values)):
            _check_charge(float(values[np.argmax(~np.isfinite(values))]))
    positions = atoms.get_scaled_positions(wrap=False)
    formula = atoms.get_chemical_formula()
    return from_arrays(tuple(float(v) for v in atoms.cell.cellpar()), positions, values,
                       elements=symbols, formula=formula, title=formula)


def _check_charge(value: Any) -> None:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real) \
            or not math.isfinite(value):
        raise ValueError(f"a charge must be a finite number, not {value!r}")
