#include "cif/conversion.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <unordered_set>

#include "base/capacities.hpp"
#include "cif/charge_guess.hpp"
#include "cif/cif_reader.hpp"
#include "crystal/crystal_check.hpp"
#include "crystal/near_pairs.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/truncation_estimate.hpp"
#include "records/fixed_column.hpp"
#include "records/input_records.hpp"

namespace telva {

namespace {

// The fields of the input records, as the program reads them: every value is
// written with a decimal point, so the implied decimals only serve the
// read-back checks.
const Field& rangeField = inputRecords::radiusAndRange[0]; // R, qmax
const Field& latticeField = inputRecords::lattice[0];      // a, b, c, alpha, beta, gamma
const Field& translationField = inputRecords::symOp[0];    // a row's translation
const Field& siteValueField = inputRecords::site[2];       // charge, W, x, y, z
const Field& positionField = inputRecords::position[0];    // x, y, z of a position record
const int rangeWidth = rangeField.width, rangeImplied = rangeField.decimals;
const int latticeWidth = latticeField.width, latticeImplied = latticeField.decimals;
const int translationWidth = translationField.width;
const int translationImplied = translationField.decimals;

std::string number(double value, int decimals = 4) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::string scientific(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1e", value);
  return buffer;
}

// A value written to fill its field, and the value the program reads back.
struct Filled {
  Field field;
  double readBack = 0;
};

// A value whose decimal expansion ends within the field is written as short
// as it reads back exactly (5.64 as "     5.64"), any other with every digit
// the field holds (1/48 as ".02083333"); both carry a decimal point.
Filled filled(double value, int width, int implied) {
  value += 0.0; // no negative zero
  const int most = fillingDecimals(value, width);
  int decimals = most;
  for (int d = 1; d < most; ++d)
    if (parseFixedField(formatFixed(value, width, d), implied) == value) {
      decimals = d;
      break;
    }
  const std::string text = formatFixed(value, width, decimals);
  return {fixedField(width, decimals), parseFixedField(text, implied).value_or(NAN)};
}

std::string oneLine(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c)) ||
        !std::isprint(static_cast<unsigned char>(c))) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

} // namespace

int fillingDecimals(double value, int width) {
  for (int decimals = width - 1; decimals >= 0; --decimals)
    if (formatFixed(value, width, decimals).find('*') == std::string::npos) return decimals;
  throw CifError("the value " + number(value) + " does not fit a field of " +
                 std::to_string(width) + " columns");
}

