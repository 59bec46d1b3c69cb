// The map file formats that crystal-visualisation programs read. Each writes
// the whole file to an open stream (the scratch file of an OutputFile).
#pragma once

#include <cstdio>
#include <string>

#include "map/map_file.hpp"

namespace telva {

// Gaussian cube: two comment lines, the atom count and origin, the three
// grid axes as node counts and steps, one line per atom (atomic number,
// charge, position), then the values with the third index fastest, six to a
// line and a new line after each row. Lengths in Bohr, as the format wants.
void writeCube(std::FILE* file, const MapFile& map);

// XSF: CRYSTAL with PRIMVEC and PRIMCOORD (Angstrom), then one
// DATAGRID_3D. The format's grids are periodic ("general") grids: they span
// the whole cell with the nodes of the far faces included, so the boundary
// nodes are written again, and the first index runs fastest.
void writeXsf(std::FILE* file, const MapFile& map);

// CCP4/MRC: the header as gemmi prepares it (single-precision values, mode
// 2, space group P1, the whole cell with the first index fastest), then the
// values.
void writeCcp4(std::FILE* file, const MapFile& map);

} // namespace telva
