// The smooth particle-mesh Ewald method: the Gaussian method's split, with
// the reciprocal half on a mesh instead of a table, for large cells.
//
// What to call:
//   PmeModel model = preparePme(crystal, 1e-6);          // once per crystal
//   EwaldSites sites = pmeSitePotentials(model);         // asymmetric unit, energy
//   EwaldPoints points = pmePoints(model, fractional);   // phic, phiw, nearest atom
// The results are the Gaussian method's types, with the mesh and the spline
// order in their parameters; the same for every thread count.
//
// The reciprocal half (Essmann et al., J. Chem. Phys. 103, 8577 (1995)): the
// charges q_j are spread on a K1 x K2 x K3 mesh with cardinal B-splines of
// order p (cardinal_bspline.hpp), Q(k) = sum_j q_j prod_i M_p(K_i s_ji - k_i),
// transformed, multiplied by the influence function
//   theta(m) = exp(-pi^2 m^2 / alpha^2) / (pi V m^2) |b1(m1) b2(m2) b3(m3)|^2
// (m != 0; m = m1 a* + m2 b* + m3 c*, |b|^2 the splines' moduli), and
// transformed back: the mesh then holds the reciprocal potential's nodes,
// and the potential at any point is the same splines' interpolation of them.
// The real-space sum, the self term and the compensating background of a
// charged cell are the Gaussian method's (ewald_model.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/capacities.hpp"
#include "crystal/atom_cells.hpp"
#include "crystal/crystal.hpp"
#include "electrostatics/ewald_parameters.hpp"
#include "electrostatics/ewald_points.hpp"
#include "electrostatics/ewald_sites.hpp"
#include "electrostatics/mesh_transform.hpp"

namespace telva {

struct PmeModel {
  Crystal crystal;
  CellGeometry geometry;
  EwaldParameters parameters; // alpha, rc, mesh, splineOrder, estimates
  AtomCells cells;            // every atom image within parameters.cutoff of the cell
  MeshTransform mesh;         // the reciprocal potential at the nodes, e/Angstrom
  double totalCharge = 0;     // Q of one cell, e
  double background = 0;      // -pi Q / (alpha^2 V), e/Angstrom
  int threads = 0;            // for every evaluation (all the machine's when 0)
};

// Bytes the model of this crystal and these parameters would hold at its
// peak (mesh, the charges' splines, atom images and bins).
std::int64_t pmeModelBytes(const Crystal& crystal, const EwaldParameters& parameters);

// Chooses the parameters for `tolerance` and a job of `pointsPerCall` points
// (0: the sites of the asymmetric unit), checks the memory against
// memoryLimitBytes before allocating (out-of-memory fault naming both
// figures), spreads the charges and solves the mesh. Faults as prepareEwald's.
PmeModel preparePme(const Crystal& crystal, double tolerance = defaultEwaldTolerance,
                    int threads = 0, std::int64_t memoryLimitBytes = defaultMemoryLimit,
                    std::int64_t pointsPerCall = 0);

// The same with parameters given (alpha, cutoff, mesh, splineOrder: an even
// order from smallestSplineOrder to largestSplineOrder and at most each mesh
// size), as preparePme builds them after its choice.
PmeModel preparePmeWith(const Crystal& crystal, const EwaldParameters& parameters, int threads = 0,
                        std::int64_t memoryLimitBytes = defaultMemoryLimit);

// The reciprocal half alone at fractional points: the mesh interpolated.
std::vector<double> pmeReciprocal(const PmeModel& model, std::span<const Position> points);

EwaldSites pmeSitePotentials(const PmeModel& model);
EwaldPoints pmePoints(const PmeModel& model, std::span<const Position> points);

} // namespace telva
