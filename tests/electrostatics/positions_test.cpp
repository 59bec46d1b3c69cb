#include "electrostatics/positions.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "electrostatics/reference/reference_synthesis.hpp"
#include "electrostatics/reference/reference_table.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "listing/run.hpp"

namespace telva {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

SymOp op(double tx, int x1, int x2, double ty, int y1, int y2, double tz, int z1, int z2) {
  return {{{{tx, x1, x2}, {ty, y1, y2}, {tz, z1, z2}}}};
}
const SymOp identity = op(0, 1, 0, 0, 2, 0, 0, 3, 0);
const SymOp inversion = op(0, -1, 0, 0, -2, 0, 0, -3, 0);

Site site(const char* label, double charge, double x, double y, double z, double w = 1) {
  std::string text = label;
  text.resize(8, ' ');
  return {text, charge, w, x, y, z};
}

// One crystal, both as the records of an input file and as the context the
// evaluation reads.
struct Crystal {
  double radius = 1, range = 0.1; // a range of 0.1 leaves the table empty: P = 0
  int inversionAtOrigin = 0;
  std::array<double, 6> cell{4, 4, 4, 90, 90, 90};
  std::vector<SymOp> ops{identity};
  std::vector<Site> sites;
};

// The built geometry and table of a crystal, kept alive for its context.
struct Model {
  Crystal crystal;
  CellGeometry geometry = buildCellGeometry(crystal.cell, crystal.range);
  CoefficientTable table =
      referenceCoefficientTable({geometry, crystal.radius, crystal.range, crystal.inversionAtOrigin,
                                 crystal.ops, crystal.sites});
  PositionContext context() const {
    return {table, geometry, crystal.radius, crystal.inversionAtOrigin, crystal.ops, crystal.sites};
  }
  PositionResult at(double x, double y, double z) const {
    return referencePosition(context(), {x, y, z});
  }
};

std::string format(const char* pattern, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

std::string record(double x, double y, double z) {
  return format("%9.6f%9.6f%9.6f", x, y, z);
}

std::string inputText(const Crystal& c, const std::vector<std::string>& positions) {
  std::string text = "Positions test crystal\n";
  text += format("%6.2f%6.2f\n", c.radius, c.range);
  text += format("%3d%3d%3d\n", int(c.ops.size()), int(c.sites.size()), c.inversionAtOrigin);
  for (double p : c.cell)
    text += format("%9.4f", p);
  text += "\n";
  for (const SymOp& o : c.ops) {
    for (const SymOpRow& row : o.rows)
      text += format("%11.6f%2d%2d", row.translation, row.code1, row.code2);
    text += "\n";
  }
  if (c.ops.empty()) text += "\n"; // the one record read in place of no operation
  for (const Site& s : c.sites)
    text += s.label + " " + format("%9.4f%9.4f%9.4f%9.4f%9.4f\n", s.charge, s.W, s.x, s.y, s.z);
  if (c.sites.empty()) text += "\n";
  for (const std::string& p : positions)
    text += p + "\n";
  return text;
}

// Runs the whole program on an input file and returns the listing's lines.
std::vector<std::string> runListing(const std::string& input) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("telva_positions_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string in = (dir / "in.inp").string(), out = (dir / "out.lst").string();
  std::ofstream(in, std::ios::binary) << input;
  std::istringstream none;
  std::ostringstream prompt, diagnostics;
  EXPECT_EQ(run({in, out}, none, prompt, diagnostics), 0) << diagnostics.str();
  std::ifstream listing(out, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(listing, line);)
    lines.push_back(line);
  std::filesystem::remove_all(dir);
  return lines;
}

const std::string sectionTitle = " Potentials at arbitrary positions";

// The lines after the column titles of the positions section.
std::vector<std::string> positionLines(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == sectionTitle && i + 5 < lines.size())
      return {lines.begin() + i + 6, lines.end()};
  ADD_FAILURE() << "no positions section";
  return {};
}

std::string phiwField(const std::string& line) {
  return line.substr(29, 15);
}
std::string phicField(const std::string& line) {
  return line.substr(44, 15);
}

// A line built field by field, for comparison with a listed one.
std::string expectedLine(double x, double y, double z, const std::string& phiw,
                         const std::string& phic, const std::string& label, double distance) {
  return format("  %9.6f%9.6f%9.6f%15s%15s     %-8s%8.4f", x, y, z, phiw.c_str(), phic.c_str(),
                label.c_str(), distance);
}

// ---- The correction of the neighbouring atom ----

struct CorrectionCase {
  const char* name;
  double charge;     // of site 1 at the origin; site 2 at the centre carries -charge
  double x;          // of the point, along a = 4 Angstrom (y = z = 0)
  double phiwMinusP; // expected phiw - P
  double phicMinusP; // expected phic - P; infinities as such
  double distance;
  bool inSphere;
};

// R = 1 in a 4 Angstrom cube with a real table (P != 0); every distance below
// is exact in binary, so the closed-form values hold to rounding.
TEST(EvaluatePosition, CorrectsTheNeighbourInsideAndOutsideItsSphere) {
  const double tiny = static_cast<double>(1.0e-5f); // threshold below which q/d is not formed
  const CorrectionCase cases[] = {
      {"half Angstrom", 1, 0.125, -1.833984375, 0.166015625, 0.5, true},
      {"half Angstrom, charge -2", -2, 0.125, 2 * 1.833984375, -2 * 0.166015625, 0.5, true},
      {"exactly R: outside", 1, 0.25, -1, 0, 1, false},
      {"exactly R, beyond the origin", 1, -0.25, -1, 0, 1, false},
      {"on the atom", 1, 0, -2.625, inf, 0, true},
      {"on a negative atom", -1, 0, 2.625, -inf, 0, true},
      {"on an uncharged atom", 0, 0, 0, 0, 0, true},
      {"just below the threshold", 1, 0.9 * tiny / 4, -2.625, inf, 0.9 * tiny, true},
      {"exactly the threshold", 1, tiny / 4, -spherePotential(1, tiny, 1),
       1 / tiny - spherePotential(1, tiny, 1), tiny, true},
  };
  for (const CorrectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Crystal crystal;
    crystal.range = 3;
    crystal.sites = {site("A", c.charge, 0, 0, 0), site("B", -c.charge, 0.5, 0.5, 0.5)};
    const Model model{crystal};
    const PositionResult r = model.at(c.x, 0, 0);
    const double P = referenceTablePotential(model.table, model.geometry.volume, c.x, 0, 0);
    if (c.charge != 0) {
      EXPECT_GT(std::fabs(P), 1e-3); // the table does contribute
    }
    EXPECT_EQ(r.smeared, P);
    EXPECT_EQ(r.neighbour.site, 0);
    EXPECT_EQ(r.neighbour.inSphere, c.inSphere);
    EXPECT_NEAR(r.neighbour.distance, c.distance, 1e-15);
    EXPECT_NEAR(r.phiw - P, c.phiwMinusP, 1e-12);
    if (std::isinf(c.phicMinusP))
      EXPECT_EQ(r.phic, c.phicMinusP);
    else
      EXPECT_NEAR(r.phic - P, c.phicMinusP, 1e-12 * (1 + std::fabs(c.phicMinusP)));
  }
}

// Just inside the sphere the in-sphere results meet the outside ones.
TEST(EvaluatePosition, InSphereResultsJoinTheOutsideCaseAtR) {
  Crystal crystal;
  crystal.sites = {site("A", 1.5, 0, 0, 0)};
  const Model model{crystal};
  const PositionResult inside = model.at(0.25 - 1e-9, 0, 0);
  const PositionResult outside = model.at(0.25, 0, 0);
  ASSERT_TRUE(inside.neighbour.inSphere);
  ASSERT_FALSE(outside.neighbour.inSphere);
  EXPECT_NEAR(inside.phiw, outside.phiw, 1e-7);
  EXPECT_NEAR(inside.phic, outside.phic, 1e-7);
}

// ---- The neighbour search ----

struct SearchCase {
  const char* name;
  const Crystal& crystal;
  double x;        // of the point (y = z = 0)
  int site;        // expected neighbour index, -1 for none
  double distance; // Angstrom
  bool inSphere;
};

Crystal cube(double edge, double radius, int flag, std::vector<SymOp> ops,
             std::vector<Site> sites) {
  Crystal c;
  c.cell = {edge, edge, edge, 90, 90, 90};
  c.radius = radius;
  c.inversionAtOrigin = flag;
  c.ops = std::move(ops);
  c.sites = std::move(sites);
  return c;
}

TEST(FindNeighbour, VisitsSitesOperationsAndShiftsInOrder) {
  const SymOp mirror = op(0, -1, 0, 0, 2, 0, 0, 3, 0);      // -x, y, z
  const SymOp shifted = op(-0.05, -1, 0, 0, 2, 0, 0, 3, 0); // -x - 0.05, y, z
  const std::vector<Site> one = {site("A", 1, 0.1, 0, 0)};
  const std::vector<Site> two = {site("A", 1, 0, 0, 0), site("B", -1, 0.3, 0, 0)};
  const Crystal pairR1 = cube(5, 1, 0, {identity}, two), pairR16 = cube(5, 1.6, 0, {identity}, two),
                pairR05 = cube(5, 0.5, 0, {identity}, two),
                swapped = cube(5, 0.5, 0, {identity}, {two[1], two[0]}),
                tinyR = cube(5, 0.05, 0, {identity}, two),
                mirrored = cube(5, 1, 0, {identity, mirror}, one),
                small = cube(1.5, 1, 0, {identity}, {two[0]}),
                noSites = cube(5, 1, 0, {identity}, {}), noOps = cube(5, 1, 0, {}, two),
                flagTwoOps = cube(10, 1, 1, {identity, shifted}, one),
                clearTwoOps = cube(10, 1, 0, {identity, shifted}, one),
                flagOneOp = cube(10, 1, 1, {identity}, one),
                clearOneOp = cube(10, 1, 0, {identity}, one),
                farOff = cube(5, 0.1, 0, {identity}, {two[0]}),
                nearOrigin = cube(10, 1, 1, {identity}, {site("A", 1, 0.02, 0, 0)});
  const SearchCase cases[] = {
      // Spheres of both sites hold the point: site 1 wins although site 2 is nearer.
      {"first site inside", pairR1, 0.17, 0, 0.85, true},
      {"first site nearer", pairR1, 0.13, 0, 0.65, true},
      // On site 2 but inside the sphere of site 1 first: an ordinary in-sphere case.
      {"on site 2 in sphere 1", pairR16, 0.3, 0, 1.5, true},
      // One site, two operations: the first operation's image wins.
      {"first operation", mirrored, -0.02, 0, 0.6, true},
      // a = 1.5 < 2R: the shift -1 along a comes before the unshifted image.
      {"first shift", small, 0.4, 0, 0.9, true},
      // Outside every sphere, two sites at the same distance: the first listed.
      {"tie, A first", pairR05, 0.15, 0, 0.75, false},
      {"tie, B first", swapped, 0.15, 0, 0.75, false},
      // Farther than 100 R from every candidate: the nearest visited still counts.
      {"beyond 100 R", tinyR, 3.0, 1, 8.5, false},
      // Only the shifts -1, 0, +1 of the unreduced difference are tried.
      {"unreduced", farOff, 2.6, 0, 8, false},
      {"no sites", noSites, 0.1, -1, 0, false},
      {"no operations", noOps, 0.1, -1, 0, false},
      // Flag set: after each image its negated companion, before the next operation.
      {"image before its companion", nearOrigin, -0.01, 0, 0.3, true},
      {"companion before next operation", flagTwoOps, -0.13, 0, 0.3, true},
      {"flag clear: no companions", clearTwoOps, -0.13, 0, 0.2, true},
      {"companion only", flagOneOp, -0.15, 0, 0.5, true},
      {"flag clear, companion only", clearOneOp, -0.15, 0, 2.5, false},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Model model{c.crystal};
    const PositionResult r = model.at(c.x, 0, 0);
    EXPECT_EQ(r.neighbour.site, c.site);
    EXPECT_EQ(r.neighbour.inSphere, c.inSphere);
    if (c.site >= 0) {
      EXPECT_NEAR(r.neighbour.distance, c.distance, 1e-12);
      if (!c.inSphere) {
        EXPECT_EQ(r.phic, r.smeared);
        EXPECT_DOUBLE_EQ(r.phiw, r.smeared - c.crystal.sites[c.site].charge / c.distance);
      }
    } else {
      EXPECT_EQ(r.phiw, r.smeared);
      EXPECT_EQ(r.phic, r.smeared);
    }
  }
}

// ---- The section in the listing ----

// Rock-salt-like pair in a 4 Angstrom cube, R = 1.
Crystal pair(double range = 0.1) {
  Crystal c;
  c.range = range;
  c.sites = {site("Na", 1, 0, 0, 0), site("Cl", -1, 0.5, 0.5, 0.5)};
  return c;
}

TEST(ListPositions, NoRecordAfterTheSitesLeavesNoSection) {
  const auto lines = runListing(inputText(pair(), {}));
  ASSERT_GE(lines.size(), 2u);
  for (const std::string& line : lines)
    EXPECT_EQ(line.find("arbitrary"), std::string::npos) << line;
  EXPECT_TRUE(lines[lines.size() - 2].ends_with(" MJ/mol"));
  EXPECT_EQ(lines.back(), "");
}

TEST(ListPositions, HeadingHasItsEightLines) {
  const auto lines = runListing(inputText(pair(), {record(0.1, 0.2, 0.3)}));
  std::size_t t = 0;
  while (t < lines.size() && lines[t] != sectionTitle)
    ++t;
  ASSERT_LT(t + 6, lines.size());
  ASSERT_GE(t, 4u);
  // The energy section's own closing empty line, then heading lines 1 and 2.
  EXPECT_TRUE(lines[t - 4].ends_with(" MJ/mol"));
  EXPECT_EQ(lines[t - 3] + lines[t - 2] + lines[t - 1], "");
  EXPECT_EQ(lines[t + 1], "");
  EXPECT_EQ(lines[t + 2],
            "   phiw: Potential without contributions from neighboring atoms (N.atom)");
  EXPECT_EQ(lines[t + 3], "   phic: Potential containing contributions from neighboring atoms");
  EXPECT_EQ(lines[t + 4], "");
  const std::string& titles = lines[t + 5];
  ASSERT_EQ(titles.size(), 81u);
  // 1-based columns of every title; everything else is blank.
  const std::pair<std::size_t, std::string> columns[] = {
      {7, "x"}, {16, "y"}, {25, "z"}, {36, "phiw"}, {51, "phic"}, {65, "N.atom"}, {74, "Distance"}};
  std::string rebuilt(81, ' ');
  for (const auto& [column, text] : columns)
    rebuilt.replace(column - 1, text.size(), text);
  EXPECT_EQ(titles, rebuilt);
  EXPECT_EQ(lines.size(), t + 7); // one line for the one position
}

TEST(ListPositions, EmptyRecordsAreTheOrigin) {
  const auto lines =
      positionLines(runListing(inputText(pair(), {"", record(0.25, 0.5, 0.75), "   "})));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 29), "   0.000000 0.000000 0.000000");
  EXPECT_EQ(lines[1].substr(0, 29), "   0.250000 0.500000 0.750000");
  EXPECT_EQ(lines[2], lines[0]);
  EXPECT_EQ(lines[0].substr(64), "Na        0.0000");
}

