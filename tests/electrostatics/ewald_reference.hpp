// Point-charge reference for the electrostatics tests: the potential of a
// periodic crystal of point charges by an Ewald sum, written independently of
// the program's smeared-charge table.
//
// The Coulomb potential of each charge is split as 1/r = erfc(eta r)/r +
// erf(eta r)/r. The short-ranged part is summed over lattice images in direct
// space; the long-ranged part, the potential of Gaussian charge clouds, is
// summed over reciprocal lattice vectors k != 0:
//
//   phi(r) = sum_j q_j sum_n erfc(eta |r - r_j - n|) / |r - r_j - n|
//          + (4 pi / V) sum_{k != 0} exp(-k^2 / (4 eta^2)) / k^2
//                                    sum_j q_j cos(k . (r - r_j))
//          - pi Q / (V eta^2),
//
// k = 2 pi (h a* + k b* + l c*). The last term vanishes for a neutral cell
// (Q = 0); it is kept so that the result does not depend on eta when the total
// charge is only zero to rounding. The k = 0 term is left out, which fixes the
// cell average of the potential at zero, the convention of a reciprocal-space
// synthesis without its zero reflection.
//
// Cut-offs: direct space to eta r = 6 (erfc(6) = 2e-17), reciprocal space to
// k / (2 eta) = 6 (exp(-36) = 2e-16). With these margins the truncation error
// is far below 1e-12 e/A for ionic cells; what remains is rounding, about
// 1e-14 relative to the largest single term. Any splitting parameter gives the
// same result to that accuracy; the default, eta = sqrt(pi) / V^(1/3),
// balances the two sums.
//
// Units: lengths in A, charges in e, potentials in e/A.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

namespace telva::test {

// The cell: edge lengths in A, angles in degrees.
struct EwaldCell {
  double a = 0, b = 0, c = 0;
  double alpha = 90, beta = 90, gamma = 90;
};

// One point charge of the cell: charge in e, position in fractions of the edges.
struct PointCharge {
  double charge = 0;
  double x = 0, y = 0, z = 0;
};

namespace ewald_detail {

using Vec3 = std::array<double, 3>;

inline constexpr double pi = 3.14159265358979323846;
inline constexpr double directMargin = 6.0;     // eta * r at the direct-space cut-off
inline constexpr double reciprocalMargin = 6.0; // k / (2 eta) at the reciprocal cut-off

inline Vec3 cross(const Vec3& u, const Vec3& v) {
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

inline double dot(const Vec3& u, const Vec3& v) {
  return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
}

inline double norm(const Vec3& u) {
  return std::sqrt(dot(u, u));
}

// Cartesian edge vectors (a along x, b in the xy plane) and reciprocal
// vectors with the factor 2 pi, so that a_i . b_j = 2 pi delta_ij.
struct Lattice {
  std::array<Vec3, 3> direct;
  std::array<Vec3, 3> reciprocal;
  double volume = 0;

  Vec3 toCartesian(double u, double v, double w) const {
    Vec3 r{};
    for (int i = 0; i < 3; ++i) {
      r[i] = u * direct[0][i] + v * direct[1][i] + w * direct[2][i];
    }
    return r;
  }
};

inline Lattice makeLattice(const EwaldCell& cell) {
  const double degree = pi / 180.0;
  const double ca = std::cos(cell.alpha * degree);
  const double cb = std::cos(cell.beta * degree);
  const double cg = std::cos(cell.gamma * degree);
  const double sg = std::sin(cell.gamma * degree);
  const double cy = (ca - cb * cg) / sg;
  const double cz2 = 1.0 - cb * cb - cy * cy;
  if (!(cell.a > 0 && cell.b > 0 && cell.c > 0) || !(sg > 0) || !(cz2 > 0)) {
    throw std::invalid_argument("ewald reference: the lattice parameters describe no cell");
  }
  Lattice lattice;
  lattice.direct = {Vec3{cell.a, 0, 0}, Vec3{cell.b * cg, cell.b * sg, 0},
                    Vec3{cell.c * cb, cell.c * cy, cell.c * std::sqrt(cz2)}};
  const auto& d = lattice.direct;
  lattice.volume = dot(d[0], cross(d[1], d[2]));
  const double scale = 2.0 * pi / lattice.volume;
  const std::array<Vec3, 3> normals = {cross(d[1], d[2]), cross(d[2], d[0]), cross(d[0], d[1])};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      lattice.reciprocal[i][j] = scale * normals[i][j];
    }
  }
  return lattice;
}

// erf(eta d) / d, with its limit 2 eta / sqrt(pi) at d = 0.
inline double erfOverDistance(double eta, double d) {
  const double x = eta * d;
  if (x < 1e-6) {
    return 2.0 * eta / std::sqrt(pi) * (1.0 - x * x / 3.0);
  }
  return std::erf(x) / d;
}

} // namespace ewald_detail

// The default splitting parameter eta (1/A) for a cell: sqrt(pi) / V^(1/3).
inline double defaultSplitting(const EwaldCell& cell) {
  return std::sqrt(ewald_detail::pi) / std::cbrt(ewald_detail::makeLattice(cell).volume);
}

