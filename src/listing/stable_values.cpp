#include "listing/stable_values.hpp"

#include <cmath>

#include "base/parallel.hpp"
#include "electrostatics/energy_units.hpp"
#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/site_potentials.hpp"
#include "electrostatics/table_synthesis.hpp"
#include "records/fixed_column.hpp"

namespace telva {

bool printsStably(double value, double tolerance, int width, int decimals, bool scientific) {
  auto text = [&](double v) {
    return scientific ? formatScientific(v, width, decimals) : formatFixed(v, width, decimals);
  };
  return text(value - tolerance) == text(value + tolerance);
}

std::vector<double> stableSitePotentials(const CoefficientTable& table, double volume,
                                         double radius, std::span<const Site> sites, int threads) {
  std::vector<double> phi = sitePotentials(table, volume, radius, sites, threads);
  const double tolerance = synthesisTolerance(table, volume);
  for (std::size_t i = 0; i < sites.size(); ++i)
    if (!printsStably(phi[i], tolerance, 15, 6, true))
      phi[i] = referenceSitePotential(table, volume, radius, sites[i]);
  // The energy sums the potentials' errors, weighted by Z W.
  double weights = 0;
  for (const Site& site : sites)
    weights += std::fabs(site.charge * site.W);
  const double energy = energyPerAsymmetricUnit(sites, phi);
  const double energyTolerance = 0.5 * weights * tolerance * 2;
  if (!printsStably(energy, energyTolerance, 13, 6, false) ||
      !printsStably(energy * electronVoltsPerUnit, energyTolerance * electronVoltsPerUnit, 13, 5,
                    false) ||
      !printsStably(energy * megajoulesPerMolePerUnit, energyTolerance * megajoulesPerMolePerUnit,
                    11, 6, false)) {
    for (std::size_t i = 0; i < sites.size(); ++i)
      phi[i] = referenceSitePotential(table, volume, radius, sites[i]);
  }
  return phi;
}

std::vector<PositionResult> stablePositions(const PositionContext& context,
                                            std::span<const Position> points, int threads) {
  std::vector<PositionResult> results = evaluatePositions(context, points, threads);
  const double tolerance = synthesisTolerance(context.table, context.geometry.volume);
  // phiw and phic follow P one to one: where either could print otherwise
  // within the synthesis' tolerance, P is formed term by term.
  parallelFor(
      static_cast<int>(points.size()),
      [&](int i) {
        if (!printsStably(results[i].phiw, tolerance, 15, 6, true) ||
            !printsStably(results[i].phic, tolerance, 15, 6, true))
          results[i] = referencePosition(context, points[i]);
      },
      threads);
  return results;
}

} // namespace telva
