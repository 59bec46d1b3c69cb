"""Type stubs of the telva package."""

import os
from typing import Any, Iterable, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

from ._core import ConversionError as ConversionError
from ._core import MemoryLimitError as MemoryLimitError

VOLTS_PER_UNIT: float
KJ_PER_MOL_PER_UNIT: float
__version__: str

PathLike = Union[str, os.PathLike[str]]
Arrays = tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.int64],
               npt.NDArray[np.float64]]

class Site:
    label: str
    element: str
    charge: float
    x: float
    y: float
    z: float
    occupancy: float
    multiplicity: Optional[int]
    weight: Optional[float]
    def __init__(self, label: str, charge: float, x: float, y: float, z: float,
                 occupancy: float = ..., element: Optional[str] = ...,
                 weight: Optional[float] = ..., multiplicity: Optional[int] = ...) -> None: ...

class EnergyValue:
    e2_per_angstrom: float
    ev: float
    kj_per_mol: float

class Energy:
    per_asymmetric_unit: EnergyValue
    per_cell: EnergyValue

class Result:
    method: str
    site_potentials: npt.NDArray[np.float64]
    energy: Energy
    table_entries: int
    radius: Optional[float]
    qmax: Optional[float]
    alpha: Optional[float]
    cutoff: Optional[float]
    tolerance: Optional[float]
    mesh: Optional[tuple[int, int, int]]
    spline_order: Optional[int]
    estimate: Optional[float]
    def at(self, points: npt.ArrayLike, threads: Optional[int] = ...) -> Arrays: ...
    def grid(self, shape: Union[int, Sequence[int]], quantity: str = ...,
             threads: Optional[int] = ...) -> npt.NDArray[np.float64]: ...
    def write_cube(self, path: PathLike, shape: Union[int, Sequence[int]] = ...,
                   quantity: str = ..., unit: str = ..., threads: Optional[int] = ...) -> None: ...
    def write_xsf(self, path: PathLike, shape: Union[int, Sequence[int]] = ...,
                  quantity: str = ..., unit: str = ..., threads: Optional[int] = ...) -> None: ...
    def write_ccp4(self, path: PathLike, shape: Union[int, Sequence[int]] = ...,
                   quantity: str = ..., unit: str = ..., threads: Optional[int] = ...) -> None: ...

class Crystal:
    title: str
    formula: str
    formula_units: Optional[int]
    cell: tuple[float, float, float, float, float, float]
    inversion: bool
    sites: list[Site]
    positions: npt.NDArray[np.float64]
    warnings: list[str]
    notes: list[str]
    def __init__(self, cell: Sequence[float], operations: Iterable[Any],
                 sites: Iterable[Any], inversion: bool = ..., *, title: str = ...,
                 formula: str = ..., formula_units: Optional[int] = ...) -> None: ...
    @property
    def operations(self) -> int: ...
    @property
    def operation_rows(self) -> list[list[tuple[float, int, int]]]: ...
    @property
    def group_order(self) -> int: ...
    @property
    def atoms_in_cell(self) -> float: ...
    @property
    def site_count(self) -> int: ...
    def default_radius(self) -> float: ...
    def default_qmax(self, radius: Optional[float] = ...) -> float: ...
    def compute(self, method: str = ..., tolerance: float = ..., radius: Optional[float] = ...,
                qmax: Optional[float] = ..., threads: Optional[int] = ...,
                max_memory: Optional[int] = ...) -> Result: ...

def read_input(path: PathLike) -> Crystal: ...
def from_cif(path: PathLike, charges: Optional[Mapping[str, float]] = ...,
             guess_charges: bool = ..., strict: bool = ..., block: Optional[str] = ...
             ) -> Crystal: ...
def from_pymatgen(structure: Any) -> Crystal: ...
def from_ase(atoms: Any, charges: Union[Sequence[float], Mapping[str, float]]) -> Crystal: ...

class Ordering:
    rank: int
    energy_per_cell_ev: float
    energy_per_atom_ev: float
    above_lowest_per_atom_ev: float
    weight: int
    probability: float
    lattice: list[list[float]]
    cell: tuple[float, ...]
    fractional: npt.NDArray[np.float64]
    labels: list[str]
    elements: list[str]
    charges: npt.NDArray[np.float64]
    @property
    def crystal(self) -> Crystal: ...
    @property
    def structure(self) -> Any: ...

class Orderings:
    summary: dict[str, Any]
    records: list[Ordering]
    notes: list[str]
    warnings: list[str]
    @property
    def configurations(self) -> int: ...
    @property
    def distinct(self) -> int: ...
    @property
    def operations(self) -> int: ...
    @property
    def search(self) -> str: ...
    @property
    def complete(self) -> bool: ...
    @property
    def supercell(self) -> list[list[int]]: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterable[Ordering]: ...
    def __getitem__(self, index: int) -> Ordering: ...

def order(source: Any, supercell: Union[str, Sequence[int]] = ..., lowest: int = ...,
          random: Optional[int] = ..., charges: Any = ..., guess_charges: bool = ...,
          temperature: float = ..., tolerance: float = ..., max_configurations: int = ...,
          max_atoms: int = ..., occupancy_tolerance: float = ..., search: str = ...,
          seed: int = ..., threads: Optional[int] = ..., block: Optional[str] = ...,
          steps: Optional[int] = ...) -> Orderings: ...

def from_arrays(cell: npt.ArrayLike, fractional: npt.ArrayLike, charges: npt.ArrayLike,
                labels: Optional[Sequence[str]] = ..., *,
                elements: Optional[Sequence[str]] = ..., occupancies: Optional[npt.ArrayLike] = ...,
                title: str = ..., formula: str = ...) -> Crystal: ...
