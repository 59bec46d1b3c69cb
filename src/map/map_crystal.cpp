#include "map/map_crystal.hpp"

#include <cmath>

#include "crystal/near_pairs.hpp"

namespace telva {

namespace {

double reduced(double v) {
  double r = v - std::floor(v);
  return r >= 1 ? 0 : r; // -1e-17 - floor gives 1 in rounding
}

std::string withoutBlanks(const std::string& text) {
  std::string out;
  for (char ch : text)
    if (ch != ' ') out += ch;
  return out;
}

} // namespace

std::vector<CellAtom> cellAtoms(const MapCrystal& map, const CellGeometry& geometry) {
  std::vector<CellAtom> atoms;
  const Crystal& crystal = map.crystal;
  const bool companions = crystal.inversionAtOrigin;
  GrowingBins bins(geometry, sameAtomDistance);
  for (std::size_t j = 0; j < crystal.sites.size(); ++j) {
    const Site& site = crystal.sites[j];
    auto add = [&](Position p) {
      const CellAtom atom{withoutBlanks(site.label),
                          j < map.elements.size() ? map.elements[j] : "",
                          site.charge,
                          reduced(p.x),
                          reduced(p.y),
                          reduced(p.z)};
      // An atom within sameAtomDistance of one kept before (by the rounded
      // difference) is that atom; the earlier atoms near it come from bins.
      bool seen = false;
      bins.forEachCandidate({atom.x, atom.y, atom.z}, [&](std::size_t k) {
        const CellAtom& other = atoms[k];
        const double dx = atom.x - other.x, dy = atom.y - other.y, dz = atom.z - other.z;
        seen = seen || directDistance(geometry, dx - std::round(dx), dy - std::round(dy),
                                      dz - std::round(dz)) < sameAtomDistance;
      });
      if (seen) return;
      bins.add({atom.x, atom.y, atom.z}, atoms.size());
      atoms.push_back(atom);
    };
    for (const SymOp& op : crystal.symOps) {
      const Position image = applyToPosition(op, site.x, site.y, site.z);
      add(image);
      if (companions) add({-image.x, -image.y, -image.z});
    }
  }
  return atoms;
}

CellAxes cartesianAxes(const CellGeometry& g) {
  const double sinGamma = std::sqrt(1 - g.cosGamma * g.cosGamma);
  const double cx = g.c * g.cosBeta;
  const double cy = g.c * (g.cosAlpha - g.cosBeta * g.cosGamma) / sinGamma;
  const double cz = g.volume / (g.a * g.b * sinGamma);
  return {{{g.a, 0, 0}, {g.b * g.cosGamma, g.b * sinGamma, 0}, {cx, cy, cz}}};
}

std::array<double, 3> cartesian(const CellAxes& axes, double x, double y, double z) {
  std::array<double, 3> r{};
  for (int i = 0; i < 3; ++i)
    r[i] = x * axes[0][i] + y * axes[1][i] + z * axes[2][i];
  return r;
}

} // namespace telva
