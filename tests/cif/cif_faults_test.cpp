// One small CIF for each way a real CIF went wrong: the conversion either
// writes what the structure means, with the notes and warnings that say
// what it did, or refuses with a message that names the cause and the fix.
#include <gtest/gtest.h>

#include "cif/charge_guess.hpp"
#include "cif/cif_reader.hpp"
#include "cif/conversion.hpp"
#include "cif/conversion_options.hpp"
#include "cif_test_support.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

// A cubic cell of edge `a` with the given symmetry lines and atom-site rows
// (label, type symbol, x, y, z, occupancy).
std::string cubicCif(double a, const std::string& symmetry, const std::string& rows,
                     const std::string& extra = "") {
  const std::string edge = std::to_string(a);
  return "data_test\n_chemical_formula_sum 'X'\n_cell_length_a " + edge + "\n_cell_length_b " +
         edge + "\n_cell_length_c " + edge +
         "\n_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n" + symmetry + extra +
         "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
         "_atom_site_fract_y\n_atom_site_fract_z\n_atom_site_occupancy\n" +
         rows;
}

const std::string p1 = "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n";
const std::string pMinus1 = "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-x,-y,-z\n";
const std::string fm3m = "_space_group_name_H-M_alt 'F m -3 m'\n";

ConversionOptions withOptions(std::vector<std::string> args) {
  ConversionOptions options;
  const std::vector<std::string> rest = parseConversionOptions(args, options);
  EXPECT_TRUE(rest.empty());
  return options;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines)
    out += l + "\n";
  return out;
}

struct Case {
  const char* name;
  std::string cif;
  std::vector<std::string> args;
  // Texts the error must hold; empty: the conversion must succeed.
  std::vector<std::string> error;
  // Texts the notes and warnings must hold on success.
  std::vector<std::string> said;
  // Written site records as "label charge W", in order, on success.
  std::vector<std::string> records;
};

std::string recordText(const Site& s) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s %g %g", s.label.c_str(), s.charge, s.W);
  std::string text = buffer;
  // Labels are padded to 8 columns; drop the padding for the comparison.
  const std::size_t blank = text.find("  ");
  if (blank != std::string::npos) text.erase(blank, text.find_first_not_of(' ', blank) - blank - 1);
  return text;
}

void check(const Case& k) {
  SCOPED_TRACE(k.name);
  try {
    const CifCrystal crystal = readCifText(k.cif, "case.cif", withOptions(k.args).block);
    const Conversion c = convertCrystal(crystal, withOptions(k.args));
    ASSERT_TRUE(k.error.empty()) << "accepted:\n" << c.inputText;
    const std::string said = joined(c.notes) + joined(c.sphereNotes) + joined(c.warnings);
    for (const std::string& text : k.said)
      EXPECT_NE(said.find(text), std::string::npos) << "'" << text << "' not in:\n" << said;
    if (!k.records.empty()) {
      std::vector<std::string> records;
      for (const Site& s : c.sites)
        records.push_back(recordText(s));
      EXPECT_EQ(records, k.records);
    }
    // Whatever was written reads back as the conversion says.
    const InputHead head = cif_test::readBack(c.inputText);
    EXPECT_EQ(head.sites.size(), c.sites.size());
  } catch (const CifError& e) {
    ASSERT_FALSE(k.error.empty()) << "refused: " << e.what();
    for (const std::string& text : k.error)
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << "'" << text << "' not in:\n"
                                                                     << e.what();
  }
}

