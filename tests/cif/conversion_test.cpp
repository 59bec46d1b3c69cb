#include "cif/conversion.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "cif_test_support.hpp"
#include "electrostatics/truncation_estimate.hpp"
#include "records/fixed_column.hpp"

namespace telva {
namespace {

std::vector<MatrixOp> ops(std::initializer_list<const char*> texts) {
  std::vector<MatrixOp> out;
  for (const char* t : texts)
    out.push_back(parseTriplet(t));
  return out;
}

CifSite site(const char* label, const char* type, const char* element, double x, double y, double z,
             double occupancy = 1) {
  return {label, type, element, x, y, z, occupancy};
}

// Rock salt in P1 with the eight ions of the cell given one by one.
CifCrystal rocksaltP1() {
  CifCrystal c;
  c.blockName = "rocksalt";
  c.formula = "Cl Na";
  c.cell = {5.64, 5.64, 5.64, 90, 90, 90};
  c.operations = ops({"x,y,z"});
  c.sites = {site("Na1", "Na+", "Na", 0, 0, 0),     site("Na2", "Na+", "Na", 0.5, 0.5, 0),
             site("Na3", "Na+", "Na", 0.5, 0, 0.5), site("Na4", "Na+", "Na", 0, 0.5, 0.5),
             site("Cl1", "Cl-", "Cl", 0.5, 0, 0),   site("Cl2", "Cl-", "Cl", 0, 0.5, 0),
             site("Cl3", "Cl-", "Cl", 0, 0, 0.5),   site("Cl4", "Cl-", "Cl", 0.5, 0.5, 0.5)};
  return c;
}

TEST(ChargeFromTypeSymbol, ReadsTheChargeSuffix) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"O2-", -2},           {"Fe3+", 3},        {"Na+", 1},           {"Cl-", -1},
      {"O-2", -2},           {"Fe+3", 3},        {"Fe2.5+", 2.5},      {"Fe", std::nullopt},
      {"Fe1", std::nullopt}, {"", std::nullopt}, {"O2", std::nullopt}, {"2-", std::nullopt}};
  for (const auto& [symbol, charge] : cases)
    EXPECT_EQ(chargeFromTypeSymbol(symbol), charge) << symbol;
}

TEST(ResolveCharges, TakesEachSourceInItsOrder) {
  // Magnetite-like: two iron sites of one element, told apart by label.
  CifCrystal c;
  c.sites = {site("Fe1", "Fe3+", "Fe", 0, 0, 0), site("Fe2", "Fe", "Fe", 0, 0, 0),
             site("O1", "O", "O", 0, 0, 0), site("S1", "S2-", "S", 0, 0, 0)};
  c.oxidationNumbers = {{"O", -2}, {"Fe", 2.5}};
  struct Case {
    const char* name;
    std::vector<ChargeOverride> overrides;
    std::vector<double> charges;
  };
  const Case cases[] = {
      {"oxidation numbers, else suffix", {}, {3, 2.5, -2, -2}},
      {"element overrides both", {{"Fe", 2}, {"s", -1}}, {2, 2, -2, -1}},
      {"label beats element, in any order", {{"Fe2", 3}, {"Fe", 2}}, {2, 3, -2, -2}},
      {"the last repeat wins", {{"O", -1}, {"O", -3}}, {3, 2.5, -3, -2}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(resolveCharges(c, k.overrides), k.charges);
  }
}

TEST(ResolveCharges, NamesTheSiteWithoutACharge) {
  CifCrystal c;
  c.sites = {site("Fe1", "Fe3+", "Fe", 0, 0, 0), site("Ox7", "O", "O", 0, 0, 0)};
  try {
    resolveCharges(c, {});
    FAIL() << "accepted";
  } catch (const CifError& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("site Ox7"), std::string::npos) << m;
    EXPECT_NE(m.find("--charge O=Z"), std::string::npos) << m;
    // One message for every site without a charge, with a command line to run.
    EXPECT_NE(m.find("telva-cif FILE --charge O=Z"), std::string::npos) << m;
  }
  EXPECT_THROW(resolveCharges(c, {{"O", -2}, {"Xx9", 1}}), CifError); // names nothing
}

