#include "order/supercell_group.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

#include "cif/conversion.hpp"
#include "cif/symmetry.hpp"
#include "crystal/cell_geometry.hpp"

namespace telva {

namespace {

// Sites found by their coordinates: a grid of buckets over the supercell.
struct SiteIndex {
  static constexpr int grid = 64;
  const Supercell& supercell;
  CellGeometry geometry;
  std::unordered_map<long, std::vector<int>> buckets;

  static long key(int i, int j, int k) {
    auto wrap = [](int v) { return ((v % grid) + grid) % grid; };
    return (long(wrap(i)) * grid + wrap(j)) * grid + wrap(k);
  }
  static int cellOf(double v) { return static_cast<int>(std::floor(v * grid)); }

  explicit SiteIndex(const Supercell& s) : supercell(s), geometry(buildCellGeometry(s.cell, 0)) {
    for (int i = 0; i < static_cast<int>(s.sites.size()); ++i) {
      const Position& p = s.sites[i].fractional;
      buckets[key(cellOf(p.x), cellOf(p.y), cellOf(p.z))].push_back(i);
    }
  }

  int find(const Position& p, int position) const {
    const int ci = cellOf(p.x), cj = cellOf(p.y), ck = cellOf(p.z);
    for (int di = -1; di <= 1; ++di)
      for (int dj = -1; dj <= 1; ++dj)
        for (int dk = -1; dk <= 1; ++dk) {
          const auto it = buckets.find(key(ci + di, cj + dj, ck + dk));
          if (it == buckets.end()) continue;
          for (int site : it->second)
            if (supercell.sites[site].position == position &&
                nearestImageDistance(geometry, p, supercell.sites[site].fractional) <
                    samePointToleranceA)
              return site;
        }
    return -1;
  }
};

// Whether the rotation maps every supercell vector onto a supercell lattice vector.
bool keepsLattice(const MatrixOp& op, const Supercell& s) {
  for (int i = 0; i < 3; ++i) {
    long v[3];
    for (int r = 0; r < 3; ++r) {
      v[r] = 0;
      for (int k = 0; k < 3; ++k)
        v[r] += long(op.rotation[r][k]) * s.matrix[i][k];
    }
    for (int j = 0; j < 3; ++j) {
      const long u = v[0] * s.adjugate[0][j] + v[1] * s.adjugate[1][j] + v[2] * s.adjugate[2][j];
      if (u % s.determinant != 0) return false;
    }
  }
  return true;
}

} // namespace

SupercellGroup supercellGroup(const DisorderedCrystal& crystal, const Supercell& supercell,
                              const ConfigurationSpace& space) {
  SupercellGroup group;
  const SiteIndex index(supercell);
  std::set<Permutation> whole, onDisordered;
  group.onDisordered.push_back({});
  for (int i = 0; i < space.size(); ++i)
    group.onDisordered[0].push_back(i);
  onDisordered.insert(group.onDisordered[0]);
  const int n = static_cast<int>(supercell.sites.size());
  for (const MatrixOp& op : crystal.group) {
    if (!keepsLattice(op, supercell)) continue;
    ++group.parentOperations;
    for (const auto& t : supercell.translations) {
      Permutation image(n);
      for (int i = 0; i < n; ++i) {
        const SupercellSite& site = supercell.sites[i];
        Position p = apply(op, site.parent);
        p = {p.x + t[0], p.y + t[1], p.z + t[2]};
        image[i] = index.find(toSupercell(supercell, p), site.position);
        if (image[i] < 0)
          throw CifError("the operation " + op.text +
                         " maps a site of the supercell onto no site; are the coordinates "
                         "those of the group?");
      }
      if (!whole.insert(image).second) continue;
      Permutation d(space.size());
      for (int i = 0; i < space.size(); ++i)
        d[i] = space.disorderedSite[image[space.sites[i]]];
      if (onDisordered.insert(d).second) group.onDisordered.push_back(std::move(d));
    }
  }
  group.operations = static_cast<int>(whole.size());
  return group;
}

} // namespace telva
