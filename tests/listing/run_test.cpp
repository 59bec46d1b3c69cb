// The run driver, called in-process: paths and the prompt, the two files, the
// banner and head echo, and every way a run can end with a fault.
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;
using test::lines;
using test::readFile;
using test::runInProcess;
using test::TempDir;
using test::writeFile;

const std::string banner = lines({
    " ********************************",
    " *            TELVA             *",
    " *   Electrostatic potentials   *",
    " *   and energies of crystals   *",
    " ********************************",
    "",
});

// A small crystal, record by record, and its echo, section by section.
const std::vector<std::string> crystal = {
    "Two ions in a cube",
    "  1.00  1.50",
    "  1  2  0",
    "      5.0      5.0      5.0     90.0     90.0     90.0",
    "        0.0 1 0        0.0 2 0        0.0 3 0",
    "Na        1.0      1.0      0.0      0.0      0.0",
    "Cl       -1.0      1.0      0.5      0.5      0.5",
};
const std::string titleEcho = " Two ions in a cube" + std::string(54, ' ') + "\n";
const std::string radiusEcho = lines(
    {" Radius of an ionic sphere:  1.00 \u00c5", " Reciprocal-space range:  1.50 \u00c5**(-1)"});
const std::string countsEcho =
    lines({" Number of symmetry operations:   1", " Number of atoms in the asymmetric unit:   2",
           " Inversion center at the origin:   0"});
const std::string latticeEcho =
    lines({"", " Lattice parameters:    5.0000   5.0000   5.0000   90.000   90.000   90.000"});
const std::string symOpEcho =
    lines({"", " Symmetry operations", "", "      0.000000 1 0     0.000000 2 0     0.000000 3 0"});
const std::string headEcho = banner + titleEcho + radiusEcho + countsEcho + latticeEcho + symOpEcho;

// The records of `crystal` from `first` to before `last`, with line ends.
std::string records(std::size_t first, std::size_t last, const std::string& end = "\n") {
  std::string text;
  for (std::size_t i = first; i < last && i < crystal.size(); ++i)
    text += crystal[i] + end;
  return text;
}
const std::string wholeCrystal = records(0, crystal.size());

struct RunFixture : testing::Test, test::CrystalFiles {
  std::string diagnostic(int number, const std::string& text) {
    return "telva: severe (" + std::to_string(number) + "): " + text + "\n";
  }
};

TEST_F(RunFixture, CompleteHeadIsEchoedAfterTheBanner) {
  const auto result = run(wholeCrystal);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(readFile(listing).starts_with(headEcho)) << readFile(listing);
}

TEST_F(RunFixture, CarriageReturnLineEndsReadTheSame) {
  const std::string positions = "     0.25     0.25     0.25\n      0.1\n";
  ASSERT_EQ(run(wholeCrystal + positions).status, 0);
  const std::string expected = readFile(listing);
  std::string crlf =
      records(0, crystal.size(), "\r\n") + "     0.25     0.25     0.25\r\n      0.1";
  for (const std::string& content : {crlf, crlf + "\r"}) {
    EXPECT_EQ(run(content).status, 0);
    EXPECT_EQ(readFile(listing), expected);
  }
}

TEST_F(RunFixture, FileEndingInsideTheHeadIsFatalWithTheEchoSoFar) {
  struct Case {
    std::string content;
    std::string listing;
  };
  const std::string noOps = lines({crystal[0], crystal[1], "  0  2  0", crystal[3]});
  const std::string noOpsEcho =
      banner + titleEcho + radiusEcho +
      lines({" Number of symmetry operations:   0", " Number of atoms in the asymmetric unit:   2",
             " Inversion center at the origin:   0"}) +
      latticeEcho;
  const std::vector<Case> cases = {
      {"", banner},
      {records(0, 1), banner + titleEcho},
      {records(0, 2), banner + titleEcho + radiusEcho},
      {records(0, 3), banner + titleEcho + radiusEcho + countsEcho},
      {records(0, 4), banner + titleEcho + radiusEcho + countsEcho + latticeEcho},
      // inside the sites: the operations have been echoed
      {records(0, 5), headEcho},
      {records(0, 6), headEcho},
      {records(0, 6).substr(0, records(0, 6).size() - 1), headEcho},
      // the one record read in place of an empty operation list is missing
      {noOps, noOpsEcho},
      // two operations announced, one given: nothing of them is echoed
      {lines({crystal[0], crystal[1], "  2  2  0", crystal[3], crystal[4]}),
       banner + titleEcho + radiusEcho +
           lines({" Number of symmetry operations:   2",
                  " Number of atoms in the asymmetric unit:   2",
                  " Inversion center at the origin:   0"}) +
           latticeEcho},
      // the one record read in place of an empty site list is missing
      {records(0, 2) + "  1  0  0\n" + records(3, 5),
       banner + titleEcho + radiusEcho +
           lines({" Number of symmetry operations:   1",
                  " Number of atoms in the asymmetric unit:   0",
                  " Inversion center at the origin:   0"}) +
           latticeEcho + symOpEcho},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    const auto result = run(c.content);
    EXPECT_EQ(result.status, 24);
    EXPECT_EQ(result.err, diagnostic(24, "end-of-file during read, unit 5, file " + input));
    EXPECT_EQ(readFile(listing), c.listing);
  }
}