struct LineCase {
  const char* name;
  Crystal crystal;
  std::string record;
  std::string expected;
};

// An empty table (P = 0) leaves only the neighbour terms in phiw and phic.
TEST(ListPositions, WritesOneLinePerPosition) {
  Crystal lone = pair();
  lone.radius = 0.05; // 100 R = 5 Angstrom
  Crystal noSites = pair(), noOps = pair();
  noSites.sites.clear();
  noOps.ops.clear();
  const std::string blankNeighbour(21, ' ');
  const LineCase cases[] = {
      {"half Angstrom", pair(), record(0.125, 0, 0),
       expectedLine(0.125, 0, 0, "-1.833984E+00", "1.660156E-01", "Na", 0.5)},
      {"exactly R", pair(), record(0.25, 0, 0),
       expectedLine(0.25, 0, 0, "-1.000000E+00", "0.000000E+00", "Na", 1)},
      {"on an atom", pair(), record(0.5, 0.5, 0.5),
       expectedLine(0.5, 0.5, 0.5, "2.625000E+00", "-Infinity", "Cl", 0)},
      // Unreduced: Cl is the nearest image visited, at (-0.625, 1, 1.5) cells.
      {"outside the cell", pair(), record(-1.125, 2.5, 3),
       expectedLine(-1.125, 2.5, 3, format("%.6E", 1 / 7.632168761236874), "0.000000E+00", "Cl",
                    7.632168761236874)},
      {"too wide", pair(), format("%9.4f%9.4f%9.4f", 300.0, -10.5, 0.0),
       "  ****************** 0.000000" + format("%15.6E", 1 / 1194.6715029664012) +
           "   0.000000E+00     Cl      ********"},
      {"beyond 100 R", lone, record(3, 0, 0),
       expectedLine(3, 0, 0, "1.507557E-01", "0.000000E+00", "Cl", 6.6332495807108)},
      {"no sites", noSites, record(0.1, 0.2, 0.3),
       "   0.100000 0.200000 0.300000   0.000000E+00   0.000000E+00" + blankNeighbour},
      {"no operations", noOps, record(0.1, 0.2, 0.3),
       "   0.100000 0.200000 0.300000   0.000000E+00   0.000000E+00" + blankNeighbour},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto lines = positionLines(runListing(inputText(c.crystal, {c.record})));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], c.expected);
    EXPECT_EQ(lines[0].size(), 80u);
  }
}

