#include "electrostatics/positions.hpp"

#include <cmath>
#include <limits>

#include "base/parallel.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_synthesis.hpp"

namespace telva {

Neighbour findNeighbour(const PositionContext& context, const Position& point) {
  Neighbour best;
  double nearest = std::numeric_limits<double>::infinity();
  const bool companions = hasInversionCompanions(context.inversionAtOrigin);
  // Visits the 27 lattice shifts of one image; true when the search is over.
  auto visitImage = [&](int site, const Position& image) {
    const double dx = point.x - image.x, dy = point.y - image.y, dz = point.z - image.z;
    for (int na = -1; na <= 1; ++na)
      for (int nb = -1; nb <= 1; ++nb)
        for (int nc = -1; nc <= 1; ++nc) {
          const double d = directDistance(context.geometry, dx + na, dy + nb, dz + nc);
          if (d < nearest) {
            nearest = d;
            best = {site, d, d < context.radius};
            if (best.inSphere) return true;
          }
        }
    return false;
  };
  for (int j = 0; j < static_cast<int>(context.sites.size()); ++j) {
    const Site& site = context.sites[j];
    for (const SymOp& op : context.symOps) {
      const Position image = applyToPosition(op, site.x, site.y, site.z);
      if (visitImage(j, image)) return best;
      if (companions && visitImage(j, {-image.x, -image.y, -image.z})) return best;
    }
  }
  return best;
}

PositionResult completePosition(const PositionContext& context, const Position& point,
                                double smeared) {
  return completePosition(context, point, smeared, findNeighbour(context, point));
}

PositionResult completePosition(const PositionContext& context, const Position& point,
                                double smeared, const Neighbour& neighbour) {
  PositionResult result;
  result.point = point;
  result.smeared = smeared;
  result.neighbour = neighbour;
  const double P = result.smeared;
  const Neighbour& n = result.neighbour;
  if (n.site < 0) {
    result.phiw = result.phic = P;
    return result;
  }
  const double q = context.sites[n.site].charge;
  const double d = n.distance;
  if (!n.inSphere) {
    // Outside every sphere the smeared charges act as point charges.
    result.phiw = P - q / d;
    result.phic = P;
  } else if (d >= coincidenceDistance) {
    // P holds the neighbour's smeared share; replace it by the point charge.
    result.phiw = P - spherePotential(q, d, context.radius);
    result.phic = result.phiw + q / d;
  } else {
    // On the atom itself: the site potential, and a point charge at distance 0.
    result.phiw = P - selfTerm(q, context.radius);
    result.phic = q == 0 ? result.phiw : std::copysign(std::numeric_limits<double>::infinity(), q);
  }
  return result;
}

std::vector<PositionResult> evaluatePositions(const PositionContext& context,
                                              std::span<const Position> points, int threads) {
  const std::vector<double> smeared =
      tablePotentials(context.table, context.geometry.volume, points, threads);
  std::vector<PositionResult> results(points.size());
  parallelFor(
      static_cast<int>(points.size()),
      [&](int i) { results[i] = completePosition(context, points[i], smeared[i]); }, threads);
  return results;
}

} // namespace telva