TEST_F(RunFixture, MalformedNumberIsFatalWithTheEchoSoFar) {
  struct Case {
    std::size_t record;
    std::string text;
    std::string listing;
  };
  const std::vector<Case> cases = {
      {1, "  1.00  1.5x", banner + titleEcho},
      {2, "  1  2  .", banner + titleEcho + radiusEcho},
      {2, "  1\t 2  0", banner + titleEcho + radiusEcho},
      {3, "      5.0      5.0      5.0     90.0     90.0     9O.0",
       banner + titleEcho + radiusEcho + countsEcho},
      {4, "        0.0 1 0        0.0 2 0        0.0 3 O",
       banner + titleEcho + radiusEcho + countsEcho + latticeEcho},
      {6, "Cl       -1.0      1.0      0.5      0.5      0.5E", headEcho},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> content = crystal;
    content[c.record] = c.text;
    std::string text;
    for (const std::string& record : content)
      text += record + "\n";
    const auto result = run(text);
    EXPECT_EQ(result.status, 64);
    EXPECT_EQ(result.err, diagnostic(64, "input conversion error, unit 5, file " + input));
    EXPECT_EQ(readFile(listing), c.listing);
  }
}

TEST_F(RunFixture, MalformedPositionIsFatalAtTheProbe) {
  const auto result = run(wholeCrystal + "      0.5      0.5     0.5x\n");
  EXPECT_EQ(result.status, 64);
  EXPECT_EQ(result.err, diagnostic(64, "input conversion error, unit 5, file " + input));
  EXPECT_TRUE(readFile(listing).starts_with(headEcho));
}

