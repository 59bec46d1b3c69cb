"""Crystals: the cell, the symmetry operations and the sites of the asymmetric
unit, from a TELVA input file, a CIF, plain Python values or numpy arrays.

A crystal holds its sites either as Site objects or, built from arrays, as
numpy arrays (labels, elements, charges, occupancies, coordinates, weights,
multiplicities); the Site objects of such a crystal are made when `sites` is
first asked for, and from then on they are the sites. Every computation hands
the core the sites as arrays."""

from __future__ import annotations

import math
import numbers
import os
import warnings
from typing import Any, Iterable, Mapping, Sequence

import numpy as np

from . import _core
from .result import Result, ewald_available
from .site import Site, _finite_number, element_of_label  # noqa: F401 (telva.crystal named it)
from .site_arrays import SiteArrays


def _site_from_value(value: Any, index: int) -> Site:
    """A Site from a Site, a mapping of its fields, or a tuple
    (label, charge, x, y, z[, occupancy])."""
    if isinstance(value, Site):
        return Site(value.label, value.charge, value.x, value.y, value.z, value.occupancy,
                    value.element, value.weight)
    if isinstance(value, Mapping):
        try:
            return Site(**value)
        except TypeError as error:
            raise TypeError(f"site {index}: {error}") from None
    if isinstance(value, (tuple, list)) and len(value) in (5, 6):
        return Site(*value)
    raise TypeError(f"site {index} must be a Site, a dict of its fields or a tuple "
                    f"(label, charge, x, y, z[, occupancy]), not {value!r}")


def _operation(value: Any, index: int) -> list:
    """The AxisCode rows of an operation given as "x,y,z" text or as rows."""
    if isinstance(value, str):
        return [tuple(row) for row in _core.operation_rows(value)]
    try:
        rows = [tuple(row) for row in value]
    except TypeError:
        raise TypeError(f"operation {index} must be text such as '-y,x,z+1/2' or three rows "
                        f"(translation, code1, code2), not {value!r}") from None
    if len(rows) != 3 or any(len(row) != 3 for row in rows):
        raise ValueError(f"operation {index} must have three rows (translation, code1, code2)")
    out = []
    for translation, code1, code2 in rows:
        t = _finite_number(translation, f"a translation of operation {index}")
        codes = []
        for code in (code1, code2):
            if isinstance(code, bool) or not isinstance(code, numbers.Integral):
                raise TypeError(f"an axis code of operation {index} must be a whole number")
            codes.append(int(code))
        out.append((t, codes[0], codes[1]))
    return out