// A point on an atom gets that site's potential, as the site section prints it,
// and a point charge at distance 0 for phic.
TEST(ListPositions, OnAnAtomPhiwIsTheSitePotential) {
  Crystal crystal = pair(2);
  crystal.sites.push_back(site("X", 0, 0.5, 0, 0));
  const auto all =
      runListing(inputText(crystal, {record(0, 0, 0), record(0.5, 0.5, 0.5), record(0.5, 0, 0)}));
  const auto lines = positionLines(all);
  ASSERT_EQ(lines.size(), 3u);
  const char* expectedPhic[] = {"Infinity", "-Infinity", nullptr};
  for (std::size_t i = 0; i < 3; ++i) {
    const Site& s = crystal.sites[i];
    SCOPED_TRACE(s.label);
    const auto siteLine = std::find_if(all.begin(), all.end(), [&](const std::string& line) {
      return line.starts_with(" " + s.label);
    });
    ASSERT_NE(siteLine, all.end());
    EXPECT_EQ(phiwField(lines[i]), siteLine->substr(54, 15));
    EXPECT_EQ(phicField(lines[i]),
              expectedPhic[i] ? format("%15s", expectedPhic[i]) : phiwField(lines[i]));
    EXPECT_EQ(lines[i].substr(64), s.label + "  0.0000");
  }
}

