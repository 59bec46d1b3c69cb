// The charge guess on published structures (tests/cif/real: mineral
// structures, most of the American Mineralogist Crystal Structure Database,
// a few typed in from their publication, and whole Crystallography Open
// Database files; each file's first line names its source). Every site must
// get the published oxidation state of its element, or the one listed for its
// label where one element has sites in different states (magnetite: Fe3+ on
// the tetrahedral site, Fe^2.5+ on the octahedral one; hausmannite: Mn2+
// tetrahedral, Mn3+ octahedral).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cif/charges.hpp"
#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"

namespace telva {
namespace {

const std::filesystem::path realDir =
    std::filesystem::path(TELVA_SOURCE_DIR) / "tests" / "cif" / "real";

struct Published {
  const char* file;
  std::map<std::string, double> byElement;
  std::map<std::string, double> byLabel; // where the element's sites differ
};

const std::map<std::string, double> silicate = {{"Si", 4}, {"O", -2}};

std::map<std::string, double> with(std::map<std::string, double> base,
                                   const std::map<std::string, double>& more) {
  base.insert(more.begin(), more.end());
  return base;
}

// Transcribed structures, without oxidation numbers.
const std::vector<Published>& transcribed() {
  static const std::vector<Published> cases = {
      {"magnetite.cif", {{"O", -2}}, {{"Fe1", 3}, {"Fe2", 2.5}}},
      {"ilmenite.cif", {{"Fe", 2}, {"Ti", 4}, {"O", -2}}, {}},
      {"hercynite.cif", {{"Fe", 2}, {"Al", 3}, {"O", -2}}, {}},
      {"wustite.cif", {{"Fe", 2}, {"O", -2}}, {}},
      {"rutile.cif", {{"Ti", 4}, {"O", -2}}, {}},
      {"perovskite_catio3.cif", {{"Ca", 2}, {"Ti", 4}, {"O", -2}}, {}},
      {"calcite.cif", {{"Ca", 2}, {"C", 4}, {"O", -2}}, {}},
      {"aragonite.cif", {{"Ca", 2}, {"C", 4}, {"O", -2}}, {}},
      {"brucite.cif", {{"Mg", 2}, {"H", 1}, {"O", -2}}, {}},
      {"stishovite.cif", silicate, {}},
      {"almandine.cif", with(silicate, {{"Fe", 2}, {"Al", 3}}), {}},
      {"pyrope.cif", with(silicate, {{"Mg", 2}, {"Al", 3}}), {}},
      {"fayalite.cif", with(silicate, {{"Fe", 2}}), {}},
      {"forsterite.cif", with(silicate, {{"Mg", 2}}), {}},
      {"diopside.cif", with(silicate, {{"Mg", 2}, {"Ca", 2}}), {}},
      {"hedenbergite.cif", with(silicate, {{"Fe", 2}, {"Ca", 2}}), {}},
      {"jadeite.cif", with(silicate, {{"Na", 1}, {"Al", 3}}), {}},
      {"kyanite.cif", with(silicate, {{"Al", 3}}), {}},
      {"sillimanite.cif", with(silicate, {{"Al", 3}}), {}},
      {"titanite.cif", with(silicate, {{"Ca", 2}, {"Ti", 4}}), {}},
      {"orthoclase.cif", with(silicate, {{"K", 1}, {"Al", 3}}), {}},
      {"spinel.cif", {{"Mg", 2}, {"Al", 3}, {"O", -2}}, {}},
      {"periclase.cif", {{"Mg", 2}, {"O", -2}}, {}},
      {"magnesite.cif", {{"Mg", 2}, {"C", 4}, {"O", -2}}, {}},
      {"quartz.cif", silicate, {}},
      {"akimotoite.cif", with(silicate, {{"Mg", 2}}), {}},
      {"lawsonite.cif", with(silicate, {{"Ca", 2}, {"Al", 3}, {"H", 1}}), {}},
      {"ringwoodite.cif", with(silicate, {{"Mg", 2}}), {}},
      {"grossular.cif", with(silicate, {{"Ca", 2}, {"Al", 3}}), {}},
      {"bridgmanite.cif", with(silicate, {{"Mg", 2}}), {}},
      // Mixed valence: Ti^3.5+ shared by one site; Mn2+/Mn3+ and Cu+/Cu2+ on
      // sites of their own (Cu1 linear, two bonds; Cu2 square planar).
      {"lithium_titanate_spinel.cif", {{"Li", 1}, {"O", -2}}, {{"Ti1", 3.5}}},
      {"hausmannite.cif", {{"O", -2}}, {{"Mn1", 2}, {"Mn2", 3}}},
      {"paramelaconite.cif", {{"O", -2}}, {{"Cu1", 1}, {"Cu2", 2}}},
      {"aegirine.cif", with(silicate, {{"Na", 1}, {"Fe", 3}}), {}},
      {"natrite.cif", {{"Na", 1}, {"C", 4}, {"O", -2}}, {}},
      // Al and Nb swapped on 5.9 % of their sites: each keeps its own state.
      {"calcium_aluminium_niobate.cif", {{"Ca", 2}, {"Al", 3}, {"Nb", 5}, {"O", -2}}, {}},
  };
  return cases;
}

TEST(RealStructures, GuessGivesThePublishedOxidationStates) {
  ConversionOptions options;
  options.guessCharges = true;
  for (const Published& p : transcribed()) {
    SCOPED_TRACE(p.file);
    const CifCrystal crystal = readCifFile((realDir / p.file).string());
    std::vector<std::string> notes, warnings;
    const std::vector<double> charges = chargesOfSites(crystal, options, notes, warnings);
    ASSERT_EQ(charges.size(), crystal.sites.size());
    for (std::size_t i = 0; i < charges.size(); ++i) {
      const CifSite& s = crystal.sites[i];
      const auto label = p.byLabel.find(s.label);
      const double published = label != p.byLabel.end() ? label->second : p.byElement.at(s.element);
      EXPECT_NEAR(charges[i], published, 1e-9) << s.label;
    }
  }
}

// Crystallography Open Database files (whole, each with a first line naming
// its COD id and the repository it came from). Where the file gives oxidation
// numbers (its type symbols and _atom_type_oxidation_number), the table must
// agree with them, and the guess must find them again with them withheld.
const std::vector<Published>& codFiles() {
  static const std::vector<Published> cases = {
      {"halite_nacl.cif", {{"Na", 1}, {"Cl", -1}}, {}},
      {"barite.cif", {{"Ba", 2}, {"S", 6}, {"O", -2}}, {}},
      {"tricalcium_aluminate.cif", {{"Ca", 2}, {"Al", 3}, {"O", -2}}, {}},
      // Pyrite structure: S2 pairs, S-1 each (no oxidation numbers in the file).
      {"cattierite_cos2.cif", {{"Co", 2}, {"S", -1}}, {}},
  };
  return cases;
}

TEST(RealStructures, GuessFindsTheOxidationStatesOfCodFiles) {
  ConversionOptions options;
  options.guessCharges = true;
  for (const Published& p : codFiles()) {
    SCOPED_TRACE(p.file);
    CifCrystal crystal = readCifFile((realDir / p.file).string());
    const auto published = [&](const CifSite& s) {
      const auto label = p.byLabel.find(s.label);
      return label != p.byLabel.end() ? label->second : p.byElement.at(s.element);
    };
    const std::vector<std::optional<double>> inFile = knownCharges(crystal, {});
    for (std::size_t i = 0; i < inFile.size(); ++i)
      if (inFile[i]) {
        EXPECT_EQ(*inFile[i], published(crystal.sites[i])) << crystal.sites[i].label;
      }
    crystal.oxidationNumbers.clear();
    for (CifSite& s : crystal.sites)
      s.typeSymbol = s.element;
    std::vector<std::string> notes, warnings;
    const std::vector<double> charges = chargesOfSites(crystal, options, notes, warnings);
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const std::string& n) {
      return n.rfind("charges guessed", 0) == 0;
    }));
    ASSERT_EQ(charges.size(), crystal.sites.size());
    for (std::size_t i = 0; i < charges.size(); ++i)
      EXPECT_NEAR(charges[i], published(crystal.sites[i]), 1e-9) << crystal.sites[i].label;
  }
}

// A file added to tests/cif/real without its published states would be
// checked by nothing.
TEST(RealStructures, EveryFileHasItsPublishedStates) {
  std::set<std::string> listed;
  for (const auto* table : {&transcribed(), &codFiles()})
    for (const Published& p : *table)
      EXPECT_TRUE(listed.insert(p.file).second) << p.file << " listed twice";
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(realDir)) {
    if (entry.path().extension() != ".cif") continue;
    ++files;
    EXPECT_TRUE(listed.count(entry.path().filename().string())) << entry.path().filename();
  }
  EXPECT_EQ(files, listed.size());
}

} // namespace
} // namespace telva