class Crystal:
    """A crystal: cell, symmetry operations and the sites of the asymmetric unit.

    Crystal(cell, operations, sites, inversion=False, *, title='', formula='',
    formula_units=None)

    cell: a, b, c in Angstrom (at least 1) and alpha, beta, gamma in degrees.
    operations: the space group's operations, each as text ("x,y,z",
    "-y,x-y,z+1/3") or as three AxisCode rows (translation, code1, code2) with
    codes 0, +-1, +-2, +-3 for none, x, y, z; the identity among them. With
    inversion=True every operation also has its companion -op, not listed.
    sites: Site objects, dicts of their fields, or tuples
    (label, charge, x, y, z[, occupancy]).

    Attributes: title, formula ('' when unknown), formula_units (Z of the
    CIF, or None), cell (6 floats), operations (the number listed),
    group_order (with the inverted companions), inversion, sites (list of
    Site), atoms_in_cell (sum of multiplicity x occupancy), positions (an
    (n, 3) array: the position records of an input file), warnings, notes
    (what reading chose: W of a file taken as k/N by the Gaussian method).
    """

    def __init__(self, cell: Sequence[float], operations: Iterable[Any], sites: Iterable[Any],
                 inversion: bool = False, *, title: str = "", formula: str = "",
                 formula_units: int | None = None) -> None:
        cell_values = self._check_cell(cell)
        if isinstance(operations, (str, bytes)):
            raise TypeError("operations must be a list of operations, such as ['x,y,z']")
        rows = [_operation(op, i) for i, op in enumerate(operations)]
        if not rows:
            raise ValueError("no symmetry operations: give at least the identity, ['x,y,z']")
        site_list = [_site_from_value(s, i) for i, s in enumerate(sites)]
        if not site_list:
            raise ValueError("the structure has no sites: give at least one")
        for site in site_list:
            if not (0 < site.occupancy <= 1 + 1e-6):
                raise ValueError(f"site {site.label} has the occupancy {site.occupancy:g}, "
                                 f"outside (0, 1]")
        self._setup(cell_values, rows, bool(inversion), site_list, title, formula, formula_units)
        group_order = self.group_order
        unweighted = [site.weight is None for site in self.sites]
        for site, pending in zip(self.sites, unweighted):
            if pending:
                site.weight = 0.0  # until the multiplicity is known
        _core.check_crystal(self._lattice, self._rows, self.inversion, self._site_table())
        for site, multiplicity, pending in zip(self.sites, self._multiplicities(), unweighted):
            site.multiplicity = multiplicity
            if pending:
                site.weight = site.occupancy * multiplicity / group_order

    @staticmethod
    def _check_cell(cell: Sequence[float]) -> list[float]:
        try:
            values = list(cell)
        except TypeError:
            raise TypeError("cell must be six numbers: a, b, c, alpha, beta, gamma") from None
        if len(values) != 6:
            raise ValueError(f"cell must be six numbers (a, b, c, alpha, beta, gamma), "
                             f"not {len(values)}")
        names = ("a", "b", "c", "alpha", "beta", "gamma")
        values = [_finite_number(v, f"cell {n}") for v, n in zip(values, names)]
        for value, name in zip(values[:3], names):
            if value < 1:
                raise ValueError(f"cell {name} = {value:g} A: an edge must be at least 1 A")
        for value, name in zip(values[3:], names[3:]):
            if not 0 < value < 180:
                raise ValueError(f"cell {name} = {value:g} degrees: an angle must lie "
                                 f"between 0 and 180")
        _core.cell_volume(values)  # a cell of no volume: ValueError
        return values

    def _setup(self, lattice: Sequence[float], rows: list, inversion: bool, sites: list[Site],
               title: str, formula: str, formula_units: int | None) -> None:
        self._lattice = [float(v) for v in lattice]
        self._rows = rows
        self.inversion = inversion
        self._site_list: list[Site] | None = sites
        self._arrays: SiteArrays | None = None
        self._geometry: tuple[np.ndarray, float] | None = None
        self.title = str(title)
        self.formula = str(formula)
        self.formula_units = formula_units
        self.cell = tuple(_core.cell_parameters(self._lattice))
        self.positions = np.zeros((0, 3))
        self.warnings: list[str] = []
        self.notes: list[str] = []
        self._weights_from_file = False
        self._radius: float | None = None
        self._qmax: float | None = None

    @classmethod
    def _from_core(cls, values: Mapping[str, Any]) -> "Crystal":
        """A crystal of values as the core read them (input file or CIF)."""
        crystal = cls.__new__(cls)
        sites = []
        for label, charge, weight, x, y, z in values["sites"]:
            sites.append(Site(label.rstrip(), charge, x, y, z, weight=weight))
        crystal._setup(values["lattice"], [[tuple(r) for r in op] for op in values["operations"]],
                       bool(values["inversion"]), sites, values["title"].rstrip(),
                       values.get("formula", ""), None)
        crystal._radius = values["radius"]
        crystal._qmax = values["qmax"]
        # W as read holds nine columns (.02083333 for 4/192); the Gaussian
        # method takes the fraction k/N those digits round, once said here.
        crystal._weights_from_file = True
        weights = [s.weight for s in sites]
        snapped = sum(a != b for a, b in zip(
            weights, _core.weights_as_group_fractions(weights, crystal.group_order)))
        if snapped:
            crystal.notes.append(
                f"the Gaussian method takes W of {snapped} site{'s' if snapped > 1 else ''} "
                f"as k/{crystal.group_order}, the fraction the written digits round")
        return crystal

    @property
    def operations(self) -> int:
        """The number of operations listed (without inverted companions)."""
        return len(self._rows)

    @property
    def operation_rows(self) -> list:
        """The operations as AxisCode rows [(translation, code1, code2)] * 3."""
        return [list(op) for op in self._rows]

    @property
    def group_order(self) -> int:
        """The operations with their inverted companions."""
        return len(self._rows) * (2 if self.inversion else 1)

    @property
    def sites(self) -> list[Site]:
        """The sites as Site objects (made from the arrays on first use)."""
        if self._site_list is None:
            assert self._arrays is not None
            self._site_list = self._arrays.sites()
            self._arrays = None
            self._geometry = None
        return self._site_list

    @sites.setter
    def sites(self, sites: list[Site]) -> None:
        self._site_list = sites
        self._arrays = None
        self._geometry = None

    @property
    def site_count(self) -> int:
        """The number of sites, without making Site objects."""
        return len(self._site_list) if self._site_list is not None else len(self._arrays)

    @property
    def atoms_in_cell(self) -> float:
        """The sum of multiplicity x occupancy over the sites."""
        if self._site_list is None:
            return self._arrays.atoms_in_cell()
        return float(sum((s.multiplicity or 0) * s.occupancy for s in self.sites))

    def _charges(self) -> np.ndarray:
        if self._site_list is None:
            return self._arrays.charges
        return np.array([s.charge for s in self._site_list], dtype=np.float64)

    def _elements(self) -> list[str]:
        if self._site_list is None:
            return self._arrays.elements.tolist()
        return [s.element for s in self._site_list]

    def _site_values(self) -> list[tuple]:
        if self._site_list is None:
            return self._arrays.values()
        return [(s.label, s.charge, s.weight, s.x, s.y, s.z) for s in self.sites]

    def _site_table(self) -> Any:
        """The sites as the core's SiteTable of arrays: charges, W, x y z."""
        if self._site_list is None:
            return self._arrays.table()
        return _core.SiteTable(
            np.array([s.charge for s in self._site_list], dtype=np.float64),
            np.array([s.weight for s in self._site_list], dtype=np.float64),
            np.array([(s.x, s.y, s.z) for s in self._site_list],
                     dtype=np.float64).reshape(-1, 3))

    def _gaussian_site_table(self) -> Any:
        """The SiteTable of the Gaussian and mesh methods: a W read from a
        file taken as the fraction k/N its nine digits round."""
        if not self._weights_from_file:
            return self._site_table()
        values = self._site_values()
        weights = _core.weights_as_group_fractions([v[2] for v in values], self.group_order)
        return _core.SiteTable(
            np.array([v[1] for v in values], dtype=np.float64),
            np.array(weights, dtype=np.float64),
            np.array([v[3:] for v in values], dtype=np.float64).reshape(-1, 3))

    def _site_geometry(self) -> tuple[np.ndarray, float]:
        """(multiplicities, closest charged pair), formed once for a crystal
        of arrays; for Site objects (which may change) on every call."""
        if self._geometry is not None:
            return self._geometry
        geometry = _core.site_geometry(self._lattice, self._rows, self.inversion,
                                       self._site_table())
        if self._site_list is None:
            self._geometry = geometry
        return geometry

    def default_radius(self) -> float:
        """R as telva-cif chooses it: 0.45 x the shortest distance between
        charged atoms at different positions, rounded down to 0.001 A."""
        if self._radius is not None:
            return self._radius
        shortest = self._site_geometry()[1]
        if not math.isfinite(shortest):
            raise ValueError("no two charged atoms at different positions to take the sphere "
                             "radius from; give it with radius=R")
        return math.floor(_core.RADIUS_FRACTION * shortest * 1000.0) / 1000.0

    def _multiplicities(self) -> list[int]:
        """Each site's distinct atoms in the cell."""
        return [int(m) for m in self._site_geometry()[0]]

    def default_qmax(self, radius: float | None = None) -> float:
        """qmax as telva-cif chooses it: the smallest whose truncation estimate
        for the largest charge meets 1e-5 e/A, within the listing's table."""
        if self._qmax is not None:
            return self._qmax
        capped = _core.largest_qmax(self._lattice, _core.DEFAULT_TABLE_LIMIT)
        charges = self._charges()
        largest = float(np.max(np.abs(charges))) if charges.size else 0.0
        if largest == 0:
            return capped
        r = self.default_radius() if radius is None else radius
        return min(capped, _core.qmax_for_tolerance(largest, r, _core.DEFAULT_CIF_TOLERANCE))

    def compute(self, method: str = "auto", tolerance: float = 1e-8,
                radius: float | None = None, qmax: float | None = None,
                threads: int | None = None, max_memory: int | None = None) -> Result:
        """The site potentials and the energy.

        method="ewald" gives converged point-charge potentials within
        `tolerance` e/A by the direct Gaussian method, method="pme" the same
        by smooth particle-mesh Ewald (for large cells), and method="auto"
        (the default) whichever of the two is predicted to be faster; cells
        of fewer than 2000 atoms always take "ewald". method="sphere" gives the telva listing's
        numbers bit for bit, with the sphere radius `radius` (A) and the
        reciprocal-space range `qmax` (1/A); both default to the input file's
        values, or as telva-cif chooses them. `threads` caps the threads used
        (results are the same for every count); `max_memory` (bytes) bounds the
        table, refused with MemoryLimitError before anything is allocated.
        """
        if threads is not None and (isinstance(threads, bool)
                                    or not isinstance(threads, numbers.Integral)):
            raise TypeError("threads must be a whole number or None")
        if max_memory is not None:
            if isinstance(max_memory, bool) or not isinstance(max_memory, numbers.Integral):
                raise TypeError("max_memory must be a whole number of bytes or None")
            if max_memory <= 0:
                raise ValueError(f"max_memory must be a positive number of bytes, "
                                 f"not {max_memory}")
        if method == "sphere":
            r = self.default_radius() if radius is None else _finite_number(radius, "radius")
            q = self.default_qmax(r) if qmax is None else _finite_number(qmax, "qmax")
            if r <= 0:
                raise ValueError("radius of an ionic sphere must be a positive number")
            if q < 0:
                raise ValueError("qmax must be a non-negative number")
            core = _core.compute_sphere(self._lattice, self._rows, self.inversion,
                                        self._site_table(), r, q, threads, max_memory)
            return Result(self, "sphere", core, max_memory)
        if method in ("auto", "pme"):
            t = _finite_number(tolerance, "tolerance")
            if not t > 0:
                raise ValueError(f"tolerance must be a positive number of e/A, not {t:g}")
            if method == "auto":
                method = _core.split_method(self._lattice, self._rows, self.inversion,
                                            self._gaussian_site_table(), t)
            if method == "pme":
                core = _core.compute_pme(self._lattice, self._rows, self.inversion,
                                         self._gaussian_site_table(), t, threads, max_memory)
                return Result(self, "pme", core, max_memory)
        if method == "ewald":
            t = _finite_number(tolerance, "tolerance")
            if not t > 0:
                raise ValueError(f"tolerance must be a positive number of e/A, not {t:g}")
            if not ewald_available():
                raise NotImplementedError("this build of telva has no ewald method yet; "
                                          "use method='sphere'")
            core = _core.compute_ewald(self._lattice, self._rows, self.inversion,
                                       self._gaussian_site_table(), t, threads, max_memory)
            return Result(self, "ewald", core, max_memory)
        raise ValueError(f"method must be 'auto', 'ewald', 'pme' or 'sphere', not {method!r}")

    def __repr__(self) -> str:
        a, b, c, alpha, beta, gamma = self.cell
        return (f"<telva.Crystal {self.title or self.formula or 'untitled'!r}: "
                f"{self.site_count} sites, {self.group_order} operations, "
                f"cell {a:g} {b:g} {c:g} {alpha:g} {beta:g} {gamma:g}>")


