// The Gaussian (Ewald) method: the converged potential of the crystal's point
// charges, to an absolute tolerance T (e/Angstrom) chosen by the caller.
//
// What to call:
//   EwaldModel model = prepareEwald(crystal);              // T = 1e-8, once per crystal
//   EwaldSites sites = ewaldSitePotentials(model);         // asymmetric unit, energy
//   EwaldPoints points = ewaldPoints(model, fractional);   // phic, phiw, nearest atom
//   For a map of many nodes: the Gaussian table model.table (synthesised on a
//   grid, or by tablePotentials) plus ewaldRealSpace(model, fractional nodes);
//   phic = table synthesis + RealSpaceSum::potential + model.background where
//   no atom coincides with the node (ewaldPoints shows the whole assembly).
// Every result carries model.parameters: alpha, rc, qmax, the table's entries
// and the error estimate. Results are the same for every thread count.
//
// The potential at r of charges q_j at r_j (d_j = |r - r_j - n| over lattice
// vectors n):
//   phi(r) = (2/(pi V)) sum_half (A cos 2pi s.r + B sin 2pi s.r)   [Gaussian table]
//          + sum_j,n q_j erfc(alpha d_j) / d_j                      [real space, d <= rc]
//          - pi Q / (alpha^2 V)                                     [background]
// At a site the site's own charge q0 is left out of the real-space sum and its
// cloud's potential at its centre, 2 alpha q0 / sqrt(pi), is subtracted
// (the self term).
//
// Charged cells: the table has no s = 0 entry, so its potential averages zero
// over the cell; the real-space sum averages pi Q / (alpha^2 V), which the
// background term removes. A cell of charge Q thus carries a uniform
// compensating background, and the potential of every cell averages zero.
// The sphere method fixes its zero the same way for its smeared charges, so
// its point-charge potential (phic) averages the smeared spheres' excess,
// (Q/V) int (1/r - phi_sphere(r)) d^3r = pi Q R^2 / (6V) for the listing's
// distribution of radius R (its second moment is R^2/4): sphere phic equals
// Ewald phic + pi Q R^2 / (6V), the two agreeing for a neutral cell.
#pragma once

#include <cstdint>

#include "base/capacities.hpp"
#include "crystal/atom_cells.hpp"
#include "crystal/cell_geometry.hpp"
#include "crystal/crystal.hpp"
#include "electrostatics/coefficient_table.hpp"
#include "electrostatics/ewald_parameters.hpp"

namespace telva {

struct EwaldModel {
  Crystal crystal;
  CellGeometry geometry; // index box of the table's range
  EwaldParameters parameters;
  CoefficientTable table; // of the Gaussian clouds, within parameters.range
  AtomCells cells;        // every atom image within parameters.cutoff of the cell
  double totalCharge = 0; // Q of one cell, e
  double background = 0;  // -pi Q / (alpha^2 V), e/Angstrom
  int threads = 0;        // for every evaluation (all the machine's when 0)
};

// Bytes the model of this crystal and these parameters would hold (table,
// atom images and bins, and the working memory of a synthesis).
std::int64_t ewaldModelBytes(const Crystal& crystal, const EwaldParameters& parameters);

// Chooses the parameters for `tolerance` and a job of `pointsPerCall` points
// (0: the sites of the asymmetric unit), checks the memory against
// memoryLimitBytes before allocating (out-of-memory fault naming both
// figures), and builds the table and the atom cells. Faults (invalid value):
// a tolerance that is not a positive finite number, lattice parameters that
// describe no cell, a site value that is not finite, a negative thread count.
// The checks prepareEwald makes before anything else, which every method of
// the split shares: tolerance, thread count, lattice and the sites' values.
void checkEwaldInput(const Crystal& crystal, double tolerance, int threads);

EwaldModel prepareEwald(const Crystal& crystal, double tolerance = defaultEwaldTolerance,
                        int threads = 0, std::int64_t memoryLimitBytes = defaultMemoryLimit,
                        std::int64_t pointsPerCall = 0);

} // namespace telva