std::optional<double> wholeNumber(const std::string& word) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(word, &used);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (word.empty() || used != word.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::vector<Position> parsePositions(std::string_view text, const std::string& name) {
  std::vector<Position> points;
  std::istringstream in{std::string(text)};
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    line = line.substr(0, line.find('#'));
    std::replace(line.begin(), line.end(), ',', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::istringstream fields(line);
    std::vector<double> values;
    std::string word;
    while (fields >> word) {
      const std::optional<double> v = wholeNumber(word);
      if (!v)
        throw CifError(name + ", line " + std::to_string(lineNumber) + ": '" + word +
                       "' is not a number");
      values.push_back(*v);
    }
    if (values.empty()) continue;
    if (values.size() != 3)
      throw CifError(name + ", line " + std::to_string(lineNumber) + ": " +
                     std::to_string(values.size()) + " numbers where a position needs x y z");
    points.push_back({values[0], values[1], values[2]});
  }
  return points;
}

std::vector<CifSite> uniqueLabels(const std::vector<CifSite>& sites,
                                  std::vector<std::string>& notes) {
  std::vector<CifSite> out = sites;
  std::map<std::string, int> seen;
  for (const CifSite& s : sites)
    seen[s.label] = 0;
  for (CifSite& s : out) {
    if (seen[s.label]++ == 0) continue;
    std::string label;
    for (int n = seen[s.label];; ++n) {
      label = s.label + "_" + std::to_string(n);
      if (!seen.count(label)) break;
    }
    notes.push_back("the label " + s.label + " is repeated; this site is called " + label);
    seen[label] = 1;
    s.label = label;
  }
  return out;
}

std::vector<double> chargesOfSites(const CifCrystal& crystal, const ConversionOptions& options,
                                   std::vector<std::string>& notes,
                                   std::vector<std::string>& warnings) {
  // An assignment that names no site (the same charges given to a batch of
  // CIFs) is told and left out; with --strict it is an error.
  std::vector<ChargeOverride> used;
  for (const ChargeOverride& o : options.charges) {
    const std::vector<UnusedCharge> unused = unusedCharges(crystal, {o});
    if (unused.empty()) {
      used.push_back(o);
      continue;
    }
    if (options.strict) throw CifError(unused.front().text + " (--strict)");
    warnings.push_back(unused.front().text);
  }
  ConversionOptions withUsed = options;
  withUsed.charges = used;
  return chargesOfSites(crystal, withUsed, notes);
}

std::vector<double> chargesOfSites(const CifCrystal& crystal, const ConversionOptions& options,
                                   std::vector<std::string>& notes) {
  std::vector<std::optional<double>> known = knownCharges(crystal, options.charges);
  // An empty site is left out; its charge does not matter.
  for (std::size_t i = 0; i < crystal.sites.size(); ++i)
    if (!known[i] && crystal.sites[i].occupancy == 0) known[i] = 0.0;
  if (std::all_of(known.begin(), known.end(), [](const auto& c) { return c.has_value(); })) {
    std::vector<double> charges;
    for (const auto& c : known)
      charges.push_back(*c);
    return charges;
  }
  bool guessable = true;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i)
    if (!known[i] && crystal.sites[i].element.empty()) guessable = false;
  if (!options.guessCharges) {
    // Offer the guess's values in the command line when there is one and it
    // gives every site of an element the same charge.
    std::vector<std::pair<std::string, double>> suggested;
    if (guessable) try {
        const std::vector<SiteGuess> guess = guessSiteCharges(guessSites(crystal, known));
        for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
          if (known[i]) continue;
          const std::string& element = crystal.sites[i].element;
          bool uniform = true;
          for (std::size_t j = 0; j < crystal.sites.size(); ++j)
            if (!known[j] && crystal.sites[j].element == element &&
                guess[j].charge != guess[i].charge)
              uniform = false;
          const bool listed = std::any_of(suggested.begin(), suggested.end(),
                                          [&](const auto& e) { return e.first == element; });
          if (uniform && !listed) suggested.push_back({element, guess[i].charge});
        }
      } catch (const CifError&) {
        suggested.clear();
      }
    throw CifError(missingChargesMessage(crystal, options.charges, known, suggested));
  }
  if (!guessable) {
    std::string names;
    for (std::size_t i = 0; i < crystal.sites.size(); ++i)
      if (!known[i] && crystal.sites[i].element.empty())
        names += (names.empty() ? "" : ", ") + crystal.sites[i].label + " (type " +
                 crystal.sites[i].typeSymbol + ")";
    throw CifError("--guess-charges guesses by element, and the sites " + names +
                   " have none (pseudo-atoms); give their charges with --charge type:NAME=Z or "
                   "--charge label:NAME=Z");
  }
  const std::vector<GuessSite> sites = guessSites(crystal, known);
  const std::vector<SiteGuess> guess = guessSiteCharges(sites);
  notes.push_back("charges guessed by --guess-charges (bond-valence sums, Brese & O'Keeffe "
                  "1991, and how common each state is; the cell neutral): " +
                  siteGuessText(sites, guess));
  std::vector<double> charges;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i)
    charges.push_back(known[i] ? *known[i] : guess[i].charge);
  return charges;
}