def _existing_file(path: Any) -> str:
    text = os.fspath(path)
    if isinstance(text, bytes):
        text = os.fsdecode(text)
    if not os.path.exists(text):
        raise FileNotFoundError(2, "No such file or directory", text)
    if os.path.isdir(text):
        raise IsADirectoryError(21, "Is a directory", text)
    if not os.path.isfile(text):
        # A device or a pipe could be read without end.
        raise OSError(f"{text} is not a regular file")
    return text


def read_input(path: str | os.PathLike) -> Crystal:
    """A crystal from a TELVA input file, with its R and qmax as the sphere
    method's defaults and its position records in `positions`.

    Raises FileNotFoundError, OSError, or ValueError with telva's text for an
    input that telva refuses.
    """
    text = _existing_file(path)
    values = _core.read_input(text)
    crystal = Crystal._from_core(values)
    crystal.positions = np.array(values["positions"], dtype=float).reshape(-1, 3)
    order = crystal.group_order
    for site, multiplicity in zip(crystal.sites, crystal._multiplicities()):
        site.multiplicity = multiplicity
        # The file gives W; the occupancy is what W means for this multiplicity.
        site.occupancy = (site.weight * order / site.multiplicity if site.multiplicity
                          else 1.0)
    return crystal


def from_cif(path: str | os.PathLike, charges: Mapping[str, float] | None = None,
             guess_charges: bool = False, strict: bool = False,
             block: str | None = None) -> Crystal:
    """A crystal from a CIF, converted as telva-cif converts it.

    charges: {"O": -2, "Fe1": 3}, as telva-cif's --charge NAME=Z (a site label
    takes precedence over an element; "element:Fe", "label:Fe1" say which).
    guess_charges: charges read from the structure (bond-valence sums, common
    oxidation states) for the sites without one. strict:
    a charged cell or an atom inside a sphere is an error. block: the data
    block to read (default: the one with a structure). R and qmax of the
    sphere method default to telva-cif's choice. Raises ConversionError (a
    ValueError) with telva-cif's message, FileNotFoundError / OSError for the
    file. Warnings (a charged cell) are
    issued as UserWarning and kept in `warnings`.
    """
    text = _existing_file(path)
    pairs = []
    if charges is not None:
        if not isinstance(charges, Mapping):
            raise TypeError("charges must be a dict such as {'O': -2, 'Fe1': 3}")
        for name, value in charges.items():
            if not isinstance(name, str) or not name:
                raise ValueError(f"a charge must be named by a site label or an element, "
                                 f"not {name!r}")
            pairs.append((name, _finite_number(value, f"the charge of {name}")))
    if block is not None and not isinstance(block, str):
        raise TypeError("block must be the name of a data block")
    values = _core.convert_cif(text, pairs, bool(strict), bool(guess_charges), block or "")
    crystal = Crystal._from_core(values)
    units = values["formula_units"]
    crystal.formula_units = int(units) if units is not None and float(units).is_integer() \
        else units
    for site, element, occupancy, multiplicity in zip(
            crystal.sites, values["elements"], values["occupancies"], values["multiplicities"]):
        site.element = element
        site.occupancy = occupancy
        site.multiplicity = multiplicity
    crystal.warnings = list(values["warnings"])
    for warning in crystal.warnings:
        warnings.warn(f"{text}: {warning}", UserWarning, stacklevel=2)
    return crystal


