#include "cif/cif_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "cif/conversion.hpp"
#include "cif_test_support.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

// A rutile CIF with its symmetry and its sites spelled as `symmetry` and
// `sites` say.
std::string rutile(const std::string& symmetry, const std::string& sites) {
  return "data_rutile\n_chemical_formula_sum 'O2 Ti'\n"
         "_cell_length_a 4.594(3)\n_cell_length_b 4.594(3)\n_cell_length_c 2.959\n"
         "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90.0\n" +
         symmetry +
         "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
         "_atom_site_fract_y\n_atom_site_fract_z\n" +
         sites;
}

const std::string rutileSites = "Ti1 Ti4+ 0 0 0\nO1 O2- 0.3053(4) 0.3053(4) 0\n";

std::string symopLoop(const std::string& tag, const std::vector<std::string>& triplets) {
  std::string text = "loop_\n" + tag + "\n";
  for (const std::string& t : triplets)
    text += "'" + t + "'\n";
  return text;
}

const std::vector<std::string> rutileOps = {"x,y,z",
                                            "-x,-y,z",
                                            "-y+1/2,x+1/2,z+1/2",
                                            "y+1/2,-x+1/2,z+1/2",
                                            "-x+1/2,y+1/2,-z+1/2",
                                            "x+1/2,-y+1/2,-z+1/2",
                                            "y,x,-z",
                                            "-y,-x,-z",
                                            "-x,-y,-z",
                                            "x,y,-z",
                                            "y+1/2,-x+1/2,-z+1/2",
                                            "-y+1/2,x+1/2,-z+1/2",
                                            "x+1/2,-y+1/2,z+1/2",
                                            "-x+1/2,y+1/2,z+1/2",
                                            "-y,-x,z",
                                            "y,x,z"};

std::vector<MatrixOp> sortedGroup(const CifCrystal& c) {
  auto group = normalisedGroup(c.operations);
  std::sort(group.begin(), group.end(), [](const MatrixOp& a, const MatrixOp& b) {
    return std::tie(a.rotation, a.translation) < std::tie(b.rotation, b.translation);
  });
  return group;
}

TEST(CifReader, TakesTheSymmetryFromEitherLoopOrFromASymbol) {
  std::vector<std::string> identityLast(rutileOps.begin() + 1, rutileOps.end());
  identityLast.push_back("x,y,z");
  struct Case {
    const char* name;
    std::string symmetry;
    const char* source;
  };
  const Case cases[] = {
      {"new tag", symopLoop("_space_group_symop_operation_xyz", rutileOps),
       "_space_group_symop_operation_xyz"},
      {"old tag, identity last", symopLoop("_symmetry_equiv_pos_as_xyz", identityLast),
       "_symmetry_equiv_pos_as_xyz"},
      {"H-M symbol", "_space_group_name_H-M_alt 'P 42/m n m'\n", "H-M"},
      {"old H-M tag", "_symmetry_space_group_name_H-M 'P4_2/mnm'\n", "H-M"},
      {"Hall symbol", "_space_group_name_Hall '-P 4n 2n'\n", "Hall"},
      // The loop wins over a symbol that names no standard setting.
      {"loop and odd symbol",
       "_space_group_name_H-M_alt 'P 42/m n m Q'\n" +
           symopLoop("_space_group_symop_operation_xyz", rutileOps),
       "_space_group_symop_operation_xyz"},
  };
  const auto reference = sortedGroup(readCifText(rutile(cases[0].symmetry, rutileSites), "r"));
  ASSERT_EQ(reference.size(), 16u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CifCrystal crystal = readCifText(rutile(c.symmetry, rutileSites), "r.cif");
    EXPECT_NE(crystal.operationsSource.find(c.source), std::string::npos)
        << crystal.operationsSource;
    EXPECT_EQ(sortedGroup(crystal), reference);
  }
}