TEST(CifFaults, OccupancyAndPositions) {
  const Case cases[] = {
      {"a mixed site is one record with the charge sum of q x occupancy",
       cubicCif(4.2, fm3m, "Mg1 Mg2+ 0 0 0 0.6\nFe1 Fe3+ 0 0 0 0.4\nO1 O2- .5 .5 .5 1\n"),
       {"--charge", "O=-2.2"},
       {},
       {"Mg1, Fe1 share one position: one record Mg1+Fe1 with charge 2.4000"},
       {"Mg1+Fe1 2.4 0.0208333", "O1 -2.2 0.0208333"}},
      {"one orbit listed twice is more than full",
       cubicCif(5.0, pMinus1,
                "Cu1 Cu+ 0.1 0.1 0.1 0.6\nCu2 Cu+ -0.1 -0.1 -0.1 0.6\nS1 S2- 0.5 0.5 0.5 1\n"),
       {},
       {"add up to 1.2000", "Cu1 (0.6000), Cu2 (0.6000)", "lie on one orbit"},
       {},
       {}},
      {"occupancies adding up to 1.004 are rounding",
       cubicCif(4.2, fm3m, "Mg1 Mg2+ 0 0 0 0.502\nFe1 Fe2+ 0 0 0 0.502\nO1 O2- .5 .5 .5 1\n"),
       {"--charge", "O=-2.008"},
       {},
       {"occupancy 1.0040"},
       {}},
      {"an empty site is left out with a note",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 1\nK1 K+ 0.25 0.25 0.25 0\nCl1 Cl- .5 .5 .5 1\n"),
       {},
       {},
       {"occupancy 0, left out: K1"},
       {"Na1 1 0.0208333", "Cl1 -1 0.0208333"}},
      {"an empty site needs no charge",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 1\nX1 X 0.25 0.25 0.25 0\nCl1 Cl- .5 .5 .5 1\n"),
       {},
       {},
       {"occupancy 0, left out: X1"},
       {}},
      {"every site empty",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 0\n"),
       {},
       {"every atom site of the CIF has the occupancy 0"},
       {},
       {}},
      {"the default R counts like charges too",
       // Two cations 1.0 A apart, the anion far: R = 0.45 A.
       cubicCif(6.0, p1,
                "Na1 Na+ 0 0 0 1\nNa2 Na+ 0.16667 0 0 1\nCl1 Cl- .5 .5 .5 1\nCl2 Cl- .5 .5 0 1\n"),
       {},
       {},
       {"R = 0.4500 A", "(1.0000 A, Na1-Na2)"},
       {}},
      {"a split pair closer than 2R warns that each sees its partner",
       cubicCif(6.0, p1,
                "Cu1 Cu+ 0 0 0 0.5\nCu2 Cu+ 0.11667 0 0 0.5\nCl1 Cl- .5 .5 .5 0.5\nCl2 Cl- .5 .5 0 "
                "0.5\n"),
       {"--radius", "0.5"},
       {},
       {"the partial positions Cu1 and Cu2 lie 0.7000 A apart, closer than 2R"},
       {}},
      {"a given R that puts an atom inside another's sphere warns",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 1\nCl1 Cl- .5 .5 .5 1\n"),
       {"--radius", "4.0"},
       {},
       {"with R = 4.0000 A, Na1 lies 2.8200 A from Cl1, inside its sphere",
        "choose R below 2.8200 A"},
       {}},
      {"... and with --strict is an error",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 1\nCl1 Cl- .5 .5 .5 1\n"),
       {"--radius", "4.0", "--strict"},
       {"inside its sphere", "(--strict)"},
       {},
       {}},
      {"a charged cell's warning states the shift with R",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 1\nCl1 Cl- .5 .5 .5 0.5\n"),
       {},
       {},
       {"is 2.0000 e", "pi Q R^2/(6V) = 0.009400 e/A"},
       {}},
      {"the capacity stops qmax short of a tiny tolerance",
       cubicCif(5.64, fm3m, "Na1 Na+ 0 0 0 1\nCl1 Cl- .5 .5 .5 1\n"),
       {"--tolerance", "1e-12"},
       {},
       {"fills the table's capacity of 10000000 entries and stops short of --tolerance 1.0e-12"},
       {}},
  };
  for (const Case& k : cases)
    check(k);
}

