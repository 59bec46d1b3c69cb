#include "cif/charge_guess.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "cif/bond_valence.hpp"
#include "cif/cif_data.hpp"
#include "cif/conversion.hpp"
#include "cif/oxidation_states.hpp"
#include "cif/symmetry.hpp"
#include "crystal/atom_cells.hpp"
#include "crystal/crystal_check.hpp"

namespace telva {

namespace {

const ElementStates* find(const std::string& element) {
  return elementStates(element);
}

std::string signedText(int state) {
  return (state > 0 ? "+" : "") + std::to_string(state);
}

std::string assignmentText(const std::vector<std::pair<std::string, double>>& amounts,
                           const std::vector<int>& states) {
  std::string out;
  for (std::size_t i = 0; i < amounts.size(); ++i)
    out += (i ? " " : "") + amounts[i].first + signedText(states[i]);
  return out;
}

} // namespace

std::vector<int> commonOxidationStates(const std::string& element) {
  const ElementStates* e = find(element);
  return e ? e->common : std::vector<int>{};
}

std::vector<std::pair<std::string, int>>
guessCharges(const std::vector<std::pair<std::string, double>>& amounts, double fixedCharge) {
  std::vector<const ElementStates*> elements;
  std::int64_t combinations = 1;
  for (const auto& [symbol, amount] : amounts) {
    const ElementStates* e = find(symbol);
    if (!e)
      throw CifError("--guess-charges knows no oxidation states of " + symbol +
                     "; give its charge with --charge " + symbol + "=Z");
    elements.push_back(e);
    combinations *= static_cast<std::int64_t>(e->common.size());
  }
  if (combinations > 5'000'000)
    throw CifError("--guess-charges: too many elements to try every combination of their "
                   "oxidation states; give some charges with --charge");

  // Every combination, as an odometer over the states' ranks.
  std::vector<std::size_t> rank(elements.size(), 0);
  int bestScore = -1;
  std::vector<std::vector<int>> best;
  for (std::int64_t n = 0; n < combinations; ++n) {
    double net = fixedCharge;
    int score = 0;
    double mostPositive = -1, leastNegative = 1e9;
    std::vector<int> states;
    for (std::size_t i = 0; i < elements.size(); ++i) {
      const int state = elements[i]->common[rank[i]];
      states.push_back(state);
      net += amounts[i].second * state;
      score += static_cast<int>(rank[i]);
      if (state > 0) mostPositive = std::max(mostPositive, elements[i]->electronegativity);
      if (state < 0) leastNegative = std::min(leastNegative, elements[i]->electronegativity);
    }
    if (std::abs(net) <= 1e-3 && mostPositive < leastNegative) {
      if (bestScore < 0 || score < bestScore) {
        bestScore = score;
        best = {states};
      } else if (score == bestScore) {
        best.push_back(states);
      }
    }
    for (std::size_t i = 0; i < rank.size(); ++i) {
      if (++rank[i] < elements[i]->common.size()) break;
      rank[i] = 0;
    }
  }
  std::string names;
  for (std::size_t i = 0; i < amounts.size(); ++i)
    names += (i ? ", " : "") + amounts[i].first;
  if (best.empty())
    throw CifError("--guess-charges: no combination of the common oxidation states of " + names +
                   " makes the cell neutral (mixed valence?); give the charges with --charge, "
                   "by label where one element has two");
  if (best.size() > 1)
    throw CifError("--guess-charges: two assignments are equally likely, " +
                   assignmentText(amounts, best[0]) + " and " + assignmentText(amounts, best[1]) +
                   "; give the charges with --charge");
  std::vector<std::pair<std::string, int>> out;
  for (std::size_t i = 0; i < amounts.size(); ++i)
    out.push_back({amounts[i].first, best[0][i]});
  return out;
}

} // namespace telva