TEST(CifReader, ReadsCellSitesAndUncertainties) {
  const CifCrystal c = readCifText(
      rutile(symopLoop("_space_group_symop_operation_xyz", rutileOps), rutileSites), "r.cif");
  EXPECT_EQ(c.blockName, "rutile");
  EXPECT_EQ(c.formula, "O2 Ti");
  EXPECT_EQ(c.cell, (std::array<double, 6>{4.594, 4.594, 2.959, 90, 90, 90}));
  ASSERT_EQ(c.sites.size(), 2u);
  EXPECT_EQ(c.sites[1].label, "O1");
  EXPECT_EQ(c.sites[1].typeSymbol, "O2-");
  EXPECT_EQ(c.sites[1].element, "O");
  EXPECT_EQ(c.sites[1].x, 0.3053);
  EXPECT_EQ(c.sites[1].occupancy, 1.0);
}

TEST(CifReader, CopesWithUntidyText) {
  // CR LF line ends, tabs, no final line feed, '.' for a coordinate, a type
  // symbol left out (the label stands for it), and an oxidation-number loop.
  std::string text =
      "data_untidy\r\n_cell_length_a\t5.64\r\n_cell_length_b 5.64\r\n_cell_length_c 5.64\r\n"
      "_cell_angle_alpha 90\r\n_cell_angle_beta 90\r\n_cell_angle_gamma 90\r\n"
      "_space_group_name_H-M_alt 'F m -3 m'\r\n"
      "loop_\r\n_atom_type_symbol\r\n_atom_type_oxidation_number\r\nNa 1\r\nCl -1\r\n"
      "loop_\r\n_atom_site_label\r\n_atom_site_fract_x\r\n_atom_site_fract_y\r\n"
      "_atom_site_fract_z\r\n_atom_site_occupancy\r\n"
      "Na\t.\t0\t0\t1\r\nCl\t0.5\t0.5\t0.5\t?";
  const CifCrystal c = readCifText(text, "untidy.cif");
  ASSERT_EQ(c.sites.size(), 2u);
  EXPECT_EQ(c.sites[0].x, 0.0);
  EXPECT_EQ(c.sites[1].typeSymbol, "Cl");
  EXPECT_EQ(c.sites[1].element, "Cl");
  EXPECT_EQ(c.sites[1].occupancy, 1.0);
  EXPECT_EQ(c.oxidationNumbers.at("Cl"), -1.0);
  EXPECT_EQ(c.operations.size(), 192u);
  const Conversion conv = convertCrystal(c, {});
  EXPECT_EQ(conv.symOps.size(), 96u);
  EXPECT_EQ(conv.sites[0].charge, 1.0);
}

