"""Type stubs of telva._core, the compiled core (use the telva package)."""

from typing import Any, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

OperationRows = Sequence[tuple[float, int, int]]
SiteValues = tuple[str, float, float, float, float, float]

class SiteTable:
    """Sites as arrays: charges (n,), weights (n,), coordinates (n, 3)."""
    def __init__(self, charges: npt.ArrayLike, weights: npt.ArrayLike,
                 coordinates: npt.ArrayLike) -> None: ...
    def __len__(self) -> int: ...

# The crystal calls take the sites as a list of tuples or as a SiteTable.
Sites = Union[Sequence[SiteValues], SiteTable]

class ConversionError(ValueError): ...
class MemoryLimitError(ValueError, MemoryError): ...

__version__: str
ELECTRON_VOLTS_PER_UNIT: float
MEGAJOULES_PER_MOLE_PER_UNIT: float
MEMORY_LIMIT: int
DEFAULT_TABLE_LIMIT: int
RADIUS_FRACTION: float
SAME_POINT_TOLERANCE: float
NEUTRALITY_TOLERANCE: float
NOT_FINITE_TEXT: str

def read_input(path: str) -> dict[str, Any]: ...
def weights_as_group_fractions(weights: Sequence[float], group_order: int) -> list[float]: ...
def convert_cif(path: str, charges: Sequence[tuple[str, float]], strict: bool,
                radius: Optional[float] = ..., qmax: Optional[float] = ...) -> dict[str, Any]: ...
def operation_rows(text: str) -> list[tuple[float, int, int]]: ...
def check_crystal(lattice: Sequence[float], operations: Sequence[OperationRows],
                  inversion: bool, sites: Sites) -> None: ...
def site_geometry(lattice: Sequence[float], operations: Sequence[OperationRows],
                  inversion: bool, sites: Sites) -> tuple[Sequence[int], float]: ...
def largest_qmax(lattice: Sequence[float], limit: int) -> float: ...
def cell_volume(lattice: Sequence[float]) -> float: ...
def cell_parameters(lattice: Sequence[float]) -> list[float]: ...
def qmax_for_tolerance(charge: float, radius: float, tolerance: float) -> float: ...
def write_map(path: str, format: str, title: str, description: str, lattice: Sequence[float],
              operations: Sequence[OperationRows], inversion: bool,
              sites: Sequence[SiteValues], elements: Sequence[str],
              values: npt.ArrayLike) -> None: ...

Points = tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.int64],
               npt.NDArray[np.float64]]

class SphereComputation:
    radius: float
    qmax: float
    energy: float
    table_entries: int
    volume: float
    site_potentials: npt.NDArray[np.float64]
    def at(self, points: npt.ArrayLike, threads: Optional[int] = ...) -> Points: ...
    def grid(self, shape: Sequence[int], quantity: str,
             threads: Optional[int] = ...) -> npt.NDArray[np.float64]: ...

def compute_sphere(lattice: Sequence[float], operations: Sequence[OperationRows],
                   inversion: bool, sites: Sites, radius: float, qmax: float,
                   threads: Optional[int] = ..., max_memory: Optional[int] = ...
                   ) -> SphereComputation: ...

class EwaldComputation:
    energy: float
    site_potentials: npt.NDArray[np.float64]
    alpha: float
    cutoff: float
    range: float
    tolerance: float
    estimate: float
    table_entries: int
    def at(self, points: npt.ArrayLike, threads: Optional[int] = ...) -> Points: ...
    def grid(self, shape: Sequence[int], quantity: str,
             threads: Optional[int] = ...) -> npt.NDArray[np.float64]: ...

def compute_ewald(lattice: Sequence[float], operations: Sequence[OperationRows],
                  inversion: bool, sites: Sites, tolerance: float,
                  threads: Optional[int] = ..., max_memory: Optional[int] = ...
                  ) -> EwaldComputation: ...

class PmeComputation:
    energy: float
    site_potentials: npt.NDArray[np.float64]
    alpha: float
    cutoff: float
    tolerance: float
    estimate: float
    mesh: tuple[int, int, int]
    spline_order: int
    table_entries: int
    def at(self, points: npt.ArrayLike, threads: Optional[int] = ...) -> Points: ...
    def grid(self, shape: Sequence[int], quantity: str,
             threads: Optional[int] = ...) -> npt.NDArray[np.float64]: ...

def compute_pme(lattice: Sequence[float], operations: Sequence[OperationRows],
                inversion: bool, sites: Sequence[SiteValues], tolerance: float,
                threads: Optional[int] = ..., max_memory: Optional[int] = ...
                ) -> PmeComputation: ...
def split_method(lattice: Sequence[float], operations: Sequence[OperationRows],
                 inversion: bool, sites: Sequence[SiteValues], tolerance: float) -> str: ...
DEFAULT_CIF_TOLERANCE: float

# One species at one position of a disordered crystal: label, element, charge,
# occupancy, x, y, z (fractional).
OrderSpecies = tuple[str, str, float, float, float, float, float]

def order(source: Optional[str] = ..., *,
          lattice: Optional[Sequence[float]] = ...,
          operations: Optional[Sequence[str]] = ...,
          positions: Optional[Sequence[Sequence[OrderSpecies]]] = ...,
          supercell: str | Sequence[int] = ...,
          charges: Sequence[tuple[str, float]] = ...,
          guess_charges: bool = ..., block: str = ...,
          lowest: int = ..., random: int = ..., temperature: float = ...,
          tolerance: float = ..., max_configurations: int = ..., max_atoms: int = ...,
          occupancy_tolerance: float = ..., search: str = ..., seed: int = ...,
          steps: Optional[int] = ..., threads: Optional[int] = ...) -> dict[str, Any]:
    """telva-order's ranking of the orderings of a disordered crystal.

    Either `source`, the path of a CIF (read as telva-cif reads it; `charges` as
    (NAME, Z) pairs like --charge NAME=Z, `guess_charges`, `block`), or the crystal
    as arrays: `lattice` (a, b, c, alpha, beta, gamma), `operations` (coordinate
    triplets such as "-y,x,z+1/2"; ["x,y,z"] for P1) and `positions`, per position
    the list of its species (label, element, charge, occupancy, x, y, z); a
    vacancy fills a position's occupancy up to 1. `supercell`: "auto", "2x2x1",
    or nine integers (rows: supercell vectors in parent lattice vectors).
    Defaults as the program's: lowest=10, random=0, temperature=1000 K,
    tolerance=1e-8 e/A, max_configurations=1e8, max_atoms=1000,
    occupancy_tolerance=0.02, search="auto", seed=1, threads=all cores.

    Returns {"summary": the summary.json dict, "records": [{"rank",
    "energy_per_cell_ev", "energy_per_atom_ev", "above_lowest_per_atom_ev",
    "weight" (int), "probability", "lattice" (3x3 rows, A), "cell" (six
    parameters), "fractional" ((n, 3) array), "labels", "elements",
    "charges" (array), "file"}], "notes": [...], "warnings": [...]}. Raises
    ConversionError for every input the program refuses. Releases the GIL.
    """
    ...
