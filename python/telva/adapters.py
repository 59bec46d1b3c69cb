"""Crystals from the structures of pymatgen and ASE. Neither library is
imported until one of these is called; both are optional."""

from __future__ import annotations

import math
import numbers
from typing import Any, Mapping, Sequence

from .crystal import Crystal, Site


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
    sites = [Site(label, charge, x, y, z, occupancy=amount, element=symbol)
             for label, symbol, charge, amount, x, y, z in pymatgen_species(structure)]
    return Crystal(lattice.abc + lattice.angles, ["x,y,z"], sites,
                   formula=structure.composition.reduced_formula,
                   title=structure.composition.reduced_formula)


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
    symbols = atoms.get_chemical_symbols()
    if isinstance(charges, Mapping):
        missing = sorted(set(symbols) - set(charges))
        if missing:
            raise ValueError(f"no charge for {', '.join(missing)}: give charges for every "
                             f"element, e.g. {{'{missing[0]}': ...}}")
        values = [charges[s] for s in symbols]
    else:
        try:
            values = list(charges)
        except TypeError:
            raise TypeError("charges must be one number per atom or a dict by element") \
                from None
        if len(values) != len(symbols):
            raise ValueError(f"{len(values)} charges for {len(symbols)} atoms: give one per atom")
    for value in values:
        if isinstance(value, bool) or not isinstance(value, numbers.Real) \
                or not math.isfinite(value):
            raise ValueError(f"a charge must be a finite number, not {value!r}")
    positions = atoms.get_scaled_positions(wrap=False)
    counts: dict[str, int] = {}
    sites = []
    for symbol, charge, p in zip(symbols, values, positions):
        counts[symbol] = counts.get(symbol, 0) + 1
        sites.append(Site(f"{symbol}{counts[symbol]}", float(charge), float(p[0]), float(p[1]),
                          float(p[2]), element=symbol))
    formula = atoms.get_chemical_formula()
    return Crystal(tuple(float(v) for v in atoms.cell.cellpar()), ["x,y,z"], sites,
                   formula=formula, title=formula)
