// Runs the real program on every case folder under tests/end_to_end/cases:
// input.inp is the input, expected.lst the whole listing byte for byte,
// expected_status the exit status (0 when absent) and expected_stderr the
// standard error (empty when absent). The program runs in a scratch folder
// holding a copy of input.inp, with the relative paths input.inp and
// listing.lst, so that diagnostics do not depend on where the tree lies.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

const fs::path casesDir = fs::path(TELVA_SOURCE_DIR) / "tests" / "end_to_end" / "cases";

std::vector<std::string> caseNames() {
  return test::caseFolders(casesDir);
}

// Runs one case; failures name the case.
void checkCase(const std::string& name) {
  SCOPED_TRACE("case " + name);
  const fs::path caseDir = casesDir / name;
  test::TempDir work;
  fs::copy_file(caseDir / "input.inp", work.path() / "input.inp");

  const auto result = test::runBinary(TELVA_BINARY, {"input.inp", "listing.lst"}, work.path());

  int expectedStatus = 0;
  if (fs::exists(caseDir / "expected_status"))
    expectedStatus = std::stoi(test::readFile(caseDir / "expected_status"));
  std::string expectedErr;
  if (fs::exists(caseDir / "expected_stderr"))
    expectedErr = test::readFile(caseDir / "expected_stderr");

  EXPECT_EQ(result.status, expectedStatus);
  EXPECT_EQ(result.err, expectedErr);
  EXPECT_EQ(result.out, "");
  ASSERT_TRUE(fs::exists(work.path() / "listing.lst"));
  EXPECT_EQ(test::readFile(work / "listing.lst"), test::readFile(caseDir / "expected.lst"));
  EXPECT_EQ(test::readFile(work / "input.inp"), test::readFile(caseDir / "input.inp"));
}

// One test over all case folders, found when it runs, so that a new folder
// is checked without rebuilding anything.
TEST(EndToEnd, EveryCaseGivesItsExpectedListingStatusAndDiagnostics) {
  const std::vector<std::string> names = caseNames();
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names)
    checkCase(name);
}

// Every example of examples/ with its expected listing in
// tests/end_to_end/examples/<name>.lst.
TEST(EndToEnd, EveryExampleGivesItsExpectedListing) {
  const fs::path expectedDir = fs::path(TELVA_SOURCE_DIR) / "tests" / "end_to_end" / "examples";
  int examples = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(TELVA_SOURCE_DIR) / "examples")) {
    if (entry.path().extension() != ".inp") continue;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE("example " + name);
    ++examples;
    test::TempDir work;
    const auto result =
        test::runBinary(TELVA_BINARY, {entry.path().string(), "listing.lst"}, work.path());
    EXPECT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(fs::exists(expectedDir / (name + ".lst")));
    EXPECT_EQ(test::readFile(work / "listing.lst"), test::readFile(expectedDir / (name + ".lst")));
  }
  EXPECT_GE(examples, 8);
}

} // namespace
} // namespace telva
