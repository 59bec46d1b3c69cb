// Runs telva-cif and then telva as a user would: for every example crystal,
// its CIF goes through both programs and the site potentials (and those at
// the example's positions) must equal those of the hand-written input.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "records/fixed_column.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

const fs::path examplesDir = fs::path(TELVA_SOURCE_DIR) / "examples";

std::vector<std::string> recordsOf(const std::string& text) {
  std::vector<std::string> records;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    records.push_back(line);
  }
  return records;
}

double field(const std::string& record, std::size_t start, std::size_t width, int implied) {
  const std::string text = start < record.size() ? record.substr(start, width) : "";
  return parseFixedField(text, implied).value();
}

// The numbers after a listing's heading line, one list per line, up to the
// first empty line after them.
std::vector<std::vector<std::string>> tableAfter(const std::string& listing,
                                                 const std::string& heading) {
  const auto lines = recordsOf(listing);
  std::vector<std::vector<std::string>> rows;
  auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(heading) != std::string::npos;
  });
  if (it == lines.end()) return rows;
  for (++it; it != lines.end(); ++it) {
    std::istringstream words(*it);
    std::vector<std::string> row;
    for (std::string w; words >> w;)
      row.push_back(w);
    if (row.empty()) {
      if (!rows.empty()) break;
      continue;
    }
    rows.push_back(row);
  }
  return rows;
}

// Two printed potentials agree to rounding: 7 significant digits, and the sum
// runs in another order when the operations are listed in another order.
void expectSamePotential(const std::string& a, const std::string& b, const std::string& what) {
  const double x = std::stod(a), y = std::stod(b);
  EXPECT_NEAR(x, y, 3e-6 * std::max(std::abs(x), 1e-3)) << what << ": " << a << " vs " << b;
}

class ExampleCrystal : public testing::TestWithParam<std::string> {};