TEST(CifFaults, CellsTheProgramWouldMisreadAreRefused) {
  const std::string rows = "Na1 Na+ 0 0 0 1\nCl1 Cl- .5 .5 .5 1\n";
  auto withCell = [&](const std::string& from, const std::string& to) {
    std::string text = cubicCif(5.64, p1, rows);
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const Case cases[] = {
      // An edge below 1 would be read as a reciprocal cell, an angle below 1 as a cosine.
      {"an edge below 1 A",
       withCell("_cell_length_a 5.64", "_cell_length_a 0.564"),
       {},
       {"an edge below 1 A (a, b, c = 0.5640, 5.6400, 5.6400 A"},
       {},
       {}},
      {"an angle below 1 degree",
       withCell("_cell_angle_alpha 90", "_cell_angle_alpha 0.5"),
       {},
       {"an angle outside 1 to 179 degrees"},
       {},
       {}},
      {"an angle of 900 degrees",
       withCell("_cell_angle_alpha 90", "_cell_angle_alpha 900"),
       {},
       {"an angle outside 1 to 179 degrees"},
       {},
       {}},
      {"angles that close no cell",
       withCell("_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90",
                "_cell_angle_alpha 130\n_cell_angle_beta 130\n_cell_angle_gamma 130"),
       {},
       {"the CIF's cell: lattice parameters describe no cell"},
       {},
       {}},
  };
  for (const Case& k : cases)
    check(k);
}

TEST(CifFaults, ChargesOnTheRightSites) {
  // Ge2Sb2Te5-like: the antimony site is labelled Ge.
  const std::string gst =
      cubicCif(6.0, p1, "Ge Sb 0 0 0 1\nGe1 Ge 0.5 0 0 1\nTe1 Te 0 0.5 0 1\nTe2 Te 0 0 0.5 1\n");
  const Case cases[] = {
      {"an element option reaches the site whose label is another element",
       gst,
       {"--charge", "Sb=3", "--charge", "element:Ge=2", "--charge", "Te=-2.5"},
       {},
       {},
       {"Ge 3 1", "Ge1 2 1", "Te1 -2.5 1", "Te2 -2.5 1"}},
      {"a name meaning a label and an element is refused with both spellings",
       gst,
       {"--charge", "Sb=3", "--charge", "Ge=2", "--charge", "Te=-2.5"},
       {"--charge Ge=2 names different sites", "--charge label:Ge=2", "--charge element:Ge=2"},
       {},
       {}},
      {"the missing charges are all named at once with a command line",
       gst,
       {},
       {"4 sites have no known charge", "site Ge (type Sb, as in Sb3+): --charge Sb=Z",
        "sites Te1, Te2 (type Te, as in Te2-): --charge Te=Z",
        "telva-cif case.cif --charge Sb=Z --charge element:Ge=Z --charge Te=Z"},
       {},
       {}},
      {"pseudo-atoms are never read as elements",
       cubicCif(6.0, p1, "Mg1 Mg2+ 0 0 0 1\nO1 OH 0.5 0 0 1\nO2 OH 0 0.5 0 1\n"),
       {},
       {"sites O1, O2 (type OH, no element): --charge OH=Z"},
       {},
       {}},
      {"a pseudo-atom charged by its type",
       cubicCif(6.0, p1, "Mg1 Mg2+ 0 0 0 1\nO1 OH 0.5 0 0 1\nO2 OH 0 0.5 0 1\n"),
       {"--charge", "type:OH=-1"},
       {},
       {},
       {"Mg1 2 1", "O1 -1 1", "O2 -1 1"}},
      {"the guess refuses pseudo-atoms",
       cubicCif(6.0, p1, "Mg1 Mg2+ 0 0 0 1\nO1 OH 0.5 0 0 1\n"),
       {"--guess-charges"},
       {"the sites O1 (type OH) have none (pseudo-atoms)"},
       {},
       {}},
      {"repeated labels are made unique and the renaming said",
       cubicCif(6.0, p1, "Mg1 Mg 0 0 0 1\nO1 O 0.5 0 0 1\nO1 O 0 0.5 0 1\n"),
       {"--charge", "Mg=2", "--charge", "O=-1", "--charge", "label:O1_2=-1.5"},
       {},
       {"the label O1 is repeated; this site is called O1_2"},
       {"Mg1 2 1", "O1 -1 1", "O1_2 -1.5 1"}},
  };
  for (const Case& k : cases)
    check(k);
}

TEST(CifFaults, TagsAndBlocks) {
  const std::string rows = "Na1 Na+ 0 0 0 1\nCl1 Cl- .5 .5 .5 1\n";
  const std::string twoBlocks = cubicCif(5.64, fm3m, rows) +
                                "data_second\n_cell_length_a 5.0\n_cell_length_b 5.0\n"
                                "_cell_length_c 5.0\n_cell_angle_alpha 90\n_cell_angle_beta 90\n"
                                "_cell_angle_gamma 90\n" +
                                fm3m +
                                "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
                                "_atom_site_fract_z\nK1 0 0 0\nBr1 .5 .5 .5\n"
                                "data_notes\n_journal_year 2001\n";
  const Case cases[] = {
      {"a repeated tag the conversion does not use warns and keeps the first",
       cubicCif(5.64, fm3m, rows, "_chemical_formula_sum ''\n_journal_year 1\n_journal_year 2\n"),
       {},
       {},
       {"the tag _chemical_formula_sum appears more than once in data block test; the first "
        "value is kept",
        "the tag _journal_year appears more than once"},
       {}},
      {"a repeated tag of the structure is an error",
       cubicCif(5.64, fm3m, rows, "_cell_length_a 5.0\n"),
       {},
       {"the tag _cell_length_a appears more than once"},
       {},
       {}},
      {"several structures need --block",
       twoBlocks,
       {},
       {"2 structures (data blocks test, second); choose one with --block NAME"},
       {},
       {}},
      {"--block picks one",
       twoBlocks,
       {"--block", "SECOND", "--charge", "K=1", "--charge", "Br=-1"},
       {},
       {},
       {"K1 1 0.0208333", "Br1 -1 0.0208333"}},
      {"a block without a structure lists those with one",
       twoBlocks,
       {"--block", "notes"},
       {"data block notes lists no atom sites", "the blocks that do: test, second"},
       {},
       {}},
      {"an unknown block lists those with a structure",
       twoBlocks,
       {"--block", "third"},
       {"no data block is named third", "test, second"},
       {},
       {}},
  };
  for (const Case& k : cases)
    check(k);
}

TEST(ChargeSpellings, EachFormReadsItsValue) {
  const std::pair<const char*, double> good[] = {
      {"3", 3},   {"-2", -2},       {"+3", 3},          {"2.5", 2.5}, {"3+", 3},
      {"2-", -2}, {"7/3", 7.0 / 3}, {"-7/3", -7.0 / 3}, {".5", 0.5},  {"0", 0}};
  for (const auto& [text, value] : good)
    EXPECT_EQ(chargeValue(text), value) << text;
  for (const char* bad : {"", "x", "3++", "+-3", "1/0", "1.5/2", "3+2", "1e3", "--3",
                          "99999999999999999999999999999999999999999999999"})
    EXPECT_EQ(chargeValue(bad), std::nullopt) << bad;

  const struct {
    const char* text;
    const char* name;
    ChargeScope scope;
    double charge;
  } assignments[] = {{"Fe=3+", "Fe", ChargeScope::any, 3},
                     {"Ta=7/3", "Ta", ChargeScope::any, 7.0 / 3},
                     {"label:Ge1=3", "Ge1", ChargeScope::label, 3},
                     {"type:OH=-1", "OH", ChargeScope::type, -1},
                     {"element:Ge=2", "Ge", ChargeScope::element, 2}};
  for (const auto& a : assignments) {
    const ChargeOverride o = parseChargeAssignment(a.text);
    EXPECT_EQ(o.name, a.name);
    EXPECT_EQ(o.scope, a.scope);
    EXPECT_DOUBLE_EQ(o.charge, a.charge);
    const std::string text = a.text;
    EXPECT_EQ(chargeAssignmentText(o).substr(0, text.find('=') + 1),
              text.substr(0, text.find('=') + 1));
  }
  for (const char* bad : {"Fe", "=3", "Fe=", "label:=3", "Fe=three"}) {
    try {
      parseChargeAssignment(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const CifError& e) {
      EXPECT_TRUE(e.commandLine) << bad;
    }
  }
}

TEST(GuessCharges, BalancesTheCommonStatesOrSaysWhyNot) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, double>> amounts;
    double fixed;
    std::vector<std::pair<std::string, int>> guess;
    const char* refusal;
  };
  const Case cases[] = {
      {"corundum", {{"Al", 12}, {"O", 18}}, 0, {{"Al", 3}, {"O", -2}}, nullptr},
      {"haematite takes iron's common state",
       {{"Fe", 4}, {"O", 6}},
       0,
       {{"Fe", 3}, {"O", -2}},
       nullptr},
      {"wustite its other one", {{"Fe", 4}, {"O", 4}}, 0, {{"Fe", 2}, {"O", -2}}, nullptr},
      {"the anion by electronegativity: SiC",
       {{"Si", 4}, {"C", 4}},
       0,
       {{"Si", 4}, {"C", -4}},
       nullptr},
      {"with a charge already known", {{"Ti", 2}}, -8, {{"Ti", 4}}, nullptr},
      {"magnetite has no single state per element",
       {{"Fe", 24}, {"O", 32}},
       0,
       {},
       "no combination of the common oxidation states of Fe, O"},
      {"delafossite: Cu+ Fe3+ and Cu2+ Fe2+ equally likely",
       {{"Cu", 3}, {"Fe", 3}, {"O", 6}},
       0,
       {},
       "two assignments are equally likely, Cu+1 Fe+3 O-2 and Cu+2 Fe+2 O-2"},
      {"an element the table lacks",
       {{"Og", 1}, {"O", 1}},
       0,
       {},
       "knows no oxidation states of Og"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    try {
      EXPECT_EQ(guessCharges(k.amounts, k.fixed), k.guess);
      EXPECT_EQ(k.refusal, nullptr);
    } catch (const CifError& e) {
      ASSERT_NE(k.refusal, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(k.refusal), std::string::npos) << e.what();
    }
  }
}

TEST(GuessCharges, FillsTheSitesAndIsOfferedInTheRefusal) {
  const std::string corundumLike = cubicCif(
      5.0, p1, "Al1 Al 0 0 0 1\nAl2 Al .5 .5 .5 1\nO1 O 0 0 .5 1\nO2 O 0 .5 0 1\nO3 O .5 0 0 1\n");
  check({"the guess charges every site and is reported per site",
         corundumLike,
         {"--guess-charges"},
         {},
         {"the cell neutral): Al1 +3 (bond-valence sum 0.60), Al2 +3 (no bond-valence sum), "
          "O1 -2 (anion), O2 -2 (anion), O3 -2 (anion)"},
         {"Al1 3 1", "Al2 3 1", "O1 -2 1", "O2 -2 1", "O3 -2 1"}});
  check({"without it the refusal offers the guessed command line",
         corundumLike,
         {},
         {"the charges --guess-charges would choose, to check and run:",
          "telva-cif case.cif --charge Al=3 --charge O=-2"},
         {},
         {}});
}

TEST(ConversionOptions, TakesItsOwnAndLeavesTheRest) {
  ConversionOptions options;
  const std::vector<std::string> rest = parseConversionOptions(
      {"a.cif", "--charge", "Fe=3+", "-o", "x.inp", "--radius", "0.9", "--qmax", "7", "--tolerance",
       "1e-6", "--strict", "--block", "b", "--guess-charges", "--at-sites", "--grid", "10"},
      options);
  EXPECT_EQ(rest, (std::vector<std::string>{"a.cif", "-o", "x.inp", "--grid", "10"}));
  ASSERT_EQ(options.charges.size(), 1u);
  EXPECT_EQ(options.charges[0].charge, 3);
  EXPECT_EQ(options.radius, 0.9);
  EXPECT_EQ(options.qmax, 7);
  EXPECT_EQ(options.tolerance, 1e-6);
  EXPECT_TRUE(options.strict && options.guessCharges && options.atSites);
  EXPECT_EQ(options.block, "b");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--radius"},
                                              {"--radius", "x"},
                                              {"--tolerance", "0"},
                                              {"--charge", "Fe"}}) {
    ConversionOptions o;
    try {
      parseConversionOptions(bad, o);
      ADD_FAILURE() << bad[0];
    } catch (const CifError& e) {
      EXPECT_TRUE(e.commandLine) << e.what();
    }
  }
}