// With the inversion flag set, a crystal lists the same lines as the same
// crystal given its inverted companions as explicit operations.
TEST(ListPositions, InversionFlagMatchesExplicitCompanions) {
  Crystal flagged;
  flagged.cell = {6, 6, 6, 90, 90, 90};
  flagged.range = 3;
  flagged.inversionAtOrigin = 1;
  // No two spheres (R = 1) overlap, companions included.
  flagged.sites = {site("A", 1, 0.2, 0.1, 0.3), site("B", -1, 0.6, 0.35, 0.15)};
  Crystal explicitly = flagged;
  explicitly.inversionAtOrigin = 0;
  explicitly.ops = {identity, inversion};
  const std::vector<std::string> points = {
      record(-0.18, -0.1, -0.3), // 0.12 Angstrom from A's companion
      record(-0.2, -0.1, -0.3),  // on it
      record(0.5, 0.0, 0.5),     // outside every sphere
      record(-0.6, -0.35, -0.2), // near B's companion
  };
  const auto withFlag = positionLines(runListing(inputText(flagged, points)));
  const auto withOps = positionLines(runListing(inputText(explicitly, points)));
  ASSERT_EQ(withFlag.size(), points.size());
  EXPECT_EQ(withFlag, withOps);
  EXPECT_EQ(withFlag[0].substr(64), "A         0.1200");
  EXPECT_EQ(withFlag[1].substr(64), "A         0.0000");
  EXPECT_EQ(withFlag[3].substr(64), "B         0.3000");
}