namespace {

// Within `toleranceA` of `p` modulo lattice; a cheap test of the fractional
// differences first.
bool samePoint(const CellGeometry& cell, const Position& p, const Position& q, double toleranceA) {
  const double d[3] = {p.x - q.x, p.y - q.y, p.z - q.z};
  const double edge[3] = {cell.a, cell.b, cell.c};
  for (int k = 0; k < 3; ++k)
    if (std::abs(d[k] - std::round(d[k])) * edge[k] > 4 * toleranceA + 1e-9 * edge[k]) return false;
  return nearestImageDistance(cell, p, q) < toleranceA;
}

// The first position (in their order) with an image at p, or positions.size():
// what a search of every image of every position finds, from the positions
// with an image near p.
std::size_t firstSamePosition(const GrowingBins& bins, const std::vector<CellPosition>& positions,
                              const CellGeometry& cell, const Position& p) {
  std::size_t first = positions.size();
  bins.forEachCandidate(p, [&](std::size_t c) {
    if (c < first &&
        std::any_of(positions[c].images.begin(), positions[c].images.end(),
                    [&](const Position& q) { return samePoint(cell, p, q, samePointToleranceA); }))
      first = c;
  });
  return first;
}

} // namespace

std::vector<CellPosition> cellPositions(const CifCrystal& crystal,
                                        const std::vector<double>& charges,
                                        const std::vector<MatrixOp>& group,
                                        const std::array<double, 6>& lattice,
                                        std::vector<std::string>& notes) {
  std::vector<CellPosition> positions;
  const int order = static_cast<int>(group.size());
  const CellGeometry cell = buildCellGeometry(lattice, 0);
  GrowingBins images(cell, samePointToleranceA); // the images of the positions so far
  std::vector<std::string> empty;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    const CifSite& s = crystal.sites[i];
    if (!(s.occupancy >= 0) || s.occupancy > 1 + occupancyTolerance)
      throw CifError("site " + s.label + " has the occupancy " + number(s.occupancy) +
                     ", outside [0, 1]");
    if (s.occupancy == 0) {
      empty.push_back(s.label);
      continue;
    }
    const Position p{s.x, s.y, s.z};
    auto same = positions.begin() + firstSamePosition(images, positions, cell, p);
    if (same == positions.end()) {
      CellPosition c;
      c.point = p;
      c.images = distinctImages(group, p, cell, samePointToleranceA);
      const int multiplicity = static_cast<int>(c.images.size());
      if (order % multiplicity != 0)
        throw CifError("site " + s.label + ": its " + std::to_string(multiplicity) +
                       " images do not divide the " + std::to_string(order) +
                       " operations; is it within " + number(samePointToleranceA, 2) +
                       " A of a special position without lying on it?");
      for (const Position& q : c.images)
        images.add(q, positions.size());
      positions.push_back(std::move(c));
      same = positions.end() - 1;
    }
    same->members.push_back(i);
    same->charge += charges[i] * s.occupancy;
    same->occupancy += s.occupancy;
  }
  if (!empty.empty()) {
    std::string names;
    for (const std::string& l : empty)
      names += (names.empty() ? "" : ", ") + l;
    notes.push_back("occupancy 0, left out: " + names);
  }
  if (positions.empty()) throw CifError("every atom site of the CIF has the occupancy 0");
  for (CellPosition& c : positions) {
    std::string names;
    double majority = -1;
    for (std::size_t m : c.members) {
      const CifSite& s = crystal.sites[m];
      names += (names.empty() ? "" : ", ") + s.label + " (" + number(s.occupancy) + ")";
      if (s.occupancy > majority) {
        majority = s.occupancy;
        c.element = s.element;
      }
    }
    if (c.occupancy > 1 + occupancyTolerance)
      throw CifError("the occupancies at one position add up to " + number(c.occupancy) +
                     ", more than 1: " + names +
                     (c.members.size() == 1 ? "" : " lie on one orbit") +
                     "; check the occupancies, and whether two of the sites are one "
                     "under the symmetry");
  }
  return positions;
}