TEST(Conversion, CarriesWhatEachRecordStandsForAndTheCrystal) {
  const std::string text =
      cubicCif(4.2, fm3m, "Mg1 Mg2+ 0 0 0 0.3\nFe1 Fe3+ 0 0 0 0.6\nO1 O2- .5 .5 .5 1\n",
               "_cell_formula_units_Z 4\n");
  const Conversion c =
      convertCrystal(readCifText(text, "x.cif"), withOptions({"--charge", "O=-2.4"}));
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[0].element, "Fe"); // the majority species
  EXPECT_DOUBLE_EQ(c.records[0].occupancy, 0.9);
  EXPECT_EQ(c.records[0].multiplicity, 4);
  EXPECT_EQ(c.records[0].members, (std::vector<std::string>{"Mg1", "Fe1"}));
  EXPECT_EQ(c.records[1].element, "O");
  EXPECT_EQ(c.formulaSum, "X");
  EXPECT_EQ(c.formulaUnitsZ, 4.0);
  EXPECT_EQ(c.siteCount, 3);
  // The crystal is what was written, as the program reads it back.
  const InputHead head = cif_test::readBack(c.inputText);
  EXPECT_EQ(c.crystal.symOps.size(), head.symOps.size());
  EXPECT_EQ(c.crystal.inversionAtOrigin, head.inversionAtOrigin != 0);
  ASSERT_EQ(c.crystal.sites.size(), head.sites.size());
  for (std::size_t i = 0; i < head.sites.size(); ++i) {
    EXPECT_EQ(c.crystal.sites[i].label, head.sites[i].label);
    EXPECT_EQ(c.crystal.sites[i].charge, head.sites[i].charge);
    EXPECT_EQ(c.crystal.sites[i].W, head.sites[i].W);
  }
  EXPECT_DOUBLE_EQ(c.crystal.sites[0].charge, 0.3 * 2 + 0.6 * 3);
}

