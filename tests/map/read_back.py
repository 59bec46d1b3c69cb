"""Reads a map file with an independent reader and prints what it holds.

Usage: read_back.py cube|xsf|ccp4 FILE

Prints, one item a line: "cell" and the nine Cartesian components of a, b, c
in Angstrom; "grid" and the node counts; "atoms" and their count, then one
line "Z x y z" (Angstrom) per atom; "values" and their count, then the values
with the third index fastest. For XSF, the grid is the periodic one without
its repeated far faces, after a check that they repeat the first nodes.
"""
import sys

import numpy as np


def dump(cell, data, numbers, positions):
    print("cell", " ".join(repr(float(x)) for x in np.asarray(cell).reshape(9)))
    print("grid", " ".join(str(n) for n in data.shape))
    print("atoms", len(numbers))
    for z, p in zip(numbers, positions):
        print(int(z), " ".join(repr(float(x)) for x in p))
    flat = data.reshape(-1)
    print("values", flat.size)
    for v in flat:
        print(repr(float(v)))


def main():
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "cube":
        from ase.io.cube import read_cube_data
        data, atoms = read_cube_data(path)
        dump(atoms.cell[:], data, atoms.numbers, atoms.positions)
    elif kind == "xsf":
        from ase.io.xsf import read_xsf
        with open(path) as f:
            data, atoms = read_xsf(f, read_data=True)
        inner = data[:-1, :-1, :-1]
        periodic = (np.array_equal(data[-1, :, :], data[0, :, :])
                    and np.array_equal(data[:, -1, :], data[:, 0, :])
                    and np.array_equal(data[:, :, -1], data[:, :, 0]))
        if not periodic:
            print("far faces do not repeat the first nodes")
            sys.exit(1)
        dump(atoms.cell[:], inner, atoms.numbers, atoms.positions)
    elif kind == "ccp4":
        import gemmi
        m = gemmi.read_ccp4_map(path)
        m.setup(float("nan"))
        g = m.grid
        data = np.array(g, copy=False)
        # Columns of the orthogonalisation matrix are a, b, c.
        axes = np.array(g.unit_cell.orthogonalization_matrix.tolist()).T
        dump(axes, data, [], [])
    else:
        sys.exit("unknown kind " + kind)


main()