NearPositions nearPositions(const std::vector<CellPosition>& positions,
                            const std::array<double, 6>& lattice,
                            const std::function<bool(std::size_t)>& from,
                            const std::function<bool(std::size_t)>& to, double reach) {
  const CellGeometry g = buildCellGeometry(lattice, 0);
  std::vector<Position> atoms;
  std::vector<std::size_t> positionOf;
  for (std::size_t j = 0; j < positions.size(); ++j)
    if (to(j))
      for (const Position& q : positions[j].images) {
        atoms.push_back(q);
        positionOf.push_back(j);
      }
  NearPositions out;
  out.reach = reach;
  out.near.resize(positions.size());
  if (atoms.empty()) return out;
  const NearCells cells = buildNearCells(g, atoms, reach);
  std::map<std::size_t, double> nearest;
  for (std::size_t i = 0; i < positions.size(); ++i) {
    if (!from(i)) continue;
    nearest.clear();
    double r = reach;
    forEachPointNear(cells, g, positions[i].point, r, [&](std::int32_t k, double d) {
      const std::size_t j = positionOf[k];
      if (i == j && d < samePointToleranceA) return; // the atom itself
      const auto [at, fresh] = nearest.try_emplace(j, d);
      if (!fresh) at->second = std::min(at->second, d);
    });
    out.near[i].assign(nearest.begin(), nearest.end());
  }
  return out;
}

double NearPositions::at(std::size_t i, std::size_t j) const {
  const auto& row = near[i];
  const auto found = std::lower_bound(
      row.begin(), row.end(), j,
      [](const std::pair<std::size_t, double>& e, std::size_t v) { return e.first < v; });
  return found != row.end() && found->first == j ? found->second : INFINITY;
}

namespace {

// The shortest nearest(i, j) over charged positions i <= j, and the first
// such pair: the search radius grows until a pair lies within it, or until
// it takes in every pair.
std::pair<double, std::pair<std::size_t, std::size_t>>
shortestChargedPair(const std::vector<CellPosition>& positions,
                    const std::array<double, 6>& lattice) {
  const CellGeometry g = buildCellGeometry(lattice, 0);
  auto charged = [&](std::size_t i) { return positions[i].charge != 0; };
  std::size_t atoms = 0;
  for (const CellPosition& c : positions)
    atoms += c.images.size();
  double shortest = INFINITY;
  std::pair<std::size_t, std::size_t> pair{0, 0};
  for (double reach = typicalSpacing(g, atoms);; reach *= 2) {
    const NearPositions near = nearPositions(positions, lattice, charged, charged, reach);
    for (std::size_t i = 0; i < positions.size(); ++i)
      for (const auto& [j, d] : near.near[i])
        if (j >= i && d < shortest) {
          shortest = d;
          pair = {i, j};
        }
    if (std::isfinite(shortest) || reach > farthestImageDistance(g)) return {shortest, pair};
  }
}

} // namespace

double chooseRadius(const std::vector<CellPosition>& positions,
                    const std::vector<std::string>& labels, const std::array<double, 6>& lattice,
                    const ConversionOptions& options, Conversion& out) {
  const std::size_t n = positions.size();
  const auto [shortest, closest] = shortestChargedPair(positions, lattice);
  if (std::isfinite(shortest))
    out.closestPair = labels[closest.first] + "-" + labels[closest.second];
  out.shortestDistance = std::isfinite(shortest) ? shortest : 0;
  double radius = 0;
  if (options.radius) {
    radius = *options.radius;
    if (!(radius > 0) || !std::isfinite(radius))
      throw commandLineError("--radius must be a positive number");
    // An atom inside a charged atom's sphere keeps part of that charge smeared.
    const NearPositions inside = nearPositions(
        positions, lattice, [](std::size_t) { return true; },
        [&](std::size_t j) { return positions[j].charge != 0; }, radius);
    for (std::size_t i = 0; i < n; ++i)
      for (const auto& [j, d] : inside.near[i]) {
        if (!(d < radius)) continue;
        if (j < i && positions[i].charge != 0 && inside.at(j, i) < radius) continue; // said once
        const std::string other = i == j ? "another " + labels[j] + " atom" : labels[j];
        const std::string text = "with R = " + number(radius) + " A, " + labels[i] + " lies " +
                                 number(d) + " A from " + other +
                                 ", inside its sphere: its potential keeps part of that atom's "
                                 "smeared charge; choose R below " +
                                 number(d) + " A";
        if (options.strict) throw CifError(text + " (--strict)");
        out.warnings.push_back(text);
      }
  } else {
    if (!std::isfinite(shortest))
      throw CifError("no two charged atoms at different positions, so no default sphere "
                     "radius; give it with --radius R");
    if (shortest < 0.1)
      throw CifError("atoms " + out.closestPair + " lie " + number(shortest) +
                     " A apart; give the sphere radius with --radius R");
    // Rounded down to 0.001 A: the spheres stay apart and the record stays legible.
    radius = std::floor(radiusFraction * shortest * 1000.0) / 1000.0;
  }
  // Alternative positions of a split site are never occupied together.
  auto partial = [&](std::size_t i) { return positions[i].occupancy < 1 - occupancyTolerance; };
  const NearPositions split = nearPositions(positions, lattice, partial, partial, 2 * radius);
  for (std::size_t i = 0; i < n; ++i)
    for (const auto& [j, d] : split.near[i])
      if (j > i && d < 2 * radius)
        out.warnings.push_back("the partial positions " + labels[i] + " and " + labels[j] +
                               " lie " + number(d) +
                               " A apart, closer than 2R: if they are alternatives of one split "
                               "site, each one's potential includes its partner's charge");
  return radius;
}