TEST(TableLimit, LargestQmaxSitsJustBelowTheStepPastTheLimit) {
  const std::array<std::array<double, 3>, 3> cells{
      {{5.64, 5.64, 5.64}, {4.76, 4.76, 12.99}, {25.3, 7.1, 3.05}}};
  for (const auto& c : cells) {
    const std::array<double, 6> lattice{c[0], c[1], c[2], 90, 90, 90};
    auto entries = [&](double q) { return buildCellGeometry(lattice, q).requiredEntries; };
    const double q = largestRange(lattice, defaultTableLimit);
    EXPECT_LE(entries(q), defaultTableLimit);
    EXPECT_GT(entries(q * (1 + 1e-12)), defaultTableLimit);
  }
}

TEST(FillingDecimals, UseEveryColumn) {
  EXPECT_EQ(formatFixed(1.0 / 48, 9, fillingDecimals(1.0 / 48, 9)), ".02083333");
  EXPECT_EQ(formatFixed(-0.5, 9, fillingDecimals(-0.5, 9)), "-.5000000");
  EXPECT_EQ(formatFixed(2.0 / 3, 11, fillingDecimals(2.0 / 3, 11)), ".6666666667");
  EXPECT_EQ(formatFixed(12.9933, 9, fillingDecimals(12.9933, 9)), "12.993300");
  EXPECT_THROW(fillingDecimals(1e12, 9), CifError);
}

TEST(Conversion, RocksaltInP1WritesEveryIonWithWeightOne) {
  const Conversion c = convertCrystal(rocksaltP1(), {});
  const InputHead head = cif_test::readBack(c.inputText);
  EXPECT_EQ(head.title.substr(0, 17), "rocksalt Cl Na   ");
  EXPECT_EQ(head.symOpCount, 1);
  EXPECT_EQ(head.inversionAtOrigin, 0);
  ASSERT_EQ(head.sites.size(), 8u);
  for (const Site& s : head.sites)
    EXPECT_EQ(s.W, 1.0);
  EXPECT_EQ(head.sites[4].label, "Cl1     ");
  EXPECT_EQ(head.sites[4].charge, -1.0);
  EXPECT_EQ(head.sites[4].x, 0.5);
  // R: 0.45 of the Na-Cl distance a/2, rounded down to 0.001 A.
  EXPECT_DOUBLE_EQ(c.shortestDistance, 2.82);
  EXPECT_EQ(head.radius, 1.269);
  EXPECT_EQ(head.radius, c.radius);
  EXPECT_EQ(head.range, c.qmax);
  // qmax: the smallest the field holds whose estimate meets the default tolerance.
  EXPECT_LE(truncationEstimate(1, head.radius, head.range), 1e-5);
  EXPECT_GT(truncationEstimate(1, head.radius, head.range - 0.0001), 1e-5);
  EXPECT_EQ(c.truncationError, truncationEstimate(1, head.radius, head.range));
  EXPECT_TRUE(c.warnings.empty());
  EXPECT_EQ(c.netCharge, 0);
}

TEST(Conversion, GivenRadiusRangeAndPositionsAreWrittenAsGiven) {
  ConversionOptions options;
  options.radius = 1.0;
  options.qmax = 6.0;
  options.positions = {{0.25, 0.25, 0.25}, {1.0 / 3, -0.1, 0}};
  options.atSites = true;
  const Conversion c = convertCrystal(rocksaltP1(), options);
  EXPECT_TRUE(c.notes.empty());
  ASSERT_EQ(c.sphereNotes.size(), 1u); // the given qmax's truncation estimate
  EXPECT_NE(c.sphereNotes[0].find("as given"), std::string::npos) << c.sphereNotes[0];
  const InputHead head = cif_test::readBack(c.inputText);
  EXPECT_EQ(head.radius, 1.0);
  EXPECT_EQ(head.range, 6.0);
  // The position records follow the sites: the given points, then the sites.
  std::vector<std::string> records;
  std::string rest = c.inputText;
  for (std::size_t pos; (pos = rest.find('\n')) != std::string::npos; rest.erase(0, pos + 1))
    records.push_back(rest.substr(0, pos));
  ASSERT_EQ(records.size(), 5u + 8u + 2u + 8u);
  EXPECT_EQ(records[13], "     0.25     0.25     0.25");
  EXPECT_EQ(records[14], ".33333333     -0.1      0.0");
  EXPECT_EQ(records[22], "      0.5      0.5      0.5");
}

