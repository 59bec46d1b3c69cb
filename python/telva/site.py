"""One site of the asymmetric unit, and the element a label names."""

from __future__ import annotations

import math
import numbers
from typing import Any


def _finite_number(value: Any, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number, not {type(value).__name__}")
    number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{what} must be a finite number, not {number}")
    return number


def element_of_label(label: str) -> str:
    """The element symbol a site label starts with ("Na1" -> "Na", "O2" -> "O")."""
    letters = ""
    for char in label.strip():
        if not char.isalpha() or len(letters) == 2:
            break
        letters += char
    return letters[:1].upper() + letters[1:].lower()


class Site:
    """One site of the asymmetric unit.

    label: str; element: str ('' when unknown); charge: ionic charge Z in e;
    x, y, z: fractional coordinates; occupancy: in (0, 1];
    multiplicity: the site's distinct images in the cell; weight: W, the share
    of the site's charge that the computation gives it (occupancy times
    multiplicity over the group order unless set).
    """

    __slots__ = ("label", "element", "charge", "x", "y", "z", "occupancy", "multiplicity",
                 "weight")

    def __init__(self, label: str, charge: float, x: float, y: float, z: float,
                 occupancy: float = 1.0, element: str | None = None,
                 weight: float | None = None, multiplicity: int | None = None) -> None:
        if not isinstance(label, str):
            raise TypeError(f"a site label must be a string, not {type(label).__name__}")
        self.label = label
        self.element = element_of_label(label) if element is None else str(element)
        self.charge = _finite_number(charge, f"the charge of site {label}")
        self.x = _finite_number(x, f"x of site {label}")
        self.y = _finite_number(y, f"y of site {label}")
        self.z = _finite_number(z, f"z of site {label}")
        self.occupancy = _finite_number(occupancy, f"the occupancy of site {label}")
        self.weight = None if weight is None else _finite_number(weight, f"W of site {label}")
        self.multiplicity = multiplicity

    def __repr__(self) -> str:
        return (f"Site({self.label!r}, charge={self.charge:g}, x={self.x:g}, y={self.y:g}, "
                f"z={self.z:g}, occupancy={self.occupancy:g}, multiplicity={self.multiplicity}, "
                f"weight={self.weight!r})")