namespace {

// The range: the given one, or the smallest whose truncation estimate for the
// largest record charge meets the tolerance, within the table capacity.
Field chooseRange(double radius, double largestCharge, const ConversionOptions& options,
                  Conversion& out) {
  auto entries = [&](double range) {
    return buildCellGeometry(out.lattice, range).requiredEntries;
  };
  Field qmaxField;
  if (options.qmax) {
    if (!(*options.qmax >= 0) || !std::isfinite(*options.qmax))
      throw commandLineError("--qmax must be a non-negative number");
    const Filled f = filled(*options.qmax, rangeWidth, rangeImplied);
    qmaxField = f.field;
    out.qmax = f.readBack;
  } else {
    if (!(options.tolerance > 0) || !std::isfinite(options.tolerance))
      throw commandLineError("--tolerance must be a positive number");
    const double capped = largestRange(out.lattice, tableCapacity);
    const double wanted = qmaxForTolerance(largestCharge, radius, options.tolerance);
    const double best = std::min(wanted, capped);
    const int decimals = fillingDecimals(best, rangeWidth);
    const double step = std::pow(10.0, -decimals);
    // Up to the field's last digit when the tolerance sets it, down when the
    // capacity does; then down until the table fits.
    double q = wanted <= capped ? std::ceil(best / step) * step : std::floor(best / step) * step;
    while (true) {
      const double readBack =
          parseFixedField(formatFixed(q, rangeWidth, decimals), rangeImplied).value_or(NAN);
      if (readBack >= 0 && entries(readBack) <= tableCapacity) {
        out.qmax = readBack;
        break;
      }
      q -= step;
    }
    qmaxField = fixedField(rangeWidth, decimals);
  }
  out.tableEntries = entries(out.qmax);
  out.truncationError = truncationEstimate(largestCharge, radius, out.qmax);
  const std::string estimate = "truncation estimate " + scientific(out.truncationError) +
                               " e/A for the largest charge, " + chargeText(largestCharge);
  if (!options.qmax) {
    if (out.truncationError <= options.tolerance)
      out.sphereNotes.push_back("qmax = " + number(out.qmax) + " 1/A (" +
                                std::to_string(out.tableEntries) +
                                " table entries), the smallest whose " + estimate +
                                ", meets --tolerance " + scientific(options.tolerance));
    else
      out.warnings.push_back(
          "qmax = " + number(out.qmax) + " 1/A fills the table's capacity of " +
          std::to_string(tableCapacity) + " entries and stops short of --tolerance " +
          scientific(options.tolerance) + ": " + estimate + "; a larger R lowers it");
  } else {
    out.sphereNotes.push_back("qmax = " + number(out.qmax) + " 1/A as given: " + estimate);
    if (out.tableEntries > tableCapacity)
      out.warnings.push_back("--qmax " + number(out.qmax) + " needs " +
                             std::to_string(out.tableEntries) +
                             " table entries; the program holds at most " +
                             std::to_string(tableCapacity) + " and will stop");
  }
  return qmaxField;
}

double cellVolume(const std::array<double, 6>& l) {
  const double degree = pi / 180;
  const double ca = std::cos(l[3] * degree), cb = std::cos(l[4] * degree),
               cg = std::cos(l[5] * degree);
  return l[0] * l[1] * l[2] *
         std::sqrt(std::max(0.0, 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg));
}

void checkNeutrality(double radius, const ConversionOptions& options, Conversion& out) {
  if (std::abs(out.netCharge) <= neutralityTolerance) return;
  const double shift = chargedCellShift(out.netCharge, radius, cellVolume(out.lattice));
  const std::string text =
      "the cell is not neutral: its net charge, the sum of charge times occupancy over its atoms, "
      "is " +
      number(out.netCharge) +
      " e; the potentials then include a uniform neutralising background and are all shifted by "
      "pi Q R^2/(6V) = " +
      number(shift, 6) + " e/A, which depends on R";
  if (options.strict) throw CifError(text + " (--strict)");
  out.warnings.push_back(text);
}

// Labels of the records: the member's label, or the members' joined by '+' as
// far as the field allows; unique.
std::vector<std::string> recordLabels(const CifCrystal& crystal,
                                      const std::vector<CellPosition>& positions,
                                      std::vector<std::string>& notes) {
  std::vector<std::string> labels;
  std::unordered_set<std::string> taken; // the labels so far, for the uniqueness test
  for (const CellPosition& c : positions) {
    std::string label;
    for (std::size_t m : c.members)
      label += (label.empty() ? "" : "+") + crystal.sites[m].label;
    if (label.size() > static_cast<std::size_t>(labelWidth)) {
      // "+N" built by appending: GCC 12 warns falsely (-Wrestrict) on "+" + a
      // temporary string.
      std::string more = "+";
      more += std::to_string(c.members.size() - 1);
      label = c.members.size() == 1 ? crystal.sites[c.members[0]].label.substr(0, labelWidth)
                                    : crystal.sites[c.members[0]].label.substr(
                                          0, std::max<std::size_t>(1, labelWidth - more.size())) +
                                          more;
    }
    label = label.substr(0, labelWidth);
    // Unique within the field: a trailing number replaces the last characters.
    for (int n = 2; taken.count(label) != 0; ++n) {
      const std::string suffix = std::to_string(n);
      label = label.substr(0, std::min(label.size(), labelWidth - suffix.size())) + suffix;
    }
    labels.push_back(label);
    taken.insert(label);
    if (c.members.size() > 1) {
      std::string names;
      for (std::size_t m : c.members)
        names += (names.empty() ? "" : ", ") + crystal.sites[m].label;
      notes.push_back(names + " share one position: one record " + label + " with charge " +
                      number(c.charge) + " (sum of charge x occupancy), occupancy " +
                      number(c.occupancy));
    } else if (label != crystal.sites[c.members[0]].label) {
      notes.push_back("site " + crystal.sites[c.members[0]].label + " is written as " + label);
    }
  }
  return labels;
}

} // namespace

