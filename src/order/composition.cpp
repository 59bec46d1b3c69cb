#include "order/composition.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "cif/charges.hpp"

namespace telva {

namespace {

std::string fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

// The occupancy as the CIF gives it, shortest.
std::string occupancyText(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

// How long the supercell's shortest lattice vector is for its volume: 1 for
// a cube, smaller the flatter or the more skewed.
double cubicness(const std::array<double, 6>& parentCell, const IntMatrix& m) {
  const auto rows = cartesianRows(supercellCell(parentCell, m));
  double shortest = INFINITY;
  for (int i = -2; i <= 2; ++i)
    for (int j = -2; j <= 2; ++j)
      for (int k = -2; k <= 2; ++k) {
        if (i == 0 && j == 0 && k == 0) continue;
        double v[3];
        for (int d = 0; d < 3; ++d)
          v[d] = i * rows[0][d] + j * rows[1][d] + k * rows[2][d];
        shortest = std::min(shortest, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
      }
  const double volume = rows[0][0] * rows[1][1] * rows[2][2];
  return shortest / std::cbrt(volume);
}

// The same lattice on shorter rows: a row replaced by its sum with or
// difference from another while that shortens it (the determinant is kept),
// so the written supercell's edges show how nearly cubic it is.
IntMatrix shortenedBasis(const std::array<double, 6>& parentCell, IntMatrix m) {
  const auto parent = cartesianRows(parentCell);
  auto length2 = [&](const std::array<int, 3>& row) {
    double v[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
      for (int d = 0; d < 3; ++d)
        v[d] += row[k] * parent[k][d];
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  };
  for (bool shorter = true; shorter;) {
    shorter = false;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int sign = -1; i != j && sign <= 1; sign += 2) {
          std::array<int, 3> row = m[i];
          for (int k = 0; k < 3; ++k)
            row[k] += sign * m[j][k];
          if (length2(row) < length2(m[i]) * (1 - 1e-12)) {
            m[i] = row;
            shorter = true;
          }
        }
  }
  return m;
}

} // namespace

int parentSites(const DisorderedCrystal& crystal) {
  int n = 0;
  for (const DisorderedPosition& p : crystal.positions)
    n += static_cast<int>(p.images.size());
  return n;
}

std::optional<Composition> wholeComposition(const DisorderedCrystal& crystal, int determinant,
                                            double tolerance) {
  Composition c;
  for (const DisorderedPosition& p : crystal.positions) {
    const int n = static_cast<int>(p.images.size()) * determinant;
    double total = 0;
    for (const Species& s : p.species)
      total += s.occupancy;
    std::vector<int> counts;
    std::vector<double> exact;
    int sum = 0;
    for (const Species& s : p.species) {
      exact.push_back(s.occupancy / std::max(total, 1.0) * n);
      counts.push_back(static_cast<int>(std::lround(exact.back())));
      sum += counts.back();
    }
    // The rounded counts fill the sites: the largest remainders give way.
    while (sum != n) {
      const int step = sum > n ? -1 : 1;
      std::size_t best = 0;
      double bestGap = -INFINITY;
      for (std::size_t k = 0; k < counts.size(); ++k) {
        const double gap = step * (exact[k] - counts[k]);
        if (counts[k] + step >= 0 && gap > bestGap) {
          bestGap = gap;
          best = k;
        }
      }
      counts[best] += step;
      sum += step;
    }
    for (std::size_t k = 0; k < counts.size(); ++k) {
      const double taken = double(counts[k]) / n, given = exact[k] / n;
      if (std::abs(taken - given) > tolerance + 1e-12) return std::nullopt;
      if (p.species.size() > 1 && std::abs(taken - given) > 1e-9) {
        const int g = std::gcd(counts[k], n);
        c.rounded.push_back(p.species[k].label + " " + occupancyText(p.species[k].occupancy) +
                            " -> " + std::to_string(counts[k] / g) + "/" + std::to_string(n / g) +
                            " (" + std::to_string(counts[k]) + " of " + std::to_string(n) +
                            " sites)");
      }
    }
    c.counts.push_back(counts);
  }
  return c;
}

IntMatrix automaticSupercell(const DisorderedCrystal& crystal, int maxAtoms, double tolerance,
                             std::vector<std::string>& notes) {
  const int sites = parentSites(crystal);
  int determinant = 0;
  for (int d = 1; d * sites <= maxAtoms; ++d)
    if (wholeComposition(crystal, d, tolerance)) {
      determinant = d;
      break;
    }
  if (determinant == 0) {
    std::string nearest;
    int found = 0;
    for (int d = std::max(1, maxAtoms / sites + 1); d <= 4096 && found < 3; ++d)
      if (wholeComposition(crystal, d, tolerance)) {
        nearest += std::string(found ? ", " : "") + std::to_string(d * sites) + " (" +
                   std::to_string(d) + " cells)";
        ++found;
      }
    throw CifError("the occupancies fit no supercell of at most " + std::to_string(maxAtoms) +
                   " sites within --occupancy-tolerance " + occupancyText(tolerance) + "; " +
                   (found ? "the nearest workable sizes are " + nearest +
                                " sites: raise --max-atoms, or --occupancy-tolerance"
                          : "none up to 4096 cells either: raise --occupancy-tolerance"));
  }
  // Hermite normal forms of the determinant: every sublattice of that index once.
  IntMatrix best{};
  double bestScore = -1;
  for (int a = determinant; a >= 1; --a) {
    if (determinant % a) continue;
    for (int c = determinant / a; c >= 1; --c) {
      if ((determinant / a) % c) continue;
      const int f = determinant / a / c;
      // Rows (a 0 0), (b c 0), (d e f): the second row reduced modulo the
      // first, the third modulo the first two.
      for (int b = 0; b < a; ++b)
        for (int d = 0; d < a; ++d)
          for (int e = 0; e < c; ++e) {
            IntMatrix m{};
            m[0] = {a, 0, 0};
            m[1] = {b, c, 0};
            m[2] = {d, e, f};
            const double score = cubicness(crystal.cell, m);
            if (score > bestScore + 1e-9) {
              bestScore = score;
              best = m;
            }
          }
    }
  }
  best = shortenedBasis(crystal.cell, best);
  notes.push_back("--supercell auto: " + matrixText(best) + ", " +
                  std::to_string(determinant * sites) +
                  " sites, the smallest in which every occupancy is a whole number of atoms");
  return best;
}

Composition compositionOf(const DisorderedCrystal& crystal, const IntMatrix& matrix,
                          double tolerance) {
  const int det = determinant(matrix);
  if (std::optional<Composition> c = wholeComposition(crystal, det, tolerance)) return *c;
  std::string workable;
  int found = 0;
  for (int d = 1; d <= 4096 && found < 4; ++d)
    if (wholeComposition(crystal, d, tolerance)) {
      workable += std::string(found ? ", " : "") + std::to_string(d);
      ++found;
    }
  std::string which;
  for (const DisorderedPosition& p : crystal.positions)
    for (const Species& s : p.species) {
      const double n = double(p.images.size()) * det;
      const double atoms = s.occupancy * n;
      if (std::abs(std::round(atoms) / n - s.occupancy) > tolerance && which.empty())
        which = s.label + " (occupancy " + occupancyText(s.occupancy) + " of " +
                std::to_string(int(n)) + " sites: " + fixed(atoms, 2) + " atoms)";
    }
  throw CifError(
      "in the supercell " + matrixText(matrix) + " (" + std::to_string(det) +
      " cells) an occupancy is no whole number of atoms within --occupancy-tolerance " +
      occupancyText(tolerance) + ": " + which +
      (found ? "; supercells of " + workable + " cells would do (--supercell auto)" : ""));
}

void checkNeutral(const DisorderedCrystal& crystal, const Supercell& supercell,
                  const Composition& composition) {
  double net = 0;
  for (std::size_t p = 0; p < crystal.positions.size(); ++p)
    for (std::size_t k = 0; k < crystal.positions[p].species.size(); ++k)
      net += crystal.positions[p].species[k].charge * composition.counts[p][k];
  if (std::abs(net) <= neutralityTolerance) return;
  // Counts that would balance it: one position's two species exchanging sites.
  std::vector<std::string> balancing;
  for (std::size_t p = 0; p < crystal.positions.size(); ++p) {
    const DisorderedPosition& pos = crystal.positions[p];
    for (std::size_t a = 0; a < pos.species.size(); ++a)
      for (std::size_t b = 0; b < pos.species.size(); ++b) {
        const double dq = pos.species[a].charge - pos.species[b].charge;
        if (a == b || dq == 0) continue;
        const double k = -net / dq; // sites passing from b to a
        const int whole = static_cast<int>(std::lround(k));
        if (whole <= 0 || std::abs(k - whole) > 1e-6) continue;
        const int na = composition.counts[p][a] + whole, nb = composition.counts[p][b] - whole;
        if (nb < 0) continue;
        balancing.push_back(std::to_string(na) + " " + pos.species[a].label + " and " +
                            std::to_string(nb) + " " + pos.species[b].label);
      }
  }
  std::string counts;
  for (std::size_t p = 0; p < crystal.positions.size(); ++p)
    for (std::size_t k = 0; k < crystal.positions[p].species.size(); ++k) {
      const Species& s = crystal.positions[p].species[k];
      if (s.vacancy) continue;
      counts += std::string(counts.empty() ? "" : ", ") + std::to_string(composition.counts[p][k]) +
                " " + s.label + " " + (s.charge > 0 ? "+" : "") + chargeText(s.charge);
    }
  std::string text = "the supercell " + matrixText(supercell.matrix) +
                     " is not neutral with these charges: net charge " + (net > 0 ? "+" : "") +
                     chargeText(net) + " e (" + counts + ")";
  if (!balancing.empty()) {
    text += "; it would be neutral with ";
    for (std::size_t i = 0; i < balancing.size() && i < 3; ++i)
      text += (i ? ", or " : "") + balancing[i];
  }
  text += "; check the charges (--charge NAME=Z) and the occupancies";
  throw CifError(text);
}

} // namespace telva