TEST_P(ExampleCrystal, CifThroughBothProgramsGivesTheHandWrittenPotentials) {
  const std::string name = GetParam();
  const fs::path handInput = examplesDir / (name + ".inp");
  ASSERT_TRUE(fs::exists(handInput)) << handInput;
  const auto hand = recordsOf(test::readFile(handInput.string()));
  // R, qmax and the position records of the hand-written input.
  const std::string radius = std::to_string(field(hand[1], 0, 6, 2));
  const std::string qmax = std::to_string(field(hand[1], 6, 6, 2));
  const int ops = static_cast<int>(field(hand[2], 0, 3, 0));
  const int sites = static_cast<int>(field(hand[2], 3, 3, 0));
  std::string positions;
  for (std::size_t i = 4 + ops + sites; i < hand.size(); ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", field(hand[i], 0, 9, 6),
                  field(hand[i], 9, 9, 6), field(hand[i], 18, 9, 6));
    positions += line;
  }

  test::TempDir work;
  test::writeFile(work / "points.txt", positions);
  fs::copy_file(handInput, work.path() / "hand.inp");
  const auto converted =
      test::runBinary(TELVA_CIF_BINARY,
                      {(examplesDir / (name + ".cif")).string(), "-o", "cif.inp", "--radius",
                       radius, "--qmax", qmax, "--positions", "points.txt"},
                      work.path());
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.out, "");
  EXPECT_EQ(converted.err.find("warning"), std::string::npos) << converted.err;

  ASSERT_EQ(test::runBinary(TELVA_BINARY, {"hand.inp", "hand.lst"}, work.path()).status, 0);
  const auto run = test::runBinary(TELVA_BINARY, {"cif.inp", "cif.lst"}, work.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string handListing = test::readFile(work / "hand.lst");
  const std::string cifListing = test::readFile(work / "cif.lst");

  const auto handSites = tableAfter(handListing, "Charge      W");
  const auto cifSites = tableAfter(cifListing, "Charge      W");
  ASSERT_EQ(handSites.size(), static_cast<std::size_t>(sites));
  ASSERT_EQ(cifSites.size(), handSites.size());
  for (std::size_t i = 0; i < handSites.size(); ++i) {
    // label, charge, W, x, y, z, phi: everything but the label agrees.
    ASSERT_EQ(cifSites[i].size(), 7u);
    for (std::size_t k = 1; k < 6; ++k)
      EXPECT_EQ(cifSites[i][k], handSites[i][k]) << name << " site " << i;
    expectSamePotential(cifSites[i][6], handSites[i][6], name + " site " + handSites[i][0]);
  }
  const auto energy = [](const std::string& listing) {
    return tableAfter(listing, "Electrostatic energy per asymmetric unit").at(0).at(0);
  };
  expectSamePotential(energy(cifListing), energy(handListing), name + " energy");

  const auto handPoints = tableAfter(handListing, "N.atom   Distance");
  const auto cifPoints = tableAfter(cifListing, "N.atom   Distance");
  ASSERT_EQ(cifPoints.size(), handPoints.size());
  for (std::size_t i = 0; i < handPoints.size(); ++i) {
    // x, y, z, phiw, phic, neighbour, distance
    for (std::size_t k : {0u, 1u, 2u, 6u})
      EXPECT_EQ(cifPoints[i][k], handPoints[i][k]) << name << " position " << i;
    for (std::size_t k : {3u, 4u})
      if (handPoints[i][k].find("Infinity") == std::string::npos)
        expectSamePotential(cifPoints[i][k], handPoints[i][k], name + " position");
      else
        EXPECT_EQ(cifPoints[i][k], handPoints[i][k]);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleCrystal,
                         testing::Values("rocksalt", "rocksalt_fm3m", "cscl", "fluorite",
                                         "zincblende", "rutile", "wurtzite", "corundum"));

struct FailingCase {
  const char* name;
  std::string cif;
  std::vector<std::string> options;
  int status;
  const char* message;
};

const std::string goodCif = "data_nacl\n_cell_length_a 5.64\n_cell_length_b 5.64\n"
                            "_cell_length_c 5.64\n_cell_angle_alpha 90\n_cell_angle_beta 90\n"
                            "_cell_angle_gamma 90\n_space_group_name_H-M_alt 'F m -3 m'\n"
                            "loop_\n_atom_site_label\n_atom_site_type_symbol\n"
                            "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";

TEST(TelvaCif, FailsCleanlyLeavingNoOutputFile) {
  const FailingCase cases[] = {
      {"malformed CIF",
       goodCif + "Na1 Na+ 0 0 0\nCl1 Cl- 0.5 0.5 'unclosed\n",
       {},
       1,
       "not a readable CIF"},
      {"missing charge", goodCif + "Na1 Na 0 0 0\nCl1 Cl- 0.5 0.5 0.5\n", {}, 1, "site Na1"},
      {"charged cell, strict",
       goodCif + "Na1 Na+ 0 0 0\nCl1 Cl- 0.5 0.5 0.5\n",
       {"--charge", "Na=2", "--strict"},
       1,
       "not neutral"},
      {"unknown option",
       goodCif + "Na1 Na+ 0 0 0\nCl1 Cl- 0.5 0.5 0.5\n",
       {"--frobnicate"},
       2,
       "unknown option"},
      {"bad charge option",
       goodCif + "Na1 Na+ 0 0 0\nCl1 Cl- 0.5 0.5 0.5\n",
       {"--charge", "Na"},
       2,
       "NAME=Z"},
  };
  for (const FailingCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir work;
    test::writeFile(work / "in.cif", c.cif);
    std::vector<std::string> args{"in.cif", "-o", "out.inp"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    auto result = test::runBinary(TELVA_CIF_BINARY, args, work.path());
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(work.path() / "out.inp"));
    // An input already there stays as it was, and no scratch file is left.
    test::writeFile(work / "out.inp", "earlier\n");
    result = test::runBinary(TELVA_CIF_BINARY, args, work.path());
    EXPECT_EQ(test::readFile(work / "out.inp"), "earlier\n");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(work.path()))
      ++files;
    EXPECT_EQ(files, 2u);
  }
}

TEST(TelvaCif, WarnsOfAChargedCellAndStillWrites) {
  test::TempDir work;
  test::writeFile(work / "in.cif", goodCif + "Na1 Na+ 0 0 0\nCl1 Cl- 0.5 0.5 0.5\n");
  const auto result = test::runBinary(
      TELVA_CIF_BINARY, {"in.cif", "--charge", "Na1=2", "--radius", "1.0", "--qmax", "6.0"},
      work.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("warning: the cell is not neutral"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("is 4.0000 e"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.substr(0, 10), "nacl\n   1.");
}

} // namespace
} // namespace telva
