// The two text formats: Gaussian cube and XSF.
#include <cmath>

#include "base/version.hpp"

#include "map/elements.hpp"
#include "map/map_writers.hpp"

namespace telva {

namespace {

std::string oneLine(const std::string& text) {
  std::string line = text;
  for (char& ch : line)
    if (ch == '\n' || ch == '\r') ch = ' ';
  return line;
}

} // namespace

void writeCube(std::FILE* f, const MapFile& map) {
  const GridSize& g = map.grid;
  const double toBohr = 1 / bohrInAngstrom;
  std::fprintf(f, "%s\n", oneLine(map.title).c_str());
  std::fprintf(f, "%s on a %d x %d x %d grid, written by telva-map %s\n",
               oneLine(map.description).c_str(), g.n1, g.n2, g.n3, version);
  std::fprintf(f, "%5zu %12.6f %12.6f %12.6f\n", map.atoms.size(), 0.0, 0.0, 0.0);
  const int counts[3] = {g.n1, g.n2, g.n3};
  for (int axis = 0; axis < 3; ++axis) {
    const double step = toBohr / counts[axis];
    std::fprintf(f, "%5d %12.6f %12.6f %12.6f\n", counts[axis], map.axes[axis][0] * step,
                 map.axes[axis][1] * step, map.axes[axis][2] * step);
  }
  for (const CellAtom& atom : map.atoms) {
    const auto r = cartesian(map.axes, atom.x, atom.y, atom.z);
    std::fprintf(f, "%5d %12.6f %12.6f %12.6f %12.6f\n", atomicNumber(atom.element), atom.charge,
                 r[0] * toBohr, r[1] * toBohr, r[2] * toBohr);
  }
  for (int i = 0; i < g.n1; ++i)
    for (int j = 0; j < g.n2; ++j) {
      for (int k = 0; k < g.n3; ++k)
        std::fprintf(f, (k % 6 == 5 || k + 1 == g.n3) ? " %13.6E\n" : " %13.6E",
                     map.values[g.index(i, j, k)]);
    }
}

void writeXsf(std::FILE* f, const MapFile& map) {
  const GridSize& g = map.grid;
  std::fprintf(f, "# %s\n# %s, written by telva-map %s\n", oneLine(map.title).c_str(),
               oneLine(map.description).c_str(), version);
  std::fprintf(f, "CRYSTAL\nPRIMVEC\n");
  for (const auto& axis : map.axes)
    std::fprintf(f, " %14.8f %14.8f %14.8f\n", axis[0], axis[1], axis[2]);
  std::fprintf(f, "PRIMCOORD\n %zu 1\n", map.atoms.size());
  for (const CellAtom& atom : map.atoms) {
    const auto r = cartesian(map.axes, atom.x, atom.y, atom.z);
    const int z = atomicNumber(atom.element);
    // An atom of no known element is the dummy atom X.
    const std::string symbol = z > 0 ? std::to_string(z) : "X";
    std::fprintf(f, " %-3s %14.8f %14.8f %14.8f\n", symbol.c_str(), r[0], r[1], r[2]);
  }
  std::string name;
  for (char ch : map.description)
    name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  std::fprintf(f, "BEGIN_BLOCK_DATAGRID_3D\n %s\n BEGIN_DATAGRID_3D_%s\n", name.c_str(),
               name.c_str());
  std::fprintf(f, " %d %d %d\n %14.8f %14.8f %14.8f\n", g.n1 + 1, g.n2 + 1, g.n3 + 1, 0.0, 0.0,
               0.0);
  for (const auto& axis : map.axes)
    std::fprintf(f, " %14.8f %14.8f %14.8f\n", axis[0], axis[1], axis[2]);
  int column = 0;
  for (int k = 0; k <= g.n3; ++k)
    for (int j = 0; j <= g.n2; ++j)
      for (int i = 0; i <= g.n1; ++i) {
        // Node n of a far face is node 0 again.
        const double v = map.values[g.index(i % g.n1, j % g.n2, k % g.n3)];
        std::fprintf(f, ++column % 6 == 0 ? " %13.6E\n" : " %13.6E", v);
      }
  if (column % 6 != 0) std::fprintf(f, "\n");
  std::fprintf(f, " END_DATAGRID_3D\nEND_BLOCK_DATAGRID_3D\n");
}

} // namespace telva
