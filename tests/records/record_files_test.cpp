// The input file read record by record, with its step back, and the listing.
#include <cstdio>
#include <gtest/gtest.h>

#include "base/fault.hpp"
#include "records/record_files.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

using test::TempDir;

// An input file holding `content`, kept in a scratch folder.
struct InputFixture {
  TempDir dir;
  std::string path = dir / "input.inp";
  std::optional<InputFile> input;

  explicit InputFixture(const std::string& content) {
    test::writeFile(path, content);
    input.emplace(std::fopen(path.c_str(), "rb"), path);
  }
  std::vector<std::optional<std::string>> allRecords() {
    std::vector<std::optional<std::string>> records;
    do
      records.push_back(input->readRecord());
    while (records.back());
    return records;
  }
};

using Records = std::vector<std::optional<std::string>>;

TEST(InputFile, RecordsEndAtLineFeedsAndCarriageReturnsBelongToTheLineEnd) {
  struct Case {
    std::string content;
    Records expected;
  };
  const std::vector<Case> cases = {
      {"", {std::nullopt}},
      {"\n", {"", std::nullopt}},
      {"a\nb\n", {"a", "b", std::nullopt}},
      {"a\nb", {"a", "b", std::nullopt}}, // a final record without a line feed
      {"a\r\nb\r\n", {"a", "b", std::nullopt}},
      {"a\r\nb\r", {"a", "b", std::nullopt}}, // a carriage return ending the file
      {"a\rb\n", {"a\rb", std::nullopt}},     // elsewhere it is an ordinary byte
      {"a\r\r\n", {"a\r", std::nullopt}},
      {"\n\n  \n", {"", "", "  ", std::nullopt}},
      {"x\t\n", {"x\t", std::nullopt}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.content));
    InputFixture file(c.content);
    EXPECT_EQ(file.allRecords(), c.expected);
  }
}

TEST(InputFile, StepBackReadsTheLastRecordAgain) {
  InputFixture file("one\ntwo\nthree");
  EXPECT_EQ(file.input->readRecord(), "one");
  EXPECT_EQ(file.input->readRecord(), "two");
  file.input->stepBack();
  EXPECT_EQ(file.allRecords(), (Records{"two", "three", std::nullopt}));
}

TEST(InputFile, ReadingADirectoryIsAnOpenFailure) {
  TempDir dir;
  InputFile input(std::fopen(dir.path().c_str(), "rb"), "somewhere");
  try {
    input.readRecord();
    FAIL() << "no fault";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, 30);
    EXPECT_EQ(fault.text, "open failure, unit 5, file somewhere");
  }
}

const Layout pair = {fixedField(9, 6), fixedField(9, 6)};

TEST(ReadValues, MoreValuesThanTheLayoutTakeFurtherRecords) {
  InputFixture file("      0.1      0.2    999.0\n      0.3\n      0.5      0.6\nrest\n");
  const auto values = readValues(*file.input, pair, 5);
  ASSERT_TRUE(values);
  // Columns past the layout are ignored; a short record reads blanks.
  EXPECT_EQ(*values, (std::vector<Value>{0.1, 0.2, 0.3, 0.0, 0.5}));
  // The last record was only partly used, but the next read starts afresh.
  EXPECT_EQ(file.input->readRecord(), "rest");
}

TEST(ReadValues, NoValuesStillReadsOneRecord) {
  for (int count : {0, -1, -100}) {
    InputFixture file("not a number\nnext\n");
    const auto values = readValues(*file.input, pair, count);
    ASSERT_TRUE(values);
    EXPECT_TRUE(values->empty());
    EXPECT_EQ(file.input->readRecord(), "next");
  }
}

TEST(ReadValues, EndOfFileBeforeTheValuesAreComplete) {
  InputFixture empty("");
  EXPECT_FALSE(readValues(*empty.input, pair, 0));
  InputFixture shortFile("      0.1      0.2\n");
  EXPECT_FALSE(readValues(*shortFile.input, pair, 4));
}

TEST(ReadValues, BlankRecordIsNotTheEndOfTheFile) {
  InputFixture file("\n");
  EXPECT_EQ(readValues(*file.input, pair, 2), (std::vector<Value>{0.0, 0.0}));
}

TEST(ReadValues, MalformedFieldIsTheConversionFault) {
  InputFixture file("      0.1\n      0.2     0.3x\n");
  try {
    readValues(*file.input, pair, 4);
    FAIL() << "no fault";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, 64);
    EXPECT_EQ(fault.text, "input conversion error, unit 5, file " + file.path);
  }
}

TEST(Listing, AWriteThatFailsIsTheWriteFault) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  Listing listing(full, "/dev/full");
  try {
    listing.write(" line\n");
    FAIL() << "no fault";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, 38);
    EXPECT_EQ(fault.text, "write failure, unit 6, file /dev/full");
  }
}

TEST(Listing, ACloseThatCannotFlushIsTheWriteFault) {
  Listing listing(std::fopen("/dev/full", "wb"), "/dev/full");
  listing.write(" buffered\n");
  try {
    listing.close();
    FAIL() << "no fault";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, 38);
  }
}

} // namespace
} // namespace telva
