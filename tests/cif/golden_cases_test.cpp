// The converter's golden cases: each folder of tests/cif/cases holds a CIF
// (and whatever else its command line names), `args` (one argument a line),
// and what telva-cif must give: `expected.inp` (standard output, or the file
// named by -o), `expected.err` and `status`. Each case runs in a scratch copy
// of its folder. With TELVA_UPDATE_CIF_CASES=1 in the environment the runner
// writes what it got as the expected files instead (review the diff).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

const fs::path casesDir = fs::path(TELVA_SOURCE_DIR) / "tests" / "cif" / "cases";

std::vector<std::string> caseNames() {
  return test::caseFolders(casesDir);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

class CifCase : public testing::TestWithParam<std::string> {};

TEST_P(CifCase, GivesItsExpectedInputErrorTextAndStatus) {
  const fs::path folder = casesDir / GetParam();
  const std::vector<std::string> args = linesOf(test::readFile((folder / "args").string()));
  test::TempDir work;
  for (const auto& entry : fs::directory_iterator(folder))
    fs::copy(entry.path(), work.path() / entry.path().filename());
  const test::RunResult result = test::runBinary(TELVA_CIF_BINARY, args, work.path());
  std::string written = result.out;
  const auto output = std::find(args.begin(), args.end(), "-o");
  if (output != args.end() && output + 1 != args.end()) {
    const fs::path file = work.path() / *(output + 1);
    written = fs::exists(file) ? test::readFile(file.string()) : "";
  }
  const std::string status = std::to_string(result.status) + "\n";
  if (const char* update = std::getenv("TELVA_UPDATE_CIF_CASES"); update && *update == '1') {
    test::writeFile((folder / "expected.inp").string(), written);
    test::writeFile((folder / "expected.err").string(), result.err);
    test::writeFile((folder / "status").string(), status);
    return;
  }
  EXPECT_EQ(status, test::readFile((folder / "status").string()));
  EXPECT_EQ(result.err, test::readFile((folder / "expected.err").string()));
  EXPECT_EQ(written, test::readFile((folder / "expected.inp").string()));
}

INSTANTIATE_TEST_SUITE_P(Cases, CifCase, testing::ValuesIn(caseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The manual's examples of a conversion (docs/programs/telva-cif.rst) show
// the standard error of their cases line for line, so that the text it shows
// is the program's (its doctests also run each shown command).
TEST(CifCaseManual, ShowsTheStandardErrorOfItsExample) {
  const std::string page =
      test::readFile((fs::path(TELVA_SOURCE_DIR) / "docs" / "programs" / "telva-cif.rst").string());
  for (const char* name :
       {"readme_corundum", "readme_magnetite", "refuse_missing_charges_offers_guess"})
    for (const std::string& line :
         linesOf(test::readFile((casesDir / name / "expected.err").string())))
      EXPECT_NE(page.find(line), std::string::npos) << name << ": " << line;
}

// The README's one conversion shows its case's standard error as well.
TEST(CifCaseReadme, ShowsTheStandardErrorOfItsExample) {
  const std::string readme = test::readFile((fs::path(TELVA_SOURCE_DIR) / "README.md").string());
  for (const std::string& line :
       linesOf(test::readFile((casesDir / "readme_corundum" / "expected.err").string())))
    EXPECT_NE(readme.find(line), std::string::npos) << line;
}

} // namespace
} // namespace telva