namespace telva {

namespace {

// A site's candidate charge and what it costs.
struct Option {
  double charge = 0;
  double cost = 0; // per atom
  std::optional<double> sum;
};

// The bond-valence sum of cation site i in `state`: its bonds to anion sites,
// each weighted by that anion's occupancy; nullopt without bonds or
// parameters.
std::optional<double> bondValenceSum(const std::vector<GuessSite>& sites,
                                     const std::vector<bool>& anion, std::size_t i, int state) {
  double sum = 0;
  bool any = false;
  for (const Bond& b : sites[i].neighbours) {
    if (!anion[b.site]) continue;
    const std::optional<double> r0 = bondValenceR0(sites[i].element, state, sites[b.site].element);
    if (!r0 || b.distance > *r0 + bondCutoffBeyondR0) continue;
    sum += sites[b.site].occupancy * std::exp((*r0 - b.distance) / bondValenceB);
    any = true;
  }
  return any ? std::optional<double>(sum) : std::nullopt;
}

std::string signedCharge(double q) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%+.4f", q);
  std::string text = buffer;
  while (text.back() == '0')
    text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// An assignment: one charge per guessed cation, its cost, and which sites mix.
struct Assignment {
  std::vector<double> charges;
  std::vector<bool> mixed;
  double cost = 0;
};

std::string assignmentText(const std::vector<GuessSite>& sites,
                           const std::vector<std::size_t>& cations, const Assignment& a) {
  std::string text;
  for (std::size_t k = 0; k < cations.size(); ++k)
    text += (k ? " " : "") + sites[cations[k]].label + signedCharge(a.charges[k]);
  return text;
}

} // namespace

std::vector<SiteGuess> guessSiteCharges(const std::vector<GuessSite>& sites) {
  const std::size_t n = sites.size();
  std::vector<SiteGuess> out(n);
  std::vector<const ElementStates*> states(n, nullptr);
  for (std::size_t i = 0; i < n; ++i) {
    if (sites[i].known) continue;
    states[i] = elementStates(sites[i].element);
    if (!states[i])
      throw CifError("--guess-charges knows no oxidation states of " + sites[i].element +
                     " (site " + sites[i].label + "); give its charge with --charge " +
                     sites[i].element + "=Z");
  }
  // Anions: elements whose most common state is negative, unless bonded first
  // to a more electronegative such element (S in a sulfate, N in a nitrate).
  auto anionElement = [&](std::size_t i) {
    const ElementStates* e = elementStates(sites[i].element);
    return e && !e->common.empty() && e->common.front() < 0;
  };
  std::vector<bool> anion(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    if (!anionElement(i)) continue;
    anion[i] = true;
    if (sites[i].neighbours.empty()) continue;
    const GuessSite& nearest = sites[sites[i].neighbours.front().site];
    const ElementStates* self = elementStates(sites[i].element);
    const ElementStates* other = elementStates(nearest.element);
    if (anionElement(sites[i].neighbours.front().site) && other &&
        other->electronegativity > self->electronegativity)
      anion[i] = false;
  }
  double fixed = 0;
  std::vector<std::size_t> cations;
  for (std::size_t i = 0; i < n; ++i) {
    if (sites[i].known) {
      out[i].charge = *sites[i].known;
      fixed += *sites[i].known * sites[i].atoms;
    } else if (anion[i]) {
      // An anion whose nearest neighbour is an anion of its own element
      // shares its charge with it (S2 2-, O2 2-).
      const int state = states[i]->common.front();
      const bool pair = !sites[i].neighbours.empty() &&
                        sites[sites[i].neighbours.front().site].element == sites[i].element;
      out[i].charge = pair ? state / 2.0 : state;
      out[i].anion = true;
      fixed += out[i].charge * sites[i].atoms;
    } else {
      cations.push_back(i);
    }
  }
  if (cations.empty()) {
    if (std::abs(fixed) > guessNeutrality)
      throw CifError("--guess-charges: the anions' charges leave the cell with " +
                     signedCharge(fixed) + " e and there is no cation to balance them");
    return out;
  }

  // Each cation's options: its element's positive states, each with its cost.
  std::vector<std::vector<Option>> options(cations.size());
  std::int64_t combinations = 1;
  for (std::size_t k = 0; k < cations.size(); ++k) {
    const std::size_t i = cations[k];
    std::vector<int> positive;
    for (const std::vector<int>* list : {&states[i]->common, &states[i]->rarer})
      for (int s : *list)
        if (s > 0) positive.push_back(s);
    for (int s : positive) {
      const std::optional<double> sum = bondValenceSum(sites, anion, i, s);
      const double misfit = sum ? s - *sum : 0.0;
      options[k].push_back(
          {double(s), misfit * misfit + guessRankWeight * stateRank(*states[i], s), sum});
    }
    if (options[k].empty())
      throw CifError("--guess-charges: site " + sites[i].label + " (" + sites[i].element +
                     ") sits among cations but its element takes no positive state; give its "
                     "charge with --charge");
    combinations *= static_cast<std::int64_t>(options[k].size());
    if (combinations > 200'000)
      throw CifError("--guess-charges: too many sites to try every assignment of their "
                     "states; give some charges with --charge");
  }
  double cationAtoms = 0;
  for (std::size_t i : cations)
    cationAtoms += sites[i].atoms;

  std::vector<Assignment> found;
  auto keep = [&](Assignment a) {
    for (Assignment& f : found) {
      bool same = true;
      for (std::size_t k = 0; k < a.charges.size() && same; ++k)
        same = std::abs(f.charges[k] - a.charges[k]) < 1e-6;
      if (same) {
        if (a.cost < f.cost) f = a;
        return;
      }
    }
    found.push_back(std::move(a));
  };
  // The elements among the cations, for mixed valence: the sites of one
  // element that share one charge between two of its states.
  std::vector<std::string> elements;
  for (std::size_t i : cations)
    if (std::find(elements.begin(), elements.end(), sites[i].element) == elements.end())
      elements.push_back(sites[i].element);

  std::vector<std::size_t> pick(cations.size(), 0);
  for (std::int64_t c = 0; c < combinations; ++c) {
    double net = fixed, cost = 0;
    for (std::size_t k = 0; k < cations.size(); ++k) {
      net += options[k][pick[k]].charge * sites[cations[k]].atoms;
      cost += options[k][pick[k]].cost * sites[cations[k]].atoms;
    }
    Assignment integer;
    for (std::size_t k = 0; k < cations.size(); ++k)
      integer.charges.push_back(options[k][pick[k]].charge);
    integer.mixed.assign(cations.size(), false);
    if (std::abs(net) <= guessNeutrality) {
      integer.cost = cost / cationAtoms;
      keep(integer);
    } else if (combinations <= 2'000) {
      for (const std::string& element : elements) {
        std::vector<std::size_t> members; // indices into cations
        for (std::size_t k = 0; k < cations.size(); ++k)
          if (sites[cations[k]].element == element) members.push_back(k);
        if (members.size() > 8) continue;
        const ElementStates& e = *states[cations[members.front()]];
        for (unsigned subset = 1; subset < (1u << members.size()); ++subset) {
          double rest = net, atoms = 0, restCost = cost;
          for (std::size_t m = 0; m < members.size(); ++m)
            if (subset & (1u << m)) {
              const std::size_t k = members[m];
              rest -= options[k][pick[k]].charge * sites[cations[k]].atoms;
              restCost -= options[k][pick[k]].cost * sites[cations[k]].atoms;
              atoms += sites[cations[k]].atoms;
            }
          const double q = -rest / atoms;
          const double low = std::floor(q), high = std::ceil(q);
          if (q - low < guessNeutrality || high - q < guessNeutrality) continue;
          const int lowRank = stateRank(e, int(low)), highRank = stateRank(e, int(high));
          if (lowRank < 0 || highRank < 0 || low <= 0) continue;
          Assignment mixed = integer;
          double mixedCost = restCost;
          for (std::size_t m = 0; m < members.size(); ++m)
            if (subset & (1u << m)) {
              const std::size_t k = members[m];
              const std::size_t i = cations[k];
              const std::optional<double> vLow = bondValenceSum(sites, anion, i, int(low));
              const std::optional<double> vHigh = bondValenceSum(sites, anion, i, int(high));
              double misfit = 0;
              if (vLow && vHigh) misfit = q - (*vLow + (q - low) * (*vHigh - *vLow));
              mixedCost +=
                  sites[i].atoms *
                  (misfit * misfit + guessRankWeight * 0.5 * (lowRank + highRank) + guessMixedCost);
              mixed.charges[k] = q;
              mixed.mixed[k] = true;
            }
          mixed.cost = mixedCost / cationAtoms;
          keep(mixed);
        }
      }
    }
    for (std::size_t k = 0; k < pick.size(); ++k) {
      if (++pick[k] < options[k].size()) break;
      pick[k] = 0;
    }
  }
  if (found.empty())
    throw CifError("--guess-charges: no assignment of the elements' oxidation states makes the "
                   "cell neutral within " +
                   signedCharge(guessNeutrality).substr(1) +
                   " e (is an anion in an unusual state?); give the charges with --charge");
  std::sort(found.begin(), found.end(),
            [](const Assignment& a, const Assignment& b) { return a.cost < b.cost; });
  if (found.size() > 1 && found[1].cost - found[0].cost < guessMargin) {
    char margin[64];
    std::snprintf(margin, sizeof margin, "%.3f and %.3f", found[0].cost, found[1].cost);
    throw CifError("--guess-charges: two assignments fit the bond-valence sums and the "
                   "states' ranks almost equally (cost " +
                   std::string(margin) + ", within the margin " +
                   signedCharge(guessMargin).substr(1) +
                   "): " + assignmentText(sites, cations, found[0]) + " and " +
                   assignmentText(sites, cations, found[1]) + "; give the charges with --charge");
  }
  for (std::size_t k = 0; k < cations.size(); ++k) {
    const std::size_t i = cations[k];
    SiteGuess& g = out[i];
    g.charge = found[0].charges[k];
    g.mixed = found[0].mixed[k];
    const int state = int(std::lround(g.charge));
    if (!g.mixed) {
      g.bondValenceSum = bondValenceSum(sites, anion, i, state);
    } else {
      const double low = std::floor(g.charge);
      const auto vLow = bondValenceSum(sites, anion, i, int(low));
      const auto vHigh = bondValenceSum(sites, anion, i, int(low) + 1);
      if (vLow && vHigh) g.bondValenceSum = *vLow + (g.charge - low) * (*vHigh - *vLow);
    }
  }
  return out;
}

std::vector<GuessSite> guessSites(const CifCrystal& crystal,
                                  const std::vector<std::optional<double>>& known) {
  const std::vector<MatrixOp> group = normalisedGroup(crystal.operations);
  const WrittenOperations written = chooseWrittenOperations(group);
  Crystal geometry;
  geometry.lattice = crystal.cell;
  for (const MatrixOp& op : written.ops)
    geometry.symOps.push_back(toAxisCodeRows(op));
  geometry.inversionAtOrigin = written.inversionAtOrigin;
  for (const CifSite& s : crystal.sites)
    geometry.sites.push_back({s.label, 1.0, 1.0, s.x, s.y, s.z});
  // A cell the program would refuse is refused here too, before any atom is
  // placed; so is one that would hold more atom images than a guess needs.
  if (const std::string defect = crystalDefect(crystal.cell, {}, {}); !defect.empty())
    throw CifError("the CIF's cell: " + defect);
  if (atomImageCount(geometry, bondReach) > maxGuessImages)
    throw CifError("--guess-charges: the structure has too many atoms near its cell to sum "
                   "bond valences; give the charges with --charge");
  AtomCells cells;
  try {
    cells = buildAtomCells(geometry, bondReach);
  } catch (const Fault& fault) {
    throw CifError("--guess-charges: " + fault.text);
  }
  const CellGeometry cell = buildCellGeometry(crystal.cell, 0);
  std::vector<GuessSite> out;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    const CifSite& s = crystal.sites[i];
    GuessSite g{s.label, s.element, 0, s.occupancy, known[i], {}};
    g.atoms = s.occupancy *
              double(distinctImages(group, {s.x, s.y, s.z}, cell, samePointToleranceA).size());
    // Images of one site closer than the tolerance are one atom (a site on a
    // special position written with four decimals); the site itself and
    // sites sharing its position are no neighbours.
    std::vector<AtomHit> kept;
    for (const AtomHit& hit :
         atomsWithin(cells, cartesianPoint(cells, {s.x, s.y, s.z}), bondReach)) {
      if (hit.distance < samePointToleranceA || crystal.sites[hit.site].occupancy == 0) continue;
      const bool repeat = std::any_of(kept.begin(), kept.end(), [&](const AtomHit& k) {
        const double dx = k.r[0] - hit.r[0], dy = k.r[1] - hit.r[1], dz = k.r[2] - hit.r[2];
        return k.site == hit.site &&
               dx * dx + dy * dy + dz * dz < samePointToleranceA * samePointToleranceA;
      });
      if (repeat) continue;
      kept.push_back(hit);
      g.neighbours.push_back({std::size_t(hit.site), hit.distance});
    }
    out.push_back(std::move(g));
  }
  return out;
}

std::string siteGuessText(const std::vector<GuessSite>& sites,
                          const std::vector<SiteGuess>& guess) {
  std::string text;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    if (sites[i].known) continue;
    text += (text.empty() ? "" : ", ") + sites[i].label + " " + signedCharge(guess[i].charge);
    char sum[64] = "";
    if (guess[i].bondValenceSum)
      std::snprintf(sum, sizeof sum, "bond-valence sum %.2f", *guess[i].bondValenceSum);
    if (guess[i].anion)
      text += " (anion)";
    else if (guess[i].mixed)
      text += std::string(" (") + (*sum ? sum : "no bond-valence sum") + ", mixed valence)";
    else
      text += std::string(" (") + (*sum ? sum : "no bond-valence sum") + ")";
  }
  return text;
}

} // namespace telva
