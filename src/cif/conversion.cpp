#include "cif/conversion.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>

#include "base/capacities.hpp"
#include "records/fixed_column.hpp"

namespace telva {

namespace {

// Field widths of the input records.
constexpr int rangeWidth = 6;   // R, qmax
constexpr int latticeWidth = 9; // a, b, c, alpha, beta, gamma
constexpr int translationWidth = 11;
constexpr int siteValueWidth = 9; // charge, W, x, y, z and the position records
// Implied decimals of the fields as the program reads them; every value is
// written with a decimal point, so they only serve the read-back checks.
constexpr int rangeImplied = 2;
constexpr int latticeImplied = 6;
constexpr int translationImplied = 6;
constexpr int siteImplied = 4;

std::string number(double value, int decimals = 4) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::string lowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
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

std::optional<double> chargeFromTypeSymbol(std::string_view symbol) {
  static const std::regex suffixAfter(R"(^[A-Za-z]+(\d+(?:\.\d+)?)?([+-])$)");
  static const std::regex signFirst(R"(^[A-Za-z]+([+-])(\d+(?:\.\d+)?)$)");
  const std::string s(symbol);
  std::smatch m;
  if (std::regex_match(s, m, suffixAfter)) {
    const double magnitude = m[1].matched ? std::stod(m[1].str()) : 1.0;
    return m[2].str() == "-" ? -magnitude : magnitude;
  }
  if (std::regex_match(s, m, signFirst)) {
    const double magnitude = std::stod(m[2].str());
    return m[1].str() == "-" ? -magnitude : magnitude;
  }
  return std::nullopt;
}

std::vector<double> resolveCharges(const CifCrystal& crystal,
                                   const std::vector<ChargeOverride>& overrides) {
  for (const ChargeOverride& o : overrides) {
    const bool named =
        std::any_of(crystal.sites.begin(), crystal.sites.end(), [&](const CifSite& s) {
          return s.label == o.name ||
                 (!s.element.empty() && lowerCase(s.element) == lowerCase(o.name));
        });
    if (!named)
      throw CifError("--charge " + o.name + "=" + number(o.charge, 2) + ": no site is labelled " +
                     o.name + " and no site is of element " + o.name);
  }
  std::vector<double> charges;
  for (const CifSite& site : crystal.sites) {
    std::optional<double> charge;
    // The last of repeated overrides wins, as on most command lines.
    for (const ChargeOverride& o : overrides)
      if (o.name == site.label) charge = o.charge;
    if (!charge && !site.element.empty())
      for (const ChargeOverride& o : overrides)
        if (lowerCase(o.name) == lowerCase(site.element)) charge = o.charge;
    if (!charge) {
      const auto found = crystal.oxidationNumbers.find(site.typeSymbol);
      if (found != crystal.oxidationNumbers.end()) charge = found->second;
    }
    if (!charge) charge = chargeFromTypeSymbol(site.typeSymbol);
    if (!charge) {
      const std::string element = site.element.empty() ? site.typeSymbol : site.element;
      throw CifError("site " + site.label + " (type " + site.typeSymbol +
                     ") has no known charge: the CIF gives it no _atom_type_oxidation_number "
                     "and its type symbol carries none (as in " +
                     element + "2+); give one with --charge " + element + "=Z (every " + element +
                     " site) or --charge " + site.label + "=Z (this site only)");
    }
    charges.push_back(*charge);
  }
  return charges;
}

std::int64_t tableEntries(double a, double b, double c, double qmax) {
  const auto limit = [qmax](double length) {
    return static_cast<std::int64_t>(std::trunc(length * qmax));
  };
  return (2 * limit(a) + 1) * (2 * limit(b) + 1) * (limit(c) + 1);
}

double largestQmax(double a, double b, double c, std::int64_t limit) {
  double lo = 0, hi = 1;
  while (tableEntries(a, b, c, hi) <= limit)
    hi *= 2;
  // The count is a step function of qmax; close in on its step past the limit.
  for (int i = 0; i < 200 && std::nextafter(lo, hi) < hi; ++i) {
    const double mid = lo + (hi - lo) / 2;
    if (mid <= lo || mid >= hi) break;
    (tableEntries(a, b, c, mid) <= limit ? lo : hi) = mid;
  }
  return lo;
}

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

std::vector<FractionalPoint> parsePositions(std::string_view text, const std::string& name) {
  std::vector<FractionalPoint> points;
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

Conversion convertCrystal(const CifCrystal& crystal, const ConversionOptions& options) {
  Conversion out;
  if (crystal.sites.empty()) throw CifError("the CIF lists no atom sites");
  if (options.listingCapacities && crystal.sites.size() > static_cast<std::size_t>(maxSites))
    throw CifError("the CIF lists " + std::to_string(crystal.sites.size()) +
                   " atom sites, and the program holds at most " + std::to_string(maxSites));
  for (double p : crystal.cell)
    if (!(p > 0) || !std::isfinite(p)) throw CifError("the CIF gives no complete cell");

  const std::vector<double> charges = resolveCharges(crystal, options.charges);
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

  // The lattice as the program will read it; every later distance uses it.
  std::vector<Value> latticeValues;
  Layout latticeLayout;
  for (int i = 0; i < 6; ++i) {
    const Filled f = filled(crystal.cell[i], latticeWidth, latticeImplied);
    latticeLayout.push_back(f.field);
    latticeValues.push_back(crystal.cell[i]);
    out.lattice[i] = f.readBack;
  }

  // Atoms of the cell: every site expanded, weights from the multiplicities.
  struct CellAtom {
    FractionalPoint p;
    double charge;
    std::size_t site;
  };
  std::vector<CellAtom> atoms;
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    const CifSite& s = crystal.sites[i];
    if (!(s.occupancy > 0) || s.occupancy > 1 + 1e-6)
      throw CifError("site " + s.label + " has the occupancy " + number(s.occupancy) +
                     ", outside (0, 1]");
    const auto images = distinctImages(group, {s.x, s.y, s.z}, out.lattice, samePointToleranceA);
    const int multiplicity = static_cast<int>(images.size());
    if (out.groupOrder % multiplicity != 0)
      throw CifError("site " + s.label + ": its " + std::to_string(multiplicity) +
                     " images do not divide the " + std::to_string(out.groupOrder) +
                     " operations; is it within " + number(samePointToleranceA, 2) +
                     " A of a special position without lying on it?");
    out.multiplicities.push_back(multiplicity);
    out.netCharge += charges[i] * s.occupancy * multiplicity;
    for (const FractionalPoint& p : images)
      atoms.push_back({p, charges[i], i});
  }

  // R: a fraction of the shortest distance between ions of opposite charge.
  std::string closestPair;
  double shortest = INFINITY;
  for (std::size_t i = 0; i < atoms.size(); ++i)
    for (std::size_t j = i + 1; j < atoms.size(); ++j) {
      if (!(atoms[i].charge * atoms[j].charge < 0)) continue;
      const double d = latticeDistance(out.lattice, atoms[i].p, atoms[j].p);
      if (d < shortest) {
        shortest = d;
        closestPair = crystal.sites[atoms[i].site].label + "-" + crystal.sites[atoms[j].site].label;
      }
    }
  out.shortestOppositeDistance = std::isfinite(shortest) ? shortest : 0;
  double radius = 0;
  if (options.radius) {
    radius = *options.radius;
    if (!(radius > 0) || !std::isfinite(radius)) throw CifError("--radius must be positive");
  } else {
    if (!std::isfinite(shortest))
      throw CifError("no two atoms of opposite charge to take the sphere radius from; give it "
                     "with --radius R");
    if (shortest < 0.1)
      throw CifError("atoms " + closestPair + " of opposite charge lie " + number(shortest) +
                     " A apart; give the sphere radius with --radius R");
    // Rounded down to 0.001 A: the spheres stay apart and the record stays legible.
    radius = std::floor(radiusFraction * shortest * 1000.0) / 1000.0;
  }
  const Filled radiusField = filled(radius, rangeWidth, rangeImplied);
  out.radius = radiusField.readBack;
  if (!options.radius)
    out.notes.push_back("R = " + number(out.radius) + " A, " + number(radiusFraction, 2) +
                        " x the shortest distance between ions of opposite charge (" +
                        number(shortest) + " A, " + closestPair + ")");

  const double a = out.lattice[0], b = out.lattice[1], c = out.lattice[2];
  Field qmaxField;
  if (options.qmax) {
    if (!(*options.qmax >= 0) || !std::isfinite(*options.qmax))
      throw CifError("--qmax must be a non-negative number");
    const Filled f = filled(*options.qmax, rangeWidth, rangeImplied);
    qmaxField = f.field;
    out.qmax = f.readBack;
  } else {
    // The largest value the field can hold that keeps the table within the limit.
    const double best = largestQmax(a, b, c, defaultTableLimit);
    const int decimals = fillingDecimals(best, rangeWidth);
    const double step = std::pow(10.0, -decimals);
    double q = std::floor(best / step) * step;
    while (true) {
      const double readBack =
          parseFixedField(formatFixed(q, rangeWidth, decimals), rangeImplied).value_or(NAN);
      if (tableEntries(a, b, c, readBack) <= defaultTableLimit) {
        out.qmax = readBack;
        break;
      }
      q -= step;
    }
    qmaxField = fixedField(rangeWidth, decimals);
  }
  out.tableEntries = tableEntries(a, b, c, out.qmax);
  if (!options.qmax)
    out.notes.push_back(
        "qmax = " + number(out.qmax) + " 1/A, the largest that keeps the table within " +
        std::to_string(defaultTableLimit) + " entries (" + std::to_string(out.tableEntries) + ")");
  else if (out.tableEntries > tableCapacity)
    out.warnings.push_back("--qmax " + number(out.qmax) + " needs " +
                           std::to_string(out.tableEntries) +
                           " table entries; the program holds at most " +
                           std::to_string(tableCapacity) + " and will stop");

  if (std::abs(out.netCharge) > neutralityTolerance) {
    const std::string text = "the cell is not neutral: its net charge, the sum of charge times "
                             "occupancy over its atoms, is " +
                             number(out.netCharge) +
                             " e; the potentials then include a uniform neutralising background";
    if (options.strict) throw CifError(text + " (--strict)");
    out.warnings.push_back(text);
  }

  // The records.
  std::string title = oneLine(crystal.blockName + " " + crystal.formula);
  if (title.size() > titleWidth) title.resize(titleWidth);
  out.title = title;
  std::string text = formatRecord({textField()}, std::vector<Value>{title});
  text += formatRecord({radiusField.field, qmaxField}, std::vector<Value>{radius, out.qmax});
  const int writtenCount = static_cast<int>(written.ops.size());
  const int siteCount = static_cast<int>(crystal.sites.size());
  text += formatRecord({integerField(3), integerField(3), integerField(3)},
                       std::vector<Value>{std::int64_t{writtenCount}, std::int64_t{siteCount},
                                          std::int64_t{written.inversionAtOrigin ? 1 : 0}});
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
  auto pointRecord = [&](const std::vector<double>& numbers, Layout layout,
                         std::vector<Value> values, std::vector<double>* readBack) {
    for (double v : numbers) {
      const Filled f = filled(v, siteValueWidth, siteImplied);
      layout.push_back(f.field);
      values.push_back(v + 0.0);
      if (readBack) readBack->push_back(f.readBack);
    }
    text += formatRecord(layout, values);
  };
  for (std::size_t i = 0; i < crystal.sites.size(); ++i) {
    const CifSite& s = crystal.sites[i];
    const double w = s.occupancy * out.multiplicities[i] / out.groupOrder;
    std::string label = s.label.substr(0, labelWidth);
    label.resize(labelWidth, ' ');
    std::vector<double> readBack;
    pointRecord({charges[i], w, s.x, s.y, s.z}, {textField(labelWidth), skip(1)}, {label},
                &readBack);
    out.sites.push_back({label, readBack[0], readBack[1], readBack[2], readBack[3], readBack[4]});
  }
  std::vector<FractionalPoint> positions = options.positions;
  if (options.atSites)
    for (const CifSite& s : crystal.sites)
      positions.push_back({s.x, s.y, s.z});
  for (const FractionalPoint& p : positions)
    pointRecord({p.x, p.y, p.z}, {}, {}, nullptr);
  out.inputText = std::move(text);
  return out;
}

} // namespace telva
