// The charge guess on published structures (tests/cif/real: mineral
// structures, most of the American Mineralogist Crystal Structure Database;
// each file's first line names its source). Every site must get the published
// oxidation state of its element, or the one listed for its label where one
// element has sites in different states (magnetite: Fe3+ on the tetrahedral
// site, Fe^2.5+ on the octahedral one).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

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

TEST(RealStructures, GuessGivesThePublishedOxidationStates) {
  const Published cases[] = {
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
  };
  ConversionOptions options;
  options.guessCharges = true;
  for (const Published& p : cases) {
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

} // namespace
} // namespace telva