TEST(CifReader, RefusesWhatItCannotUseNamingIt) {
  const std::string loop = symopLoop("_space_group_symop_operation_xyz", rutileOps);
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {"unknown coordinate", rutile(loop, "Ti1 Ti4+ 0 0 0\nO1 O2- 0.3 ? 0\n"), "site O1"},
      {"text for a coordinate", rutile(loop, "Ti1 Ti4+ 0 0 0\nO1 O2- 0.3 abc 0\n"), "site O1"},
      {"odd symbol only", rutile("_space_group_name_H-M_alt 'R -3 c R'\n", rutileSites),
       "'R -3 c R'"},
      {"no symmetry", rutile("", rutileSites), "no symmetry"},
      {"bad triplet",
       rutile(symopLoop("_symmetry_equiv_pos_as_xyz", {"x,y,z", "x,y"}), rutileSites), "'x,y'"},
      {"no cell",
       "data_x\n_cell_length_a 4\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
       "_atom_site_fract_y\n_atom_site_fract_z\nA 0 0 0\n",
       "_cell_length_b"},
      {"no atom sites", "data_x\n_cell_length_a 4\n", "atom sites"},
      {"malformed text", "data_x\nloop_\n_atom_site_label\n'unclosed\n", "not a readable CIF"},
      {"not a CIF at all", "\x01\x02 garbage", "not a readable CIF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      readCifText(c.text, "bad.cif");
      ADD_FAILURE() << "accepted";
    } catch (const CifError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(CifReader, ReadsANonStandardMonoclinicSettingFromItsLoop) {
  // I 1 c 1 with beta below 90 degrees: body centring and a c glide.
  const std::string text =
      "data_ic\n_cell_length_a 6.1\n_cell_length_b 5.2\n_cell_length_c 7.3\n"
      "_cell_angle_alpha 90\n_cell_angle_beta 84.5\n_cell_angle_gamma 90\n"
      "_symmetry_space_group_name_H-M 'I 1 c 1'\n"
      "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\nx,-y,1/2+z\n1/2+x,1/2+y,1/2+z\n1/2+x,1/2-y,z\n"
      "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
      "_atom_site_fract_z\nK1 K+ 0.1 0.25 0.2\nCl1 Cl- 0.6 0.3 0.45\n";
  const Conversion c = convertCrystal(readCifText(text, "ic.cif"), {});
  EXPECT_FALSE(c.inversionAtOrigin);
  EXPECT_EQ(c.symOps.size(), 4u);
  EXPECT_EQ(c.multiplicities, (std::vector<int>{4, 4}));
  EXPECT_EQ(cif_test::readBack(c.inputText).lattice[4], 84.5);
}

TEST(CifReader, SpinelHas192OperationsAndWrites96WithTheFlag) {
  const CifCrystal crystal = readCifText(cif_test::spinelCif, "spinel.cif");
  const Conversion c = convertCrystal(crystal, {});
  EXPECT_EQ(c.groupOrder, 192);
  EXPECT_EQ(c.symOps.size(), 96u);
  EXPECT_TRUE(c.inversionAtOrigin);
  EXPECT_EQ(c.multiplicities, (std::vector<int>{8, 16, 32}));
  const InputHead head = cif_test::readBack(c.inputText);
  EXPECT_EQ(head.symOpCount, 96);
  EXPECT_EQ(head.inversionAtOrigin, 1);
  // Every digit the field holds: 8/192 and 32/192.
  EXPECT_NE(c.inputText.find("Mg1            2.0.04166667"), std::string::npos) << c.inputText;
  EXPECT_NE(c.inputText.find("O1            -2.0.16666667"), std::string::npos);
  EXPECT_NEAR(head.sites[0].W, 8.0 / 192, 5e-9);
  EXPECT_EQ(c.netCharge, 0);
}

// The written input, expanded by every operation and companion, puts weight
// `occupancy` on exactly the atoms of the library's own expansion of the CIF.
void expectExpansionMatchesLibrary(const std::string& text, const std::string& name) {
  const Conversion c = convertCrystal(readCifText(text, name), {});
  const InputHead head = cif_test::readBack(c.inputText);
  const auto images = cif_test::expandHead(head);
  const auto atoms = libraryCellExpansion(text, name);
  const double tolerance = 1e-6;
  auto at = [&](const ExpandedAtom& a, const cif_test::WeightedImage& i) {
    return cif_test::wrappedDifference(a.x, i.x) < tolerance &&
           cif_test::wrappedDifference(a.y, i.y) < tolerance &&
           cif_test::wrappedDifference(a.z, i.z) < tolerance;
  };
  std::vector<bool> used(images.size(), false);
  for (const ExpandedAtom& atom : atoms) {
    double weight = 0;
    int landing = 0;
    std::string label = atom.label.substr(0, 8);
    label.resize(8, ' ');
    for (std::size_t i = 0; i < images.size(); ++i)
      if (images[i].label == label && at(atom, images[i])) {
        weight += images[i].weight;
        used[i] = true;
        ++landing;
      }
    // Each written W is within half a unit of its eighth decimal.
    EXPECT_NEAR(weight, atom.occupancy, landing * 5e-9 + 1e-12)
        << name << ": " << atom.label << " at " << atom.x << " " << atom.y << " " << atom.z;
  }
  EXPECT_EQ(std::count(used.begin(), used.end(), false), 0)
      << name << ": images that the library's cell does not hold";
}

TEST(CifReader, WrittenInputExpandsToTheLibrarysCell) {
  expectExpansionMatchesLibrary(cif_test::spinelCif, "spinel.cif");
  expectExpansionMatchesLibrary(
      rutile(symopLoop("_space_group_symop_operation_xyz", rutileOps), rutileSites), "r.cif");
  const fs::path examples = fs::path(TELVA_SOURCE_DIR) / "examples";
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(examples))
    if (entry.path().extension() == ".cif") {
      expectExpansionMatchesLibrary(test::readFile(entry.path().string()),
                                    entry.path().filename().string());
      ++seen;
    }
  EXPECT_GE(seen, 8);
}

} // namespace
} // namespace telva
