#include "crystal/weight_fractions.hpp"

#include <cmath>

namespace telva {

int groupOrder(const Crystal& crystal) {
  return static_cast<int>(crystal.symOps.size()) * (crystal.inversionAtOrigin ? 2 : 1);
}

std::optional<double> weightAsGroupFraction(double weight, int groupOrder, int width) {
  if (groupOrder < 1 || !(weight > 0) || !std::isfinite(weight)) return std::nullopt;
  // Decimals the field holds: the whole digits and the point take the rest
  // (a value below 1 is written without its leading zero).
  int wholeDigits = 0;
  for (double w = std::abs(weight); w >= 1; w /= 10)
    ++wholeDigits;
  const int decimals = width - 1 - wholeDigits;
  if (decimals < 1) return std::nullopt;
  const double halfUnit = 0.5 * std::pow(10.0, -decimals);
  const double k = std::round(weight * groupOrder);
  if (k < 1) return std::nullopt;
  const double fraction = k / groupOrder;
  // The rounding of the decimal text itself adds a few units of the double's
  // last place.
  if (fraction == weight || std::abs(weight - fraction) > halfUnit * (1 + 1e-6))
    return std::nullopt;
  return fraction;
}

int snapWeightsToGroupOrder(Crystal& crystal) {
  const int order = groupOrder(crystal);
  int changed = 0;
  for (Site& site : crystal.sites)
    if (const std::optional<double> w = weightAsGroupFraction(site.W, order)) {
      site.W = *w;
      ++changed;
    }
  return changed;
}

} // namespace telva