TEST(Conversion, FromAFileNamesTheFileInEveryRefusal) {
  test::TempDir work;
  test::writeFile(work / "a.cif", cubicCif(5.64, fm3m, "Na1 Na 0 0 0 1\nCl1 Cl- .5 .5 .5 1\n"));
  try {
    convertCifFile(work / "a.cif", {});
    ADD_FAILURE() << "accepted";
  } catch (const CifError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(work / "a.cif: 1 site has no known charge", 0), 0u)
        << e.what();
    EXPECT_FALSE(e.commandLine);
  }
  // A charge that names no site is told and left out (the same charges given
  // to a batch of CIFs); with --strict it refuses the CIF, naming the file.
  ConversionOptions options;
  options.charges = {{"Xx", 1}, {"Na", 1}};
  const Conversion unused = convertCifFile(work / "a.cif", options);
  ASSERT_EQ(unused.warnings.size(), 1u);
  EXPECT_EQ(unused.warnings[0], "no site of element Xx; --charge Xx=1 not used");
  options.strict = true;
  try {
    convertCifFile(work / "a.cif", options);
    ADD_FAILURE() << "accepted";
  } catch (const CifError& e) {
    EXPECT_EQ(std::string(e.what()),
              (work / "a.cif") + ": no site of element Xx; --charge Xx=1 not used (--strict)");
    EXPECT_FALSE(e.commandLine);
  }
  EXPECT_THROW(convertCifFile(work / "none.cif", {}), CifError);
  EXPECT_EQ(convertCifFile(work / "a.cif", withOptions({"--charge", "Na=1"})).sites.size(), 2u);
}

TEST(Conversion, TheListingsCapacitiesHoldUnlessTurnedOff) {
  // 302 sites in P1: over the listing program's 300, within the library's reach.
  std::string rows;
  for (int i = 0; i < 302; ++i)
    rows += (i % 2 ? "Cl" : "Na") + std::to_string(i) + (i % 2 ? " Cl- " : " Na+ ") +
            std::to_string(0.05 * (i % 20)) + " " + std::to_string(0.05 * ((i / 20) % 20)) +
            " 0.5 1\n";
  const CifCrystal crystal = readCifText(cubicCif(20.0, p1, rows), "many.cif");
  try {
    convertCrystal(crystal, {});
    ADD_FAILURE() << "accepted";
  } catch (const CifError& e) {
    EXPECT_NE(std::string(e.what()).find("302 atom sites"), std::string::npos) << e.what();
  }
  ConversionOptions unlimited;
  unlimited.listingCapacities = false;
  EXPECT_EQ(convertCrystal(crystal, unlimited).sites.size(), 302u);
}

} // namespace
} // namespace telva