TEST_F(RunFixture, CountsAboveTheCapacitiesAreFatalAfterTheCountsEcho) {
  struct Case {
    std::string counts;
    std::string message;
    std::string countsEcho;
  };
  const std::vector<Case> cases = {
      {"193  2  0", "too many symmetry operations: 193 (at most 192)",
       lines({" Number of symmetry operations: 193", " Number of atoms in the asymmetric unit:   2",
              " Inversion center at the origin:   0"})},
      {"  1301  0", "too many atoms in the asymmetric unit: 301 (at most 300)",
       lines({" Number of symmetry operations:   1", " Number of atoms in the asymmetric unit: 301",
              " Inversion center at the origin:   0"})},
      {"999999  1", "too many symmetry operations: 999 (at most 192)",
       lines({" Number of symmetry operations: 999", " Number of atoms in the asymmetric unit: 999",
              " Inversion center at the origin:   1"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counts);
    const auto result = run(records(0, 2) + c.counts + "\n" + records(3, 7));
    EXPECT_EQ(result.status, 65);
    EXPECT_EQ(result.err, diagnostic(65, c.message + ", unit 5, file " + input));
    EXPECT_EQ(readFile(listing), banner + titleEcho + radiusEcho + c.countsEcho);
  }
  // Counts at the capacities are taken: these files end, later, in the lattice.
  for (const std::string counts : {"192  1  0", "  1300  0"}) {
    EXPECT_EQ(run(records(0, 2) + counts + "\n").status, 24) << counts;
  }
}

TEST_F(RunFixture, EmptyOperationAndSiteListsEachSkipOneRecord) {
  const std::string content = records(0, 2) + "  0  0  0\n" + crystal[3] + "\n" +
                              "skipped: not an operation\n" + "skipped: not a site\n";
  const auto result = run(content);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const std::string expected =
      banner + titleEcho + radiusEcho +
      lines({" Number of symmetry operations:   0", " Number of atoms in the asymmetric unit:   0",
             " Inversion center at the origin:   0"}) +
      latticeEcho + lines({"", " Symmetry operations", "", " "});
  EXPECT_TRUE(readFile(listing).starts_with(expected)) << readFile(listing);
}

TEST_F(RunFixture, ExistingLongerListingIsReplaced) {
  writeFile(input, records(0, 3));
  writeFile(listing, std::string(100000, 'x') + "\n");
  EXPECT_EQ(runInProcess({input, listing}).status, 24);
  EXPECT_EQ(readFile(listing), banner + titleEcho + radiusEcho + countsEcho);
}

TEST_F(RunFixture, MissingInputIsFatalBeforeTheListingExists) {
  for (const std::string& missing : {dir / "nothing.inp", dir / "no/folder/x.inp"}) {
    const auto result = runInProcess({missing, listing});
    EXPECT_EQ(result.status, 29);
    EXPECT_EQ(result.err, diagnostic(29, "file not found, unit 5, file " + missing));
    EXPECT_FALSE(fs::exists(listing));
  }
}

TEST_F(RunFixture, InputThatCannotBeReadIsAnOpenFailure) {
  const auto result = runInProcess({dir.path().string(), listing});
  EXPECT_EQ(result.status, 30);
  EXPECT_EQ(result.err, diagnostic(30, "open failure, unit 5, file " + dir.path().string()));
  EXPECT_FALSE(fs::exists(listing));
}

TEST_F(RunFixture, ListingThatCannotBeCreatedIsAnOpenFailure) {
  writeFile(input, wholeCrystal);
  for (const std::string& bad : {dir / "no/such/folder.lst", dir.path().string()}) {
    const auto result = runInProcess({input, bad});
    EXPECT_EQ(result.status, 30);
    EXPECT_EQ(result.err, diagnostic(30, "open failure, unit 6, file " + bad));
  }
}

TEST_F(RunFixture, ListingThatWouldReplaceTheInputIsRefused) {
  writeFile(input, wholeCrystal);
  fs::create_hard_link(input, dir / "hard.inp");
  fs::create_symlink(input, dir / "soft.inp");
  const std::string relative = dir / "../" + dir.path().filename().string() + "/crystal.inp";
  for (const std::string& same : {input, relative, dir / "hard.inp", dir / "soft.inp"}) {
    SCOPED_TRACE(same);
    const auto result = runInProcess({input, same});
    EXPECT_EQ(result.status, 31);
    EXPECT_EQ(result.err,
              diagnostic(31, "listing file would replace the input file, unit 6, file " + same));
    EXPECT_EQ(readFile(input), wholeCrystal);
  }
}

TEST_F(RunFixture, ListingThatCannotBeWrittenIsAWriteFailure) {
  writeFile(input, wholeCrystal);
  const auto result = runInProcess({input, "/dev/full"});
  EXPECT_EQ(result.status, 38);
  EXPECT_EQ(result.err, diagnostic(38, "write failure, unit 6, file /dev/full"));
}

// ---- Paths and the prompt ----

const std::string prompt5 = "File name missing or blank - please enter file name\nUNIT 5? ";
const std::string prompt6 = "File name missing or blank - please enter file name\nUNIT 6? ";

TEST_F(RunFixture, NoArgumentsAskForTheInputThenTheListing) {
  writeFile(input, wholeCrystal);
  const auto result = runInProcess({}, input + "\n" + listing + "\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, prompt5 + prompt6);
  EXPECT_TRUE(readFile(listing).starts_with(headEcho));
}

TEST_F(RunFixture, AnswersLoseTheirBlanksAndEmptyAnswersAskAgain) {
  writeFile(input, wholeCrystal);
  const auto result = runInProcess({"", "   "}, "\n   \n   " + input + "  \n\r\n" + listing);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, prompt5 + prompt5 + prompt5 + prompt6 + prompt6);
  EXPECT_TRUE(readFile(listing).starts_with(headEcho));
}

TEST_F(RunFixture, OnlyTheInputArgumentAsksForTheListing) {
  writeFile(input, wholeCrystal);
  const auto result = runInProcess({input}, listing + "\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, prompt6);
  EXPECT_EQ(readFile(input), wholeCrystal);
  EXPECT_TRUE(readFile(listing).starts_with(headEcho));
}

TEST_F(RunFixture, StandardInputEndingAtThePromptIsFatal) {
  writeFile(input, wholeCrystal);
  auto result = runInProcess({}, "");
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.out, prompt5);
  EXPECT_EQ(result.err, diagnostic(24, "end-of-file during read, unit 5, file stdin"));

  result = runInProcess({input}, "\n  \n");
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.out, prompt6 + prompt6 + prompt6);
  EXPECT_EQ(result.err, diagnostic(24, "end-of-file during read, unit 6, file stdin"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(RunFixture, MissingInputIsReportedBeforeTheListingIsAskedFor) {
  const auto result = runInProcess({}, (dir / "nothing.inp") + "\n" + listing + "\n");
  EXPECT_EQ(result.status, 29);
  EXPECT_EQ(result.out, prompt5);
}

TEST_F(RunFixture, ArgumentIsThePathWithoutItsTrailingBlanks) {
  writeFile(input, wholeCrystal);
  const auto result = runInProcess({input + "   ", listing + " ", "ignored", "extra"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(readFile(listing).starts_with(headEcho));
}

TEST_F(RunFixture, LongPathsAreNotCut) {
  fs::path deep = dir.path();
  for (char name : {'a', 'b', 'c'})
    deep /= std::string(200, name);
  fs::create_directories(deep);
  const std::string longInput = (deep / "crystal.inp").string();
  const std::string longListing = (deep / "crystal.lst").string();
  ASSERT_GT(longListing.size(), 600u);
  writeFile(longInput, records(0, 2));
  const auto result = runInProcess({longInput, longListing});
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.err, diagnostic(24, "end-of-file during read, unit 5, file " + longInput));
  EXPECT_EQ(readFile(longListing), banner + titleEcho + radiusEcho);
}

} // namespace
} // namespace telva