def _cell_parameters(cell: Any) -> list[float]:
    """a, b, c, alpha, beta, gamma of six numbers, or of a 3x3 matrix whose
    rows are the edge vectors a, b, c in Angstrom (ASE's cell)."""
    try:
        array = np.asarray(cell, dtype=np.float64)
    except (TypeError, ValueError):
        raise ValueError("cell must be six numbers (a, b, c, alpha, beta, gamma) or a 3x3 "
                         "matrix whose rows are the edge vectors") from None
    if array.shape == (6,):
        return Crystal._check_cell([float(v) for v in array])
    if array.shape != (3, 3):
        raise ValueError(f"cell must be six numbers (a, b, c, alpha, beta, gamma) or a 3x3 "
                         f"matrix whose rows are the edge vectors, not of shape {array.shape}")
    if not np.all(np.isfinite(array)):
        raise ValueError("cell matrix must hold finite numbers")
    lengths = np.sqrt(np.sum(array * array, axis=1))
    if np.any(lengths == 0) or abs(np.linalg.det(array)) <= 1e-9 * float(np.prod(lengths)):
        raise ValueError("cell matrix has no volume: its three rows must be independent "
                         "edge vectors")

    def angle(u: np.ndarray, v: np.ndarray) -> float:
        cosine = float(np.dot(u, v) / (np.linalg.norm(u) * np.linalg.norm(v)))
        return math.degrees(math.acos(max(-1.0, min(1.0, cosine))))

    a, b, c = array
    return Crystal._check_cell([float(lengths[0]), float(lengths[1]), float(lengths[2]),
                                angle(b, c), angle(a, c), angle(a, b)])