namespace {

// The group, and the operations to write with the inversion flag.
std::vector<MatrixOp> chooseOperations(const CifCrystal& crystal, const ConversionOptions& options,
                                       Conversion& out) {
  const std::vector<MatrixOp> group = normalisedGroup(crystal.operations);
  const WrittenOperations written = chooseWrittenOperations(group);
  if (options.listingCapacities && written.ops.size() > static_cast<std::size_t>(maxSymOps))
    throw CifError(std::to_string(written.ops.size()) +
                   " symmetry operations to write, and the program holds at most " +
                   std::to_string(maxSymOps));
  for (const MatrixOp& op : written.ops)
    out.symOps.push_back(toAxisCodeRows(op));
  out.inversionAtOrigin = written.inversionAtOrigin;
  out.groupOrder = static_cast<int>(group.size());
  return group;
}

// The lattice as the program will read it back; every later distance uses it.
void readBackLattice(const CifCrystal& crystal, Conversion& out) {
  for (int i = 0; i < 6; ++i)
    out.lattice[i] = filled(crystal.cell[i], latticeWidth, latticeImplied).readBack;
}

// Per record its multiplicity and what it stands for; the cell's net charge.
// Returns the largest record charge in magnitude.
double weighRecords(const CifCrystal& crystal, const std::vector<CellPosition>& positions,
                    Conversion& out) {
  double largestCharge = 0;
  for (const CellPosition& c : positions) {
    const int multiplicity = static_cast<int>(c.images.size());
    out.multiplicities.push_back(multiplicity);
    WrittenRecord record{c.element, c.occupancy, multiplicity, {}};
    for (std::size_t m : c.members)
      record.members.push_back(crystal.sites[m].label);
    out.records.push_back(record);
    out.netCharge += c.charge * multiplicity;
    largestCharge = std::max(largestCharge, std::fabs(c.charge));
  }
  return largestCharge;
}

// The input file's records: title, range, counts, lattice, operations, one
// site record per position, position records. Fills the title and the sites
// as they read back.
std::string writeRecords(const CifCrystal& crystal, const std::vector<CellPosition>& positions,
                         const std::vector<std::string>& labels, double radius,
                         const Field& radiusField, const Field& qmaxField,
                         const ConversionOptions& options, Conversion& out) {
  std::string title = oneLine(crystal.blockName + " " + crystal.formula);
  if (title.size() > titleWidth) title.resize(titleWidth);
  out.title = title;
  std::string text = formatRecord({textField()}, std::vector<Value>{title});
  text += formatRecord({radiusField, qmaxField}, std::vector<Value>{radius, out.qmax});
  const int writtenCount = static_cast<int>(out.symOps.size());
  const int recordCount = static_cast<int>(positions.size());
  text += formatRecord({integerField(3), integerField(3), integerField(3)},
                       std::vector<Value>{std::int64_t{writtenCount}, std::int64_t{recordCount},
                                          std::int64_t{out.inversionAtOrigin ? 1 : 0}});
  Layout latticeLayout;
  std::vector<Value> latticeValues;
  for (int i = 0; i < 6; ++i) {
    latticeLayout.push_back(filled(crystal.cell[i], latticeWidth, latticeImplied).field);
    latticeValues.push_back(crystal.cell[i]);
  }
  text += formatRecord(latticeLayout, latticeValues);
  for (const SymOp& op : out.symOps) {
    Layout layout;
    std::vector<Value> values;
    for (const SymOpRow& row : op.rows) {
      layout.push_back(filled(row.translation, translationWidth, translationImplied).field);
      layout.push_back(integerField(2));
      layout.push_back(integerField(2));
      values.insert(values.end(),
                    {row.translation, std::int64_t{row.code1}, std::int64_t{row.code2}});
    }
    text += formatRecord(layout, values);
  }
  auto pointRecord = [&](const std::vector<double>& numbers, const Field& field, Layout layout,
                         std::vector<Value> values, std::vector<double>* readBack) {
    for (double v : numbers) {
      const Filled f = filled(v, field.width, field.decimals);
      layout.push_back(f.field);
      values.push_back(v + 0.0);
      if (readBack) readBack->push_back(f.readBack);
    }
    text += formatRecord(layout, values);
  };
  // W = multiplicity / operations: each atom of the orbit once, whatever
  // occupies it; the occupancy is in the charge.
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const CellPosition& c = positions[i];
    const double w = static_cast<double>(out.multiplicities[i]) / out.groupOrder;
    std::string label = labels[i];
    label.resize(labelWidth, ' ');
    std::vector<double> readBack;
    pointRecord({c.charge, w, c.point.x, c.point.y, c.point.z}, siteValueField,
                {textField(labelWidth), skip(1)}, {label}, &readBack);
    out.sites.push_back({label, readBack[0], readBack[1], readBack[2], readBack[3], readBack[4]});
  }
  std::vector<Position> extra = options.positions;
  if (options.atSites)
    for (const CellPosition& c : positions)
      extra.push_back(c.point);
  for (const Position& p : extra)
    pointRecord({p.x, p.y, p.z}, positionField, {}, {}, nullptr);
  return text;
}

} // namespace

