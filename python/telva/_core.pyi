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

ELECTRON_VOLTS_PER_UNIT: float
MEGAJOULES_PER_MOLE_PER_UNIT: float
MEMORY_LIMIT: int
DEFAULT_TABLE_LIMIT: int
RADIUS_FRACTION: float
SAME_POINT_TOLERANCE: float
NEUTRALITY_TOLERANCE: float
NOT_FINITE_TEXT: str

def read_input(path: str) -> dict[str, Any]: ...
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
