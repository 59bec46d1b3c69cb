// CCP4/MRC maps: the one place that includes gemmi's map headers.
#include <cmath>
#include <gemmi/ccp4.hpp>
#include <string>

#include "base/version.hpp"
#include "map/map_writers.hpp"

namespace telva {

void writeCcp4(std::FILE* file, const MapFile& map) {
  const GridSize& g = map.grid;
  gemmi::Ccp4<float> ccp4;
  const CellGeometry& c = map.geometry;
  auto degrees = [](double cosine) { return std::acos(cosine) * 180 / 3.141592653589793; };
  ccp4.grid.unit_cell.set(c.a, c.b, c.c, degrees(c.cosAlpha), degrees(c.cosBeta),
                          degrees(c.cosGamma));
  ccp4.grid.spacegroup = &gemmi::get_spacegroup_p1();
  ccp4.grid.axis_order = gemmi::AxisOrder::XYZ;
  ccp4.grid.set_size(g.n1, g.n2, g.n3);
  for (int i = 0; i < g.n1; ++i)
    for (int j = 0; j < g.n2; ++j)
      for (int k = 0; k < g.n3; ++k)
        ccp4.grid.data[ccp4.grid.index_q(i, j, k)] =
            static_cast<float>(map.values[g.index(i, j, k)]);
  ccp4.update_ccp4_header(2, true);
  // The label (word 57 on) names what the map holds.
  std::string label = map.description + ": " + map.title;
  label.resize(80, ' ');
  std::memcpy(ccp4.header_word(57), label.data(), 80);
  // The second label (word 77 on) names the program and its version.
  std::string writer = std::string("written by telva-map ") + version;
  writer.resize(80, ' ');
  std::memcpy(ccp4.header_word(77), writer.data(), 80);
  ccp4.set_header_i32(56, 2);
  // Written here rather than by gemmi's writer, so that a failed write is
  // seen by the caller's checks.
  std::fwrite(ccp4.ccp4_header.data(), 4, ccp4.ccp4_header.size(), file);
  std::fwrite(ccp4.grid.data.data(), sizeof(float), ccp4.grid.data.size(), file);
}

} // namespace telva
