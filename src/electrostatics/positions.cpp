#include "electrostatics/positions.hpp"

#include <cmath>
#include <limits>

#include "driver/fault.hpp"
#include "driver/input_file.hpp"
#include "driver/parallel.hpp"
#include "electrostatics/fast_table_potential.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_potential.hpp"

namespace telva {

namespace {

// Below this distance (1.0e-5 as a single-precision number) q/d is not formed.
constexpr double coincidenceDistance = static_cast<double>(1.0e-5f);

// Position records evaluated together.
constexpr std::size_t positionBatch = 256;

const Layout heading = {
    recordEnd(),
    recordEnd(),
    literal(" Potentials at arbitrary positions"),
    recordEnd(),
    recordEnd(),
    literal("   phiw: Potential without contributions from neighboring atoms (N.atom)"),
    recordEnd(),
    literal("   phic: Potential containing contributions from neighboring atoms"),
    recordEnd(),
    recordEnd(),
    literal("      x        y        z          phiw           phic          N.atom   Distance")};
const Layout positionLine = {skip(2),          fixedField(9, 6),       fixedField(9, 6),
                             fixedField(9, 6), scientificField(15, 6), scientificField(15, 6),
                             skip(5),          textField(8),           fixedField(8, 4)};
// The same line when no atom was found to be the neighbour: the label and
// distance columns stay blank, and the line keeps its 80 columns.
const Layout lonePositionLine = {skip(2),          fixedField(9, 6),       fixedField(9, 6),
                                 fixedField(9, 6), scientificField(15, 6), scientificField(15, 6),
                                 skip(21)};

} // namespace

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
  PositionResult result;
  result.point = point;
  result.smeared = smeared;
  result.neighbour = findNeighbour(context, point);
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

PositionResult evaluatePosition(const PositionContext& context, const Position& point) {
  return completePosition(
      context, point,
      tablePotential(context.table, context.geometry.volume, point.x, point.y, point.z));
}

std::vector<PositionResult> evaluatePositions(const PositionContext& context,
                                              std::span<const Position> points, int threads) {
  const std::vector<double> smeared =
      tablePotentials(context.table, context.geometry.volume, points, threads);
  const double tolerance = fastSynthesisTolerance(context.table, context.geometry.volume);
  std::vector<PositionResult> results(points.size());
  parallelFor(static_cast<int>(points.size()), threads, [&](int i) {
    results[i] = completePosition(context, points[i], smeared[i]);
    // phiw and phic follow P one to one: where either could print otherwise
    // within the fast synthesis' tolerance, P is formed term by term.
    if (!printsStably(results[i].phiw, tolerance, 15, 6, true) ||
        !printsStably(results[i].phic, tolerance, 15, 6, true))
      results[i] = evaluatePosition(context, points[i]);
  });
  return results;
}

void listPositions(const PositionContext& context, InputFile& input, Listing& listing) {
  listing.write(heading);
  std::vector<Position> batch;
  // A line whose potentials are not finite numbers (beyond the point charge
  // itself at a distance of zero) is listed, and then ends the run; so is a
  // line without a neighbour among atoms that exist, whose distance to every
  // atom overflowed.
  const bool anyImage = !context.sites.empty() && !context.symOps.empty();
  auto finite = [&](const PositionResult& r) {
    if (anyImage && r.neighbour.site < 0) return false;
    const bool onAtom =
        r.neighbour.site >= 0 && r.neighbour.distance < coincidenceDistance && r.neighbour.inSphere;
    return std::isfinite(r.phiw) && (std::isfinite(r.phic) || (onAtom && !std::isnan(r.phic)));
  };
  auto flush = [&] {
    const std::vector<PositionResult> results = evaluatePositions(context, batch);
    batch.clear();
    for (const PositionResult& r : results) {
      const Position& p = r.point;
      if (r.neighbour.site < 0) {
        listing.write(lonePositionLine, std::vector<Value>{p.x, p.y, p.z, r.phiw, r.phic});
      } else {
        listing.write(positionLine, std::vector<Value>{p.x, p.y, p.z, r.phiw, r.phic,
                                                       context.sites[r.neighbour.site].label,
                                                       r.neighbour.distance});
      }
      if (!finite(r))
        throw Fault{faults::notFinite, unitText(notFiniteText, inputUnit, input.path())};
    }
  };
  // Records are read a batch at a time and listed in file order; a record
  // that cannot be read still leaves every earlier one listed.
  try {
    while (const std::optional<Position> point = readPosition(input)) {
      batch.push_back(*point);
      if (batch.size() == positionBatch) flush();
    }
  } catch (const Fault&) {
    flush();
    throw;
  }
  flush();
}

} // namespace telva
