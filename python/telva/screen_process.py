"""What telva-screen does with one CIF: convert it, compute it, and make its rows.

``process_cif(path, settings)`` is the processor run in each worker's child
process. It returns ``{"structure": {...}, "sites": [{...}, ...]}`` with the
fields of a ``structures.csv`` and of a ``sites.csv`` row (the path, sha256,
status, timing and worker are added by the caller), or raises an exception
whose text is the file's error message.
"""

import gzip
import math
import os
import re
import shutil
import tempfile

from telva.screen_tables import one_line

# eV per e^2/Angstrom: the factor of the listing's energies, e/(4 pi eps0 Angstrom) in V.
VOLTS_PER_E_PER_ANGSTROM = 14.3996517

_FORMULA_TERM = re.compile(r"([A-Z][a-z]?)\s*([0-9]*\.?[0-9]*)")


def formula_atoms(formula):
    """The number of atoms in a formula sum such as 'Al2 O3' or 'Ca F2'; None if unreadable."""
    text = formula.replace(" ", "")
    if not text or _FORMULA_TERM.sub("", text) != "":
        return None
    total = 0.0
    for _element, count in _FORMULA_TERM.findall(text):
        total += float(count) if count else 1.0
    return total


def formula_units(crystal):
    """Z: the CIF's _cell_formula_units_Z, else the atoms in the cell over those of the formula."""
    if crystal.formula_units:
        return int(crystal.formula_units)
    atoms = formula_atoms(crystal.formula or "")
    if not atoms:
        return None
    ratio = crystal.atoms_in_cell / atoms
    nearest = round(ratio)
    if nearest >= 1 and abs(ratio - nearest) < 1e-6 * max(1.0, ratio):
        return int(nearest)
    return None


def outcome(crystal, result):
    """The structure and site rows of one computed crystal."""
    potentials = [float(p) for p in result.site_potentials]
    if not all(math.isfinite(p) for p in potentials):
        raise ValueError("a site potential is not a finite number")
    volts = [p * VOLTS_PER_E_PER_ANGSTROM for p in potentials]
    z = formula_units(crystal)
    per_cell = float(result.energy.per_cell.ev)
    sites = []
    for site, phi, v in zip(crystal.sites, potentials, volts):
        sites.append(
            {
                "label": site.label,
                "element": site.element,
                "charge_e": float(site.charge),
                "occupancy": float(site.occupancy),
                "multiplicity": int(site.multiplicity),
                "x": float(site.x),
                "y": float(site.y),
                "z": float(site.z),
                "potential_v": v,
                "site_energy_ev": 0.5 * float(site.charge) * phi * VOLTS_PER_E_PER_ANGSTROM,
            }
        )

    def optional(name):
        value = getattr(result, name, None)
        return None if value is None else float(value)

    structure = {
        "message": one_line("\n".join(getattr(crystal, "warnings", None) or [])),
        "formula": crystal.formula,
        "z": z,
        "sites": len(crystal.sites),
        "operations": int(crystal.group_order),
        "atoms_in_cell": float(crystal.atoms_in_cell),
        "radius_angstrom": optional("radius"),
        "qmax_per_angstrom": optional("qmax"),
        "ewald_alpha_per_angstrom": optional("alpha"),
        "ewald_cutoff_angstrom": optional("cutoff"),
        "table_entries": int(result.table_entries),
        "energy_per_cell_ev": per_cell,
        "energy_per_formula_unit_ev": per_cell / z if z else None,
        "potential_min_v": min(volts) if volts else None,
        "potential_max_v": max(volts) if volts else None,
    }
    return {"structure": structure, "sites": sites}


def _convert(path, settings):
    import telva

    return telva.from_cif(
        path,
        charges=settings.get("charges") or None,
        guess_charges=bool(settings.get("guess_charges")),
        strict=bool(settings.get("strict")),
    )


def read_crystal(path, settings):
    """The crystal of a CIF, or of a gzip-compressed CIF unpacked to a temporary file."""
    if not path.lower().endswith(".gz"):
        return _convert(path, settings)
    folder = tempfile.mkdtemp(prefix="telva-screen-")
    try:
        unpacked = os.path.join(folder, os.path.basename(path)[:-3])
        try:
            with gzip.open(path, "rb") as packed, open(unpacked, "wb") as plain:
                shutil.copyfileobj(packed, plain)
        except (OSError, EOFError) as error:
            raise ValueError(f"{path}: not a readable gzip file: {error}") from None
        try:
            return _convert(unpacked, settings)
        except ValueError as error:
            raise type(error)(str(error).replace(unpacked, path)) from None
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def process_cif(path, settings):
    """Convert and compute one CIF with the run's settings."""
    crystal = read_crystal(path, settings)
    method = settings.get("method", "ewald")
    options = {"threads": 1, "max_memory": settings.get("max_memory")}
    if method != "sphere":
        options["tolerance"] = settings.get("tolerance", 1e-8)
    result = crystal.compute(method=method, **options)
    return outcome(crystal, result)