def _array(value: Any, what: str, dtype: Any = np.float64) -> np.ndarray:
    try:
        array = np.array(value, dtype=dtype)  # a copy: the crystal's own
    except (TypeError, ValueError):
        raise ValueError(f"{what} must be numbers") from None
    return array


def _text_array(value: Any, what: str, n: int) -> np.ndarray:
    array = np.asarray(value)
    if array.shape != (n,):
        raise ValueError(f"{what} must be one per atom, an array of shape ({n},), "
                         f"not of shape {array.shape}")
    if array.dtype.kind not in "US":
        if not all(isinstance(v, str) for v in array.tolist()):
            raise ValueError(f"{what} must be text")
    return array.astype(str)


def from_arrays(cell: Any, fractional: Any, charges: Any, labels: Any = None, *,
                elements: Any = None, occupancies: Any = None, title: str = "",
                formula: str = "") -> Crystal:
    """A crystal in P1 from numpy arrays, without a Python object per atom.

    cell: six numbers a, b, c (Angstrom, at least 1) and alpha, beta, gamma
    (degrees), or a 3x3 matrix whose rows are the edge vectors a, b, c in
    Angstrom (as ASE's atoms.cell). fractional: the atoms' fractional
    coordinates, shape (n, 3). charges: their charges Z in e, shape (n,).
    labels: n texts, or None for "X1", "X2", ... (or by element, "Na1",
    "Na2", ..., when `elements` is given). elements: n symbols, or None for
    the labels' leading letters ('' without labels). occupancies: n values in
    (0, 1], default 1. Every atom is its own site of multiplicity 1 and W
    equal to its occupancy. Raises ValueError naming what is wrong (a shape, a
    length that differs from the coordinates', a value that is not finite).
    """
    parameters = _cell_parameters(cell)
    xyz = _array(fractional, "fractional coordinates")
    if xyz.ndim != 2 or xyz.shape[1] != 3:
        raise ValueError(f"fractional coordinates must be an array of shape (n, 3), "
                         f"not of shape {xyz.shape}")
    n = xyz.shape[0]
    if n == 0:
        raise ValueError("the structure has no sites: give at least one")
    bad = ~np.all(np.isfinite(xyz), axis=1)
    if bad.any():
        raise ValueError(f"fractional coordinates of atom {int(np.argmax(bad))} must be finite "
                         f"numbers, not {xyz[int(np.argmax(bad))].tolist()}")
    z = _array(charges, "charges")
    if z.shape != (n,):
        raise ValueError(f"charges must be one per atom, an array of shape ({n},), "
                         f"not of shape {z.shape}")
    if not np.all(np.isfinite(z)):
        i = int(np.argmax(~np.isfinite(z)))
        raise ValueError(f"the charge of atom {i} must be a finite number, not {z[i]}")
    if occupancies is None:
        occ = np.ones(n)
    else:
        occ = _array(occupancies, "occupancies")
        if occ.shape != (n,):
            raise ValueError(f"occupancies must be one per atom, an array of shape ({n},), "
                             f"not of shape {occ.shape}")
        outside = ~((occ > 0) & (occ <= 1 + 1e-6))
        if outside.any():
            i = int(np.argmax(outside))
            raise ValueError(f"the occupancy of atom {i} is {occ[i]:g}, outside (0, 1]")
    label_array = None if labels is None else _text_array(labels, "labels", n)
    element_array = None if elements is None else _text_array(elements, "elements", n)
    crystal = Crystal.__new__(Crystal)
    crystal._setup(parameters, [_operation("x,y,z", 0)], False, [], title, formula, None)
    # One operation, the identity: every atom has one image, and W is its
    # occupancy times 1 / 1.
    crystal._site_list = None
    crystal._arrays = SiteArrays(z, xyz, occ, occ * 1 / 1, np.ones(n, dtype=np.int64),
                                 label_array, element_array)
    return crystal
