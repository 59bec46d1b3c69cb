// telva-order's golden cases: each folder of tests/order/cases holds a CIF,
// `args` (one argument a line) and what the program must give: `status`,
// `expected.err` and, for a run that writes, `expected.csv` (out/orderings.csv).
// Each case runs in a scratch copy of its folder. With
// TELVA_UPDATE_ORDER_CASES=1 the runner writes what it got instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

const fs::path casesDir = fs::path(TELVA_SOURCE_DIR) / "tests" / "order" / "cases";

class OrderCase : public testing::TestWithParam<std::string> {};

TEST_P(OrderCase, GivesItsExpectedFilesErrorTextAndStatus) {
  const fs::path folder = casesDir / GetParam();
  std::vector<std::string> args;
  std::istringstream in(test::readFile((folder / "args").string()));
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) args.push_back(line);
  test::TempDir work;
  for (const auto& entry : fs::directory_iterator(folder))
    fs::copy(entry.path(), work.path() / entry.path().filename());
  const test::RunResult result = test::runBinary(TELVA_ORDER_BINARY, args, work.path());
  const fs::path csv = work.path() / "out" / "orderings.csv";
  const std::string written = fs::exists(csv) ? test::readFile(csv.string()) : "";
  const std::string status = std::to_string(result.status) + "\n";
  if (const char* update = std::getenv("TELVA_UPDATE_ORDER_CASES"); update && *update == '1') {
    test::writeFile((folder / "expected.err").string(), result.err);
    test::writeFile((folder / "status").string(), status);
    if (!written.empty()) test::writeFile((folder / "expected.csv").string(), written);
    return;
  }
  EXPECT_EQ(status, test::readFile((folder / "status").string()));
  EXPECT_EQ(result.err, test::readFile((folder / "expected.err").string()));
  const fs::path expectedCsv = folder / "expected.csv";
  EXPECT_EQ(written, fs::exists(expectedCsv) ? test::readFile(expectedCsv.string()) : "");
  if (result.status != 0) {
    // A refusal writes nothing.
    EXPECT_FALSE(fs::exists(work.path() / "out" / "summary.json"));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, OrderCase, testing::ValuesIn(test::caseFolders(casesDir)),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

} // namespace
} // namespace telva
