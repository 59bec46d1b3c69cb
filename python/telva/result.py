"""What a computation returns: site potentials, energies, and the potential at
any point of the crystal."""

from __future__ import annotations

import os
from typing import Any, Protocol, Sequence

import numpy as np

from . import _core


class ComputedCrystal(Protocol):
    """What a result needs of the crystal it was computed for (a Crystal):
    the group order for the energy per cell, and for maps the title, the
    cell, the operations, the sites' values and elements. Named here so that
    this module does not import the crystal's, which imports it."""

    title: str
    inversion: bool
    _lattice: list[float]
    _rows: list

    @property
    def group_order(self) -> int: ...

    def _site_values(self) -> list[tuple]: ...

    def _elements(self) -> list[str]: ...

#: A potential in e/A times this is in volts; an energy in e^2/A times this is in eV.
VOLTS_PER_UNIT = _core.ELECTRON_VOLTS_PER_UNIT
#: An energy in e^2/A times this is in kJ/mol.
KJ_PER_MOL_PER_UNIT = _core.MEGAJOULES_PER_MOLE_PER_UNIT * 1000.0

QUANTITIES = ("phic", "phiw")


def ewald_available() -> bool:
    """Whether this build has the ewald method."""
    return hasattr(_core, "compute_ewald")


class EnergyValue:
    """One energy in three units: e2_per_angstrom, ev, kj_per_mol."""

    __slots__ = ("e2_per_angstrom", "ev", "kj_per_mol")

    def __init__(self, e2_per_angstrom: float) -> None:
        self.e2_per_angstrom = float(e2_per_angstrom)
        self.ev = self.e2_per_angstrom * VOLTS_PER_UNIT
        self.kj_per_mol = self.e2_per_angstrom * KJ_PER_MOL_PER_UNIT

    def __repr__(self) -> str:
        return f"{self.e2_per_angstrom:.6f} e^2/A = {self.ev:.5f} eV = {self.kj_per_mol:.3f} kJ/mol"


class Energy:
    """The electrostatic energy per asymmetric unit (0.5 sum Z W phi, the
    listing's figure) and per cell (times the group order)."""

    __slots__ = ("per_asymmetric_unit", "per_cell")

    def __init__(self, per_asymmetric_unit: float, group_order: int) -> None:
        self.per_asymmetric_unit = EnergyValue(per_asymmetric_unit)
        self.per_cell = EnergyValue(per_asymmetric_unit * group_order)

    def __repr__(self) -> str:
        return (f"Energy(per_asymmetric_unit={self.per_asymmetric_unit!r}, "
                f"per_cell={self.per_cell!r})")


