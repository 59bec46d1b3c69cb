#include "electrostatics/ewald_points.hpp"

#include <cmath>
#include <limits>

#include "base/parallel.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {

namespace {

std::vector<Vec3> cartesianPoints(const AtomCells& cells, std::span<const Position> points) {
  std::vector<Vec3> cartesian(points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    cartesian[i] = cartesianPoint(cells, points[i]);
  return cartesian;
}

} // namespace

std::vector<RealSpaceSum> realSpaceWithBackground(const AtomCells& cells, const EwaldParameters& p,
                                                  double background,
                                                  std::span<const Position> points, int threads) {
  std::vector<RealSpaceSum> sums =
      realSpaceSums(cells, p.alpha, p.cutoff, cartesianPoints(cells, points), threads);
  for (RealSpaceSum& sum : sums)
    sum.potential += background;
  return sums;
}

std::vector<RealSpaceSum> ewaldRealSpace(const EwaldModel& model,
                                         std::span<const Position> points) {
  return realSpaceWithBackground(model.cells, model.parameters, model.background, points,
                                 model.threads);
}

EwaldPoints ewaldPoints(const EwaldModel& model, std::span<const Position> points) {
  const std::vector<double> reciprocal =
      tablePotentials(model.table, model.geometry.volume, points, model.threads);
  return assemblePoints(model.cells, model.parameters, model.background, points, reciprocal,
                        model.threads);
}

EwaldPoints assemblePoints(const AtomCells& cells, const EwaldParameters& p, double background,
                           std::span<const Position> points, const std::vector<double>& reciprocal,
                           int threads) {
  EwaldPoints result;
  result.parameters = p;
  const std::vector<RealSpaceSum> real =
      realSpaceWithBackground(cells, p, background, points, threads);
  const double selfFactor = 2.0 * p.alpha / std::sqrt(pi);
  result.points.resize(points.size());
  parallelForBlocks(
      points.size(), 256,
      [&](std::size_t i) {
        EwaldPoint& out = result.points[i];
        out.point = points[i];
        const double phi = reciprocal[i] + real[i].potential;
        // The nearest atom from the real-space pass, or beyond rc by search.
        std::optional<AtomHit> nearest;
        if (real[i].nearestSite >= 0)
          nearest = AtomHit{real[i].nearestSite, real[i].nearestDistance, real[i].nearestCharge};
        else
          nearest = nearestAtom(cells, cartesianPoint(cells, points[i]));
        if (!nearest) {
          out.phic = out.phiw = phi;
          return;
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
      },
      threads);
  return result;
}

} // namespace telva
