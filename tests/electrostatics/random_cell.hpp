// Random P1 cells for the mesh method's checks: ions on a jittered simple
// grid of a (possibly oblique) cell, charges alternating in sign, and one ion
// doubled to charge the cell when asked.
#pragma once

#include <cmath>
#include <random>

#include "crystal/crystal.hpp"

namespace telva::test {

struct RandomCellShape {
  int perEdge = 10;      // ions along each edge: perEdge^3 in all
  double spacing = 2.82; // Angstrom between neighbouring grid points
  bool oblique = false;  // angles 75..105 degrees and unequal edges
  bool charged = false;  // one ion's charge doubled: Q = +1
  unsigned seed = 1;
};

inline Crystal randomCell(const RandomCellShape& shape) {
  std::mt19937 rng(shape.seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int n = shape.perEdge;
  Crystal c;
  double edges[3], angles[3] = {90, 90, 90};
  for (int i = 0; i < 3; ++i) {
    edges[i] = n * shape.spacing * (shape.oblique ? 1 + 0.1 * unit(rng) : 1.0);
    if (shape.oblique) angles[i] = 90 + 15 * unit(rng);
  }
  c.lattice = {edges[0], edges[1], edges[2], angles[0], angles[1], angles[2]};
  c.symOps = {SymOp{{SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}}}};
  // Jitter of up to 0.1 of a grid step along each axis.
  const double jitter = 0.1 / n;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k) {
        const bool anion = (i + j + k) % 2 == 1;
        c.sites.push_back({anion ? "Cl" : "Na", anion ? -1.0 : 1.0, 1.0,
                           (i + 0.25) / n + jitter * unit(rng), (j + 0.25) / n + jitter * unit(rng),
                           (k + 0.25) / n + jitter * unit(rng)});
      }
  if (shape.charged) c.sites[0].charge = 2.0;
  return c;
}

} // namespace telva::test