TEST(ListPositions, ListsEveryRecordInOrder) {
  std::vector<std::string> points;
  for (int i = 0; i < 1000; ++i)
    points.push_back(record(0.001 * i, 0.5 - 0.0003 * i, -2 + 0.004 * i));
  const auto lines = positionLines(runListing(inputText(pair(), points)));
  ASSERT_EQ(lines.size(), points.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    ASSERT_EQ(lines[i].substr(0, 29), "  " + points[i]) << "record " << i;
}

// ---- Physics ----

// Ewald sum for the potential of point charges in an orthorhombic cell at the
// Cartesian point r; the cell is neutral, so no constant term.
double ewaldPotential(const std::array<double, 3>& edges, const std::vector<Site>& sites,
                      const std::array<double, 3>& fraction) {
  const double alpha = 1.0, volume = edges[0] * edges[1] * edges[2];
  double real = 0, recip = 0;
  for (const Site& s : sites) {
    const double d[3] = {(fraction[0] - s.x) * edges[0], (fraction[1] - s.y) * edges[1],
                         (fraction[2] - s.z) * edges[2]};
    for (int i = -3; i <= 3; ++i)
      for (int j = -3; j <= 3; ++j)
        for (int k = -3; k <= 3; ++k) {
          const double r =
              std::hypot(d[0] + i * edges[0], d[1] + j * edges[1], d[2] + k * edges[2]);
          real += s.charge * std::erfc(alpha * r) / r;
        }
    for (int i = -14; i <= 14; ++i)
      for (int j = -14; j <= 14; ++j)
        for (int k = -14; k <= 14; ++k) {
          if (i == 0 && j == 0 && k == 0) continue;
          const double g[3] = {2 * pi * i / edges[0], 2 * pi * j / edges[1], 2 * pi * k / edges[2]};
          const double g2 = g[0] * g[0] + g[1] * g[1] + g[2] * g[2];
          recip += s.charge * std::exp(-g2 / (4 * alpha * alpha)) / g2 *
                   std::cos(g[0] * d[0] + g[1] * d[1] + g[2] * d[2]);
        }
  }
  return real + 4 * pi / volume * recip;
}

// Outside every sphere the smeared charges act as point charges: phic is
// their lattice potential, to the truncation of the table at qmax (below 1e-6
// here). The structure has no inversion centre, so the sine part counts.
TEST(EvaluatePosition, FarFromEverySpherePhicIsThePointChargePotential) {
  Crystal crystal;
  crystal.cell = {4.5, 5, 5.5, 90, 90, 90};
  crystal.range = 4;
  crystal.sites = {site("M", 2, 0.1, 0.2, 0.3), site("X1", -1, 0.6, 0.45, 0.7),
                   site("X2", -1, 0.35, 0.8, 0.05)};
  const Model model{crystal};
  for (const std::array<double, 3>& p : {std::array<double, 3>{0.85, 0.1, 0.5}, {0.4, 0.1, 0.6}}) {
    SCOPED_TRACE(testing::Message() << p[0] << ' ' << p[1] << ' ' << p[2]);
    const PositionResult r = model.at(p[0], p[1], p[2]);
    ASSERT_FALSE(r.neighbour.inSphere);
    const double reference = ewaldPotential({4.5, 5, 5.5}, crystal.sites, p);
    EXPECT_GT(std::fabs(reference), 0.02);
    EXPECT_NEAR(r.phic, reference, 1e-5);
    const Site& n = crystal.sites[r.neighbour.site];
    EXPECT_NEAR(r.phiw, reference - n.charge / r.neighbour.distance, 1e-5);
  }
}

} // namespace
} // namespace telva
