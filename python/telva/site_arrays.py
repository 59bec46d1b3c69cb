"""The sites of a crystal held as numpy arrays, one row per site: what a
crystal of a million atoms holds instead of a million Site objects.

Labels and elements are made only when asked for: labels, when none were
given, number the atoms of each element in order ("Na1", "Na2", ..., "Cl1";
"X1", "X2", ... for atoms of no known element), as the structure adapters
always named them.
"""

from __future__ import annotations

from typing import Any

import numpy as np

from . import _core
from .site import Site, element_of_label


def numbered_labels(elements: np.ndarray) -> np.ndarray:
    """The element and the atom's place among the atoms of its element,
    counted from 1 in order ("X" for an unknown element)."""
    symbols = np.where(elements == "", "X", elements).astype(str)
    n = symbols.shape[0]
    if n == 0:
        return symbols
    kinds, group = np.unique(symbols, return_inverse=True)
    order = np.argsort(group, kind="stable")
    first = np.searchsorted(group[order], np.arange(kinds.shape[0]))
    rank = np.empty(n, dtype=np.int64)
    rank[order] = np.arange(n) - first[group[order]]
    return np.char.add(symbols, (rank + 1).astype(str))


def elements_of_labels(labels: np.ndarray) -> np.ndarray:
    """element_of_label of every label, formed once per distinct label."""
    kinds, group = np.unique(labels, return_inverse=True)
    return np.array([element_of_label(str(k)) for k in kinds], dtype=object)[group] \
        .astype(str) if kinds.size else np.array([], dtype=str)


class SiteArrays:
    """Sites as arrays: charges, occupancies, weights (W) and multiplicities
    of shape (n,), coordinates of shape (n, 3), fractional; labels and
    elements (n,) arrays of text, or None to be made when asked for."""

    __slots__ = ("charges", "occupancies", "weights", "multiplicities", "coordinates",
                 "_labels", "_elements", "_table")

    def __init__(self, charges: np.ndarray, coordinates: np.ndarray, occupancies: np.ndarray,
                 weights: np.ndarray, multiplicities: np.ndarray,
                 labels: np.ndarray | None, elements: np.ndarray | None) -> None:
        self.charges = charges
        self.coordinates = coordinates
        self.occupancies = occupancies
        self.weights = weights
        self.multiplicities = multiplicities
        self._labels = labels
        self._elements = elements
        self._table: Any = None
        for array in (charges, coordinates, occupancies, weights, multiplicities):
            array.setflags(write=False)

    def __getstate__(self) -> dict:
        # The core's table is made again where the arrays are unpickled.
        return {name: getattr(self, name) for name in self.__slots__ if name != "_table"}

    def __setstate__(self, state: dict) -> None:
        for name, value in state.items():
            object.__setattr__(self, name, value)
        self._table = None

    def __len__(self) -> int:
        return int(self.charges.shape[0])

    @property
    def elements(self) -> np.ndarray:
        if self._elements is None:
            if self._labels is None:
                self._elements = np.full(len(self), "", dtype=str)
            else:
                self._elements = elements_of_labels(self._labels)
        return self._elements

    @property
    def labels(self) -> np.ndarray:
        if self._labels is None:
            self._labels = numbered_labels(self.elements)
        return self._labels

    def table(self) -> Any:
        """The core's SiteTable of these sites, made once."""
        if self._table is None:
            self._table = _core.SiteTable(self.charges, self.weights, self.coordinates)
        return self._table

    def atoms_in_cell(self) -> float:
        """Sum of multiplicity x occupancy, added in order as a Python sum would."""
        if len(self) == 0:
            return 0.0
        return float(np.cumsum(self.multiplicities * self.occupancies)[-1])

    def values(self) -> list[tuple]:
        """(label, charge, W, x, y, z) of every site, as Python values."""
        xyz = self.coordinates.tolist()
        return [(str(label), charge, weight, p[0], p[1], p[2]) for label, charge, weight, p in
                zip(self.labels.tolist(), self.charges.tolist(), self.weights.tolist(), xyz)]

    def sites(self) -> list[Any]:
        """The Site objects of these arrays (the values were checked when the
        arrays were made)."""
        out = []
        for label, element, charge, p, occupancy, weight, multiplicity in zip(
                self.labels.tolist(), self.elements.tolist(), self.charges.tolist(),
                self.coordinates.tolist(), self.occupancies.tolist(), self.weights.tolist(),
                self.multiplicities.tolist()):
            site = Site.__new__(Site)
            site.label, site.element, site.charge = str(label), str(element), charge
            site.x, site.y, site.z = p
            site.occupancy, site.weight, site.multiplicity = occupancy, weight, int(multiplicity)
            out.append(site)
        return out
