"""Maps written as volumetric files: Gaussian cube and XSF."""

from __future__ import annotations

import math
import os
import tempfile
from typing import TYPE_CHECKING, Any, Callable, TextIO

import numpy as np

if TYPE_CHECKING:
    from .crystal import Crystal

BOHR_PER_ANGSTROM = 1.0 / 0.529177210903  # CODATA 2018 Bohr radius

_ELEMENTS = ("H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu "
             "Zn Ga Ge As Se Br Kr Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba "
             "La Ce Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi "
             "Po At Rn Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr").split()


def atomic_number(element: str) -> int:
    """The atomic number of an element symbol; 0 when unknown."""
    try:
        return _ELEMENTS.index(element) + 1
    except ValueError:
        return 0


def cell_vectors(cell: tuple) -> np.ndarray:
    """The cell edges as Cartesian rows in A: a along x, b in the xy plane."""
    a, b, c, alpha, beta, gamma = cell
    ca, cb, cg = (math.cos(math.radians(v)) for v in (alpha, beta, gamma))
    sg = math.sin(math.radians(gamma))
    cx = c * cb
    cy = c * (ca - cb * cg) / sg
    cz = math.sqrt(max(c * c - cx * cx - cy * cy, 0.0))
    return np.array([[a, 0.0, 0.0], [b * cg, b * sg, 0.0], [cx, cy, cz]])


def cell_atoms(crystal: "Crystal") -> list[tuple[str, np.ndarray]]:
    """Every atom of the cell: (element, fractional position in [0, 1))."""
    from .crystal import _cell_images, _distinct, _metric
    from . import _core
    metric = _metric(crystal.cell)
    atoms = []
    for site in crystal.sites:
        images = _cell_images(crystal.operation_rows, crystal.inversion,
                              np.array([site.x, site.y, site.z]))
        for p in _distinct(images, metric, _core.SAME_POINT_TOLERANCE):
            atoms.append((site.element, p))
    return atoms


def _write_whole(path: Any, write: Callable[[TextIO], None]) -> None:
    """Writes through a scratch file beside `path`, renamed over it at the end."""
    target = os.fspath(path)
    folder = os.path.dirname(os.path.abspath(target))
    fd, scratch = tempfile.mkstemp(prefix="." + os.path.basename(target) + ".", dir=folder)
    try:
        with os.fdopen(fd, "w") as stream:
            write(stream)
        os.chmod(scratch, 0o666 & ~_umask())
        os.replace(scratch, target)
    except BaseException:
        if os.path.exists(scratch):
            os.remove(scratch)
        raise


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask


def write_cube(path: Any, crystal: "Crystal", values: np.ndarray) -> None:
    """A Gaussian cube file of a periodic grid (nodes at i/n), bohr lengths."""
    vectors = cell_vectors(crystal.cell) * BOHR_PER_ANGSTROM
    atoms = cell_atoms(crystal)
    n = values.shape

    def write(out: TextIO) -> None:
        out.write(f"{crystal.title or 'telva'}\npotential in e/A\n")
        out.write(f"{len(atoms):5d} {0:12.6f} {0:12.6f} {0:12.6f}\n")
        for i in range(3):
            step = vectors[i] / n[i]
            out.write(f"{n[i]:5d} {step[0]:12.6f} {step[1]:12.6f} {step[2]:12.6f}\n")
        for element, p in atoms:
            r = p @ vectors
            z = atomic_number(element)
            out.write(f"{z:5d} {float(z):12.6f} {r[0]:12.6f} {r[1]:12.6f} {r[2]:12.6f}\n")
        for i in range(n[0]):
            for j in range(n[1]):
                row = values[i, j, :]
                for start in range(0, n[2], 6):
                    out.write(" ".join(f"{v:13.5E}" for v in row[start:start + 6]) + "\n")

    _write_whole(path, write)


def write_xsf(path: Any, crystal: "Crystal", values: np.ndarray) -> None:
    """An XSF crystal with a periodic 3-D data grid (the general grid repeats
    the first node at the end of each axis), lengths in A."""
    vectors = cell_vectors(crystal.cell)
    atoms = cell_atoms(crystal)
    periodic = np.pad(values, [(0, 1)] * 3, mode="wrap")
    n = periodic.shape

    def write(out: TextIO) -> None:
        out.write("CRYSTAL\nPRIMVEC\n")
        for v in vectors:
            out.write(f" {v[0]:14.8f} {v[1]:14.8f} {v[2]:14.8f}\n")
        out.write(f"PRIMCOORD\n{len(atoms)} 1\n")
        for element, p in atoms:
            r = p @ vectors
            out.write(f"{atomic_number(element):3d} {r[0]:14.8f} {r[1]:14.8f} {r[2]:14.8f}\n")
        out.write("BEGIN_BLOCK_DATAGRID_3D\n telva_potential\n BEGIN_DATAGRID_3D_potential\n")
        out.write(f" {n[0]} {n[1]} {n[2]}\n 0.0 0.0 0.0\n")
        for v in vectors:
            out.write(f" {v[0]:14.8f} {v[1]:14.8f} {v[2]:14.8f}\n")
        # Fortran order: the first index runs fastest.
        flat = periodic.ravel(order="F")
        for start in range(0, flat.size, 6):
            out.write(" ".join(f"{v:13.5E}" for v in flat[start:start + 6]) + "\n")
        out.write(" END_DATAGRID_3D\nEND_BLOCK_DATAGRID_3D\n")

    _write_whole(path, write)
