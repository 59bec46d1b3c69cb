"""telva: electrostatic potentials and energies of ionic crystals.

    crystal = telva.from_cif("rutile.cif", charges={"Ti": 4, "O": -2})
    result = crystal.compute()                  # converged point charges (ewald)
    result.site_potentials                      # e/A, one per site
    listing = crystal.compute(method="sphere")  # the telva listing's numbers

Potentials are in e/A (times VOLTS_PER_UNIT, 14.3996517, in volts); energies
come in e^2/A, eV and kJ/mol.
"""

from ._core import ConversionError, MemoryLimitError
from ._core import __version__
from .adapters import from_ase, from_pymatgen
from .crystal import Crystal, Site, from_arrays, from_cif, read_input
from .order import Ordering, Orderings, order
from .result import KJ_PER_MOL_PER_UNIT, VOLTS_PER_UNIT, Energy, EnergyValue, Result

__all__ = [
    "ConversionError", "Crystal", "Energy", "EnergyValue", "KJ_PER_MOL_PER_UNIT",
    "MemoryLimitError", "Result", "Site", "VOLTS_PER_UNIT", "from_ase", "from_cif",
    "from_pymatgen", "read_input", "from_arrays",
    "Ordering", "Orderings", "order",
]