TEST(Conversion, AMixedSiteIsOneRecordCarryingTheAverageCharge) {
  // Half Mg, half Fe on the cation site of a rock-salt cell, here in F-1 (the
  // face centring and the inversion only), one oxygen site: one record for
  // the cation position, charge 0.5 x 2 + 0.5 x 3, W = multiplicity / operations.
  CifCrystal c;
  c.cell = {4.2, 4.2, 4.2, 90, 90, 90};
  c.operations = ops({"x,y,z", "-x,-y,-z", "x,y+1/2,z+1/2", "-x,-y+1/2,-z+1/2", "x+1/2,y,z+1/2",
                      "-x+1/2,-y,-z+1/2", "x+1/2,y+1/2,z", "-x+1/2,-y+1/2,-z"});
  c.sites = {site("Mg1", "Mg2+", "Mg", 0, 0, 0, 0.5), site("Fe1", "Fe3+", "Fe", 0, 0, 0, 0.5),
             site("O1", "O2-", "O", 0.5, 0.5, 0.5)};
  const Conversion conv = convertCrystal(c, {});
  EXPECT_EQ(conv.multiplicities, (std::vector<int>{4, 4}));
  EXPECT_TRUE(conv.inversionAtOrigin);
  EXPECT_EQ(conv.symOps.size(), 4u);
  const InputHead head = cif_test::readBack(conv.inputText);
  ASSERT_EQ(head.sites.size(), 2u);
  EXPECT_EQ(head.sites[0].label, "Mg1+Fe1 ");
  EXPECT_EQ(head.sites[0].charge, 2.5);
  EXPECT_EQ(head.sites[0].W, 0.5);
  EXPECT_EQ(head.sites[1].W, 0.5);
  EXPECT_EQ(conv.records[0].members, (std::vector<std::string>{"Mg1", "Fe1"}));
  EXPECT_EQ(conv.records[0].occupancy, 1.0);
  EXPECT_EQ(conv.records[0].element, "Mg"); // the first of equal shares
  EXPECT_DOUBLE_EQ(conv.netCharge, 2.0);
  // The charged atoms nearest each other are the cation and oxygen at a/2.
  EXPECT_DOUBLE_EQ(conv.shortestDistance, 2.1);
}

TEST(Conversion, AChargedCellWarnsOrWithStrictFails) {
  CifCrystal c = rocksaltP1();
  c.sites[0].occupancy = 0.5; // a sodium vacancy: net charge -0.5 e
  const Conversion conv = convertCrystal(c, {});
  EXPECT_DOUBLE_EQ(conv.netCharge, -0.5);
  ASSERT_EQ(conv.warnings.size(), 1u);
  EXPECT_NE(conv.warnings[0].find("-0.5000 e"), std::string::npos) << conv.warnings[0];
  ConversionOptions strict;
  strict.strict = true;
  EXPECT_THROW(convertCrystal(c, strict), CifError);
}

TEST(Conversion, RefusesWhatCannotBeWritten) {
  struct Case {
    const char* name;
    CifCrystal crystal;
    const char* message;
  };
  CifCrystal threeTerms = rocksaltP1();
  threeTerms.operations = ops({"x,y,z", "x-y+z,-y,-z"});
  CifCrystal noCharge = rocksaltP1();
  noCharge.sites[2].typeSymbol = "Na";
  CifCrystal badOccupancy = rocksaltP1();
  badOccupancy.sites[1].occupancy = 1.5;
  CifCrystal noSites = rocksaltP1();
  noSites.sites.clear();
  CifCrystal noCell = rocksaltP1();
  noCell.cell[2] = 0;
  const Case cases[] = {
      {"three terms", threeTerms, "'x-y+z,-y,-z'"},
      {"no charge", noCharge, "site Na3"},
      {"occupancy", badOccupancy, "site Na2"},
      {"no sites", noSites, "no atom sites"},
      {"no cell", noCell, "cell"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    try {
      convertCrystal(k.crystal, {});
      ADD_FAILURE() << "accepted";
    } catch (const CifError& e) {
      EXPECT_NE(std::string(e.what()).find(k.message), std::string::npos) << e.what();
    }
  }
}

TEST(ParsePositions, ReadsFreeFormatTriples) {
  const auto points =
      parsePositions("0.25 0.25 0.25\n\n# a comment\n0.1,0.2,0.3  # tail\r\n", "p.txt");
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1].z, 0.3);
  for (const char* bad : {"0.1 0.2\n", "0.1 0.2 0.3 0.4\n", "0.1 x 0.3\n", "1e999 0 0\n"})
    EXPECT_THROW(parsePositions(bad, "p.txt"), CifError) << bad;
}

} // namespace
} // namespace telva
