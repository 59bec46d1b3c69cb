#include "electrostatics/ewald_points.hpp"

#include <cmath>
#include <limits>

#include "base/parallel.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {

namespace {

std::vector<Vec3> cartesianPoints(const EwaldModel& model, std::span<const Position> points) {
  std::vector<Vec3> cartesian(points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    cartesian[i] = cartesianPoint(model.cells, points[i]);
  return cartesian;
}

} // namespace

std::vector<RealSpaceSum> ewaldRealSpace(const EwaldModel& model,
                                         std::span<const Position> points) {
  const std::vector<Vec3> cartesian = cartesianPoints(model, points);
  std::vector<RealSpaceSum> sums = realSpaceSums(model.cells, model.parameters.alpha,
                                                 model.parameters.cutoff, cartesian, model.threads);
  for (RealSpaceSum& sum : sums)
    sum.potential += model.background;
  return sums;
}

EwaldPoints ewaldPoints(const EwaldModel& model, std::span<const Position> points) {
  EwaldPoints result;
  result.parameters = model.parameters;
  const std::vector<double> reciprocal =
      tablePotentials(model.table, model.geometry.volume, points, model.threads);
  const std::vector<RealSpaceSum> real = ewaldRealSpace(model, points);
  const double selfFactor = 2.0 * model.parameters.alpha / std::sqrt(pi);
  result.points.resize(points.size());
  constexpr int pointsPerPart = 256;
  const int parts = static_cast<int>((points.size() + pointsPerPart - 1) / pointsPerPart);
  parallelFor(
      parts,
      [&](int part) {
        const std::size_t end = std::min(points.size(), std::size_t(part + 1) * pointsPerPart);
        for (std::size_t i = std::size_t(part) * pointsPerPart; i < end; ++i) {
          EwaldPoint& out = result.points[i];
          out.point = points[i];
          const double phi = reciprocal[i] + real[i].potential;
          // The nearest atom from the real-space pass, or beyond rc by search.
          std::optional<AtomHit> nearest;
          if (real[i].nearestSite >= 0)
            nearest = AtomHit{real[i].nearestSite, real[i].nearestDistance, real[i].nearestCharge};
          else
            nearest = nearestAtom(model.cells, cartesianPoint(model.cells, points[i]));
          if (!nearest) {
            out.phic = out.phiw = phi;
            continue;
          }
          out.site = nearest->site;
          out.distance = nearest->distance;
          const double q0 = real[i].coincidentCharge;
          if (nearest->distance < coincidenceDistance) {
            // On the atom: the site potential, and a point charge at distance 0.
            out.phiw = phi - selfFactor * q0;
            out.phic =
                q0 == 0 ? out.phiw : std::copysign(std::numeric_limits<double>::infinity(), q0);
          } else {
            out.phic = phi;
            out.phiw = phi - nearest->charge / nearest->distance;
          }
        }
      },
      model.threads);
  return result;
}

} // namespace telva