Conversion convertCrystal(const CifCrystal& cif, const ConversionOptions& options) {
  Conversion out;
  out.warnings = cif.warnings;
  out.notes = cif.notes;
  out.formulaSum = cif.formulaSum;
  out.formula = cif.formula;
  out.blockName = cif.blockName;
  out.formulaUnitsZ = cif.formulaUnitsZ;
  out.operationsSource = cif.operationsSource;
  out.siteCount = static_cast<int>(cif.sites.size());
  if (cif.sites.empty()) throw CifError("the CIF lists no atom sites");
  if (options.listingCapacities && cif.sites.size() > static_cast<std::size_t>(maxSites))
    throw CifError("the CIF lists " + std::to_string(cif.sites.size()) +
                   " atom sites, and the program holds at most " + std::to_string(maxSites));
  for (double p : cif.cell)
    if (!(p > 0) || !std::isfinite(p)) throw CifError("the CIF gives no complete cell");
  // The input's reader takes an edge below 1 as a reciprocal cell and an
  // angle below 1 as a cosine; no real cell has either.
  const std::string cellText = "a, b, c = " + number(cif.cell[0]) + ", " + number(cif.cell[1]) +
                               ", " + number(cif.cell[2]) +
                               " A; alpha, beta, gamma = " + number(cif.cell[3]) + ", " +
                               number(cif.cell[4]) + ", " + number(cif.cell[5]) + " degrees";
  for (int i = 0; i < 3; ++i)
    if (cif.cell[i] < 1)
      throw CifError("the cell has an edge below 1 A (" + cellText + "); check the CIF's cell");
  for (int i = 3; i < 6; ++i)
    if (!(cif.cell[i] >= 1 && cif.cell[i] <= 179))
      throw CifError("the cell has an angle outside 1 to 179 degrees (" + cellText +
                     "); check the CIF's cell");

  CifCrystal crystal = cif;
  crystal.sites = uniqueLabels(cif.sites, out.notes);
  const std::vector<MatrixOp> group = chooseOperations(crystal, options, out);
  const std::vector<double> charges = chargesOfSites(crystal, options, out.notes, out.warnings);
  readBackLattice(crystal, out);
  if (const std::string defect = crystalDefect(out.lattice, {}, {}); !defect.empty())
    throw CifError("the CIF's cell: " + defect + " (" + cellText + ")");
  const std::vector<CellPosition> positions =
      cellPositions(crystal, charges, group, out.lattice, out.notes);
  const std::vector<std::string> labels = recordLabels(crystal, positions, out.notes);
  const double largestCharge = weighRecords(crystal, positions, out);

  const double radius = chooseRadius(positions, labels, out.lattice, options, out);
  const Filled radiusField = filled(radius, rangeWidth, rangeImplied);
  out.radius = radiusField.readBack;
  if (!options.radius)
    out.sphereNotes.push_back(
        "R = " + number(out.radius) + " A, " + number(radiusFraction, 2) +
        " x the shortest distance between charged atoms at different positions (" +
        number(out.shortestDistance) + " A, " + out.closestPair + ")");
  const Field qmaxField = chooseRange(out.radius, largestCharge, options, out);
  checkNeutrality(out.radius, options, out);

  out.inputText =
      writeRecords(crystal, positions, labels, radius, radiusField.field, qmaxField, options, out);
  out.crystal = {out.lattice, out.symOps, out.inversionAtOrigin, out.sites};
  // What the program would refuse is refused here, with the CIF named.
  if (const std::string defect = crystalDefect(out.crystal); !defect.empty())
    throw CifError("the input would hold " + defect);
  return out;
}

Conversion convertCifFile(const std::string& path, const ConversionOptions& options) {
  try {
    return convertCrystal(readCifFile(path, options.block), options);
  } catch (const CifError& e) {
    CifError located(path + ": " + e.what());
    located.commandLine = e.commandLine;
    located.showUsage = e.showUsage;
    throw located;
  }
}

} // namespace telva