class Result:
    """The result of Crystal.compute.

    method: 'sphere', 'ewald' or 'pme'. site_potentials: e/A, one per site of the
    crystal, in order. energy: Energy. table_entries: the reflections of the
    table's index box. radius, qmax: the sphere method's settings (None for
    ewald); alpha, cutoff, tolerance, estimate: the ewald method's (None for
    sphere); mesh, spline_order: the pme method's (None for the others).
    """

    def __init__(self, crystal: ComputedCrystal, method: str, core: Any,
                 max_memory: int | None = None) -> None:
        self._crystal = crystal
        self._memory_limit = _core.MEMORY_LIMIT if max_memory is None else int(max_memory)
        self._core = core
        self.method = method
        potentials = np.array(core.site_potentials, dtype=np.float64)
        potentials.setflags(write=False)
        self.site_potentials = potentials
        self.energy = Energy(core.energy, crystal.group_order)
        self.table_entries = int(core.table_entries)
        self.radius = getattr(core, "radius", None) if method == "sphere" else None
        self.qmax = getattr(core, "qmax", None) if method == "sphere" else None
        self.alpha = getattr(core, "alpha", None)
        self.cutoff = getattr(core, "cutoff", None)
        self.tolerance = getattr(core, "tolerance", None)
        self.estimate = getattr(core, "estimate", None)
        # The mesh method's (None for the others): nodes along a, b, c and
        # the B-splines' order.
        mesh = getattr(core, "mesh", None)
        self.mesh = tuple(mesh) if mesh is not None else None
        self.spline_order = getattr(core, "spline_order", None)

    def at(self, points: Any, threads: int | None = None
           ) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray]:
        """The potential at fractional points, an (n, 3) array.

        Returns (phiw, phic, neighbour, distance): phic, e/A, of all point
        charges (infinite on an atom); phiw without the neighbouring atom;
        neighbour, the index of that atom's site (-1 for none); distance to it
        in A (NaN for none). With the sphere method these are the listing's
        positions columns. `threads` caps the sphere method's threads; the
        ewald method uses the count given to compute().
        """
        array = np.asarray(points, dtype=np.float64)
        if array.ndim != 2 or array.shape[1] != 3:
            raise ValueError(f"points must be an (n, 3) array of fractional coordinates, "
                             f"not of shape {array.shape}")
        _check_nodes(array.shape[0], "points", self._memory_limit)
        return tuple(self._core.at(np.ascontiguousarray(array), threads))  # type: ignore

    def grid(self, shape: Sequence[int] | int, quantity: str = "phic",
             threads: int | None = None) -> np.ndarray:
        """The map on a grid of shape (n1, n2, n3) over the cell, nodes at
        (i/n1, j/n2, k/n3), as telva-map gives it: `quantity` 'phic' (a node on
        an atom holds phiw there), 'phiw', or with the sphere method
        'smeared' (the smeared charges alone), in e/A."""
        dims = _grid_shape(shape)
        if quantity not in QUANTITIES + ("smeared",):
            raise ValueError(f"quantity must be 'phic', 'phiw' or 'smeared', not {quantity!r}")
        _check_nodes(dims[0] * dims[1] * dims[2], "a grid", self._memory_limit)
        if quantity == "smeared" and self.method != "sphere":
            raise ValueError("quantity 'smeared' belongs to the sphere method: use "
                             "method='sphere'")
        return np.asarray(self._core.grid(list(dims), quantity, threads))

    def write_cube(self, path: Any, shape: Sequence[int] | int = 48, quantity: str = "phic",
                   unit: str = "V", threads: int | None = None) -> None:
        """Writes the grid map as a Gaussian cube file, as telva-map does
        (lengths in bohr, values in `unit` 'V' or 'e/A'); the file appears
        whole or not at all."""
        self._write_map(path, "cube", shape, quantity, unit, threads)

    def write_xsf(self, path: Any, shape: Sequence[int] | int = 48, quantity: str = "phic",
                  unit: str = "V", threads: int | None = None) -> None:
        """Writes the grid map as an XSF periodic data grid, as telva-map does
        (lengths in A, values in `unit` 'V' or 'e/A'); the file appears whole
        or not at all."""
        self._write_map(path, "xsf", shape, quantity, unit, threads)

    def write_ccp4(self, path: Any, shape: Sequence[int] | int = 48, quantity: str = "phic",
                   unit: str = "V", threads: int | None = None) -> None:
        """Writes the grid map as a CCP4/MRC map, as telva-map does; the file
        appears whole or not at all."""
        self._write_map(path, "ccp4", shape, quantity, unit, threads)

    def _write_map(self, path: Any, form: str, shape: Sequence[int] | int, quantity: str,
                   unit: str, threads: int | None) -> None:
        if unit not in ("V", "e/A"):
            raise ValueError(f"unit must be 'V' or 'e/A', not {unit!r}")
        target = os.fspath(path)
        values = self.grid(shape, quantity, threads)
        if unit == "V":
            values = values * VOLTS_PER_UNIT
        c = self._crystal
        _core.write_map(target, form, c.title, f"{quantity} in {unit}", c._lattice, c._rows,
                        c.inversion, c._site_values(), c._elements(), values)

    def __repr__(self) -> str:
        return (f"<telva.Result {self.method}: {len(self.site_potentials)} sites, "
                f"E = {self.energy.per_asymmetric_unit.e2_per_angstrom:.6f} e^2/A per "
                f"asymmetric unit>")


#: Bytes a grid node takes while it is computed: its point, the core's result
#: record and the four arrays returned.
BYTES_PER_NODE = 24 + 64 + 32


def _grid_shape(shape: Sequence[int] | int) -> tuple[int, int, int]:
    if isinstance(shape, (int, np.integer)) and not isinstance(shape, bool):
        dims = (int(shape),) * 3
    else:
        try:
            dims = tuple(int(n) if isinstance(n, (int, np.integer)) and not isinstance(n, bool)
                         else None for n in shape)  # type: ignore[union-attr]
        except TypeError:
            raise TypeError("shape must be a whole number or three of them") from None
        if len(dims) != 3 or None in dims:
            raise ValueError(f"shape must be three whole numbers, not {shape!r}")
    if min(dims) < 1:  # type: ignore[type-var]
        raise ValueError(f"every grid dimension must be at least 1, not {dims}")
    return dims  # type: ignore[return-value]


def _check_nodes(count: int, what: str, limit: int) -> None:
    """Refuses, before computing, points whose results would pass the memory limit."""
    if count * BYTES_PER_NODE > limit:
        raise _core.MemoryLimitError(
            f"insufficient memory: {what} of {count} nodes needs "
            f"{count * BYTES_PER_NODE / 1e6:.0f} MB, more than the limit of "
            f"{limit / 1e6:.0f} MB; use fewer points or raise max_memory")