// Potential (e/A) at the fractional point (x, y, z) of all point charges of
// the periodic crystal whose cell holds `charges` (every atom of the cell, not
// an asymmetric unit). With `excluded` naming one of the charges, the image of
// that charge nearest the point is left out: for a point on that atom this is
// the site potential, the potential of all other charges. eta <= 0 selects
// defaultSplitting. The charges must add up to zero.
inline double ewaldPotential(const EwaldCell& cell, const std::vector<PointCharge>& charges,
                             double x, double y, double z, int excluded = -1, double eta = 0) {
  using namespace ewald_detail;
  const Lattice lattice = makeLattice(cell);
  if (eta <= 0) eta = std::sqrt(pi) / std::cbrt(lattice.volume);

  double total = 0, scale = 0;
  for (const PointCharge& q : charges) {
    total += q.charge;
    scale += std::fabs(q.charge);
  }
  if (std::fabs(total) > 1e-9 * (1.0 + scale)) {
    throw std::invalid_argument("ewald reference: the charges of the cell do not add up to zero");
  }
  if (excluded >= static_cast<int>(charges.size())) {
    throw std::invalid_argument("ewald reference: excluded charge out of range");
  }

  // Direct space: every image within directMargin / eta of the point. The
  // bound on the cell indices is the cut-off over the spacing of the lattice
  // planes, |b_i| / (2 pi) being the inverse spacing.
  const double cutoff = directMargin / eta;
  std::array<int, 3> range{};
  for (int i = 0; i < 3; ++i) {
    range[i] = static_cast<int>(std::ceil(cutoff * norm(lattice.reciprocal[i]) / (2.0 * pi))) + 1;
  }
  double direct = 0;
  double excludedDistance = -1; // distance of the excluded charge's nearest image
  double excludedTerm = 0;      // its erfc term, already in `direct`
  for (std::size_t j = 0; j < charges.size(); ++j) {
    const PointCharge& q = charges[j];
    // Difference brought near the origin so that the index range is centred.
    const double dx = x - q.x - std::round(x - q.x);
    const double dy = y - q.y - std::round(y - q.y);
    const double dz = z - q.z - std::round(z - q.z);
    for (int na = -range[0]; na <= range[0]; ++na) {
      for (int nb = -range[1]; nb <= range[1]; ++nb) {
        for (int nc = -range[2]; nc <= range[2]; ++nc) {
          const double d = norm(lattice.toCartesian(dx + na, dy + nb, dz + nc));
          const bool isExcluded = static_cast<int>(j) == excluded;
          if (isExcluded && (excludedDistance < 0 || d < excludedDistance)) {
            excludedDistance = d;
            excludedTerm = d > 0 && d < cutoff ? q.charge * std::erfc(eta * d) / d : 0.0;
          }
          if (d == 0 && !isExcluded) {
            throw std::invalid_argument(
                "ewald reference: the point lies on a charge that is not excluded");
          }
          if (d >= cutoff || d == 0) continue;
          direct += q.charge * std::erfc(eta * d) / d;
        }
      }
    }
  }
  if (excluded >= 0) {
    // Take the nearest image out of both sums: its erfc part from direct
    // space, its erf part (the Gaussian's potential) from reciprocal space.
    direct -= excludedTerm;
    direct -= charges[excluded].charge * erfOverDistance(eta, excludedDistance);
  }

  // Reciprocal space: every k != 0 with |k| below 2 eta reciprocalMargin.
  const double kCutoff = 2.0 * eta * reciprocalMargin;
  const double edges[3] = {cell.a, cell.b, cell.c};
  std::array<int, 3> kRange{};
  for (int i = 0; i < 3; ++i) {
    kRange[i] = static_cast<int>(std::ceil(kCutoff * edges[i] / (2.0 * pi))) + 1;
  }
  double reciprocal = 0;
  for (int h = -kRange[0]; h <= kRange[0]; ++h) {
    for (int k = -kRange[1]; k <= kRange[1]; ++k) {
      for (int l = -kRange[2]; l <= kRange[2]; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        ewald_detail::Vec3 kv{};
        for (int i = 0; i < 3; ++i) {
          kv[i] = h * lattice.reciprocal[0][i] + k * lattice.reciprocal[1][i] +
                  l * lattice.reciprocal[2][i];
        }
        const double k2 = dot(kv, kv);
        if (k2 >= kCutoff * kCutoff) continue;
        double structure = 0;
        for (const PointCharge& q : charges) {
          const double phase = 2.0 * pi * (h * (x - q.x) + k * (y - q.y) + l * (z - q.z));
          structure += q.charge * std::cos(phase);
        }
        reciprocal += std::exp(-k2 / (4.0 * eta * eta)) / k2 * structure;
      }
    }
  }
  reciprocal *= 4.0 * pi / lattice.volume;

  const double background = -pi * total / (lattice.volume * eta * eta);
  return direct + reciprocal + background;
}

// Site potential (e/A) of charge `index`: the potential at its position of
// all other charges of the crystal.
inline double ewaldSitePotential(const EwaldCell& cell, const std::vector<PointCharge>& charges,
                                 int index, double eta = 0) {
  const PointCharge& q = charges.at(static_cast<std::size_t>(index));
  return ewaldPotential(cell, charges, q.x, q.y, q.z, index, eta);
}

// Electrostatic (lattice-sum) energy of one cell, e^2/A: half the sum over the
// charges of the cell of charge times site potential.
inline double ewaldCellEnergy(const EwaldCell& cell, const std::vector<PointCharge>& charges,
                              double eta = 0) {
  double energy = 0;
  for (std::size_t i = 0; i < charges.size(); ++i) {
    energy += charges[i].charge * ewaldSitePotential(cell, charges, static_cast<int>(i), eta);
  }
  return 0.5 * energy;
}

} // namespace telva::test
