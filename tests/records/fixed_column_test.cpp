// Field rules of fixed-column records, for writing and for reading.
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "records/fixed_column.hpp"

namespace telva {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// ---- Writing single fields ----

struct WriteCase {
  Field field;
  double value;
  std::string expected;
};

std::string formatField(const Field& field, double value) {
  switch (field.kind) {
  case FieldKind::integer:
    return formatInteger(static_cast<std::int64_t>(value), field.width);
  case FieldKind::fixedPoint:
    return formatFixed(value, field.width, field.decimals);
  default:
    return formatScientific(value, field.width, field.decimals);
  }
}

void expectWritten(const std::vector<WriteCase>& cases) {
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value << " width " << c.field.width
                                    << " decimals " << c.field.decimals);
    EXPECT_EQ(formatField(c.field, c.value), c.expected);
  }
}

// Every numeric field of the listing, with -12.5 and the values that show
// where the field is tight.
TEST(WriteField, EveryListingFieldWithItsWorkedValues) {
  expectWritten({
      // radius and range
      {fixedField(6, 2), -12.5, "-12.50"},
      {fixedField(6, 2), 0.7, "  0.70"},
      {fixedField(6, 2), 1234.5, "******"},
      // counts
      {integerField(4), -12, " -12"},
      {integerField(4), 0, "   0"},
      // lattice lengths and angles
      {fixedField(9, 4), -12.5, " -12.5000"},
      {fixedField(9, 4), 4.2, "   4.2000"},
      {fixedField(9, 3), -12.5, "  -12.500"},
      {fixedField(9, 3), 90, "   90.000"},
      // symmetry translations
      {fixedField(13, 6), -12.5, "   -12.500000"},
      {fixedField(13, 6), 0.5, "     0.500000"},
      // axis codes
      {integerField(2), -12, "**"},
      {integerField(2), -3, "-3"},
      {integerField(2), 2, " 2"},
      // index limits and entry counts
      {integerField(6), -12, "   -12"},
      {integerField(6), 6, "     6"},
      {integerField(10), 1183, "      1183"},
      {integerField(8), 10000000, "10000000"},
      {integerField(8), 100000000, "********"},
      // charge, W, x, y, z
      {fixedField(9, 6), -12.5, "*********"},
      {fixedField(9, 6), -0.5, "-0.500000"},
      {fixedField(9, 6), 0.25, " 0.250000"},
      // potentials
      {scientificField(15, 6), -12.5, "  -1.250000E+01"},
      {scientificField(15, 6), 0.25, "   2.500000E-01"},
      {scientificField(15, 6), 0, "   0.000000E+00"},
      {scientificField(15, 6), 1e-100, "   1.000000-100"},
      // energies
      {fixedField(13, 6), -12.5, "   -12.500000"},
      {fixedField(13, 5), -12.5, "    -12.50000"},
      {fixedField(11, 6), -12.5, " -12.500000"},
      // distance
      {fixedField(8, 4), -12.5, "-12.5000"},
      {fixedField(8, 4), 0.25, "  0.2500"},
  });
}

TEST(WriteField, LeadingZeroIsLeftOutOnlyWhenTheFieldLacksRoomForIt) {
  expectWritten({
      {fixedField(8, 6), -0.5, "-.500000"},
      {fixedField(8, 6), 0.5, "0.500000"},
      {fixedField(7, 6), 0.5, ".500000"},
      {fixedField(7, 6), -0.5, "*******"},
      {fixedField(6, 6), 0.5, "******"},
      {fixedField(8, 6), -0.9999999, "********"}, // rounds to -1.000000: no 0 to leave out
      {fixedField(6, 2), 999.99, "999.99"},
      {fixedField(6, 2), 999.996, "******"}, // rounds up to 1000.00
      {fixedField(6, 2), -99.99, "-99.99"},
      {fixedField(6, 2), -99.996, "******"},
  });
}

// Rounding is that of the exact binary value, ties to even; a negative value
// that rounds to zero keeps its sign.
TEST(WriteField, RoundsTheExactBinaryValue) {
  expectWritten({
      {fixedField(6, 2), 0.755, "  0.76"}, // the double lies just above 0.755
      {fixedField(6, 2), 2.675, "  2.67"}, // the double lies just below 2.675
      {fixedField(6, 2), 0.125, "  0.12"}, // exact tie: to even
      {fixedField(6, 2), 0.375, "  0.38"},
      {fixedField(6, 2), -0.001, " -0.00"},
      {fixedField(9, 6), -1e-9, "-0.000000"},
      {fixedField(9, 4), 1e-9, "   0.0000"},
      {scientificField(15, 6), 9.9999996, "   1.000000E+01"},
      {scientificField(15, 6), 1.0000015, "   1.000001E+00"}, // just below the tie in binary
      {scientificField(15, 6), 1.0000005, "   1.000001E+00"}, // just above it
      {scientificField(15, 6), 10000005, "   1.000000E+07"},  // exact ties: to even
      {scientificField(15, 6), 10000015, "   1.000002E+07"},
      {scientificField(15, 6), 1.5e200, "   1.500000+200"},
      {scientificField(15, 6), -2.5e-300, "  -2.500000-300"},
      {scientificField(15, 6), 1e99, "   1.000000E+99"},
      {scientificField(15, 6), -3e-5, "  -3.000000E-05"},
  });
}

TEST(WriteField, NonFiniteValuesAreNamedOrStarred) {
  expectWritten({
      {fixedField(9, 4), inf, " Infinity"},
      {fixedField(9, 4), -inf, "-Infinity"},
      {fixedField(9, 4), nan, "      NaN"},
      {fixedField(8, 4), -inf, "********"},
      {fixedField(6, 2), inf, "******"},
      {fixedField(6, 2), nan, "   NaN"},
      {scientificField(15, 6), inf, "       Infinity"},
      {scientificField(15, 6), -inf, "      -Infinity"},
      {scientificField(15, 6), nan, "            NaN"},
  });
}

// ---- Writing records ----

TEST(WriteRecord, FieldsTakeExactlyTheirWidthAndTheLineEnds) {
  const Layout layout = {literal(" x:"), fixedField(6, 2), integerField(3), textField(5)};
  const std::vector<Value> values = {0.5, std::int64_t{7}, std::string("ab")};
  EXPECT_EQ(formatRecord(layout, values), " x:  0.50  7ab   \n");
}

TEST(WriteRecord, LayoutIsRepeatedOnANewLineWhileValuesRemain) {
  const Layout layout = {literal(" "), integerField(2), integerField(2)};
  const std::vector<Value> values = {std::int64_t{1}, std::int64_t{2}, std::int64_t{3},
                                     std::int64_t{4}, std::int64_t{5}};
  EXPECT_EQ(formatRecord(layout, values), "  1 2\n  3 4\n  5\n");
}

TEST(WriteRecord, WithoutValuesStopsAtTheFirstValueField) {
  EXPECT_EQ(formatRecord({literal(" "), fixedField(13, 6), integerField(2)}), " \n");
  EXPECT_EQ(formatRecord({recordEnd(), literal(" Heading"), recordEnd()}), "\n Heading\n\n");
  EXPECT_EQ(formatRecord({literal(" a"), recordEnd(), literal(" b"), recordEnd()}), " a\n b\n\n");
  EXPECT_EQ(formatRecord({skip(3), literal("|")}), "   |\n");
}

// ---- Reading single fields ----

struct FixedReadCase {
  std::string text;
  int decimals;
  double expected;
};

TEST(ReadField, FixedPointValues) {
  const std::vector<FixedReadCase> cases = {
      // implied decimals apply only without a point, wherever the digits stand
      {"  0.70", 2, 0.7},
      {"    70", 2, 0.7},
      {"70    ", 2, 0.7},
      {" 7.   ", 2, 7.0},
      {"  7E-1", 2, 0.007},
      {"0.7E1 ", 2, 7.0},
      {"0.5      ", 6, 0.5},
      {"500000   ", 6, 0.5},
      {"5        ", 6, 0.000005},
      {"1        ", 6, 0.000001},
      {"        1", 6, 0.000001},
      {"  0.755", 2, 0.755},
      {"     4", 6, 0.000004},
      {"      5.0", 6, 5.0},
      {"3", 1, 0.3},
      {"1 2 . 5", 3, 12.5}, // embedded blanks are ignored
      {"", 2, 0.0},
      {"      ", 2, 0.0},
      // signs and bare points
      {"-12.5", 2, -12.5},
      {"+12.5", 2, 12.5},
      {".5", 2, 0.5},
      {"-.5", 2, -0.5},
      {"7.", 2, 7.0},
      {"-7", 1, -0.7},
      // exponents: E or D, either case, signed or not, or a bare sign
      {"1.5E2", 6, 150.0},
      {"1.5e2", 6, 150.0},
      {"1.5D2", 6, 150.0},
      {"1.5d+2", 6, 150.0},
      {"1.5E-3", 6, 0.0015},
      {"1.5-3", 6, 0.0015},
      {"1.5+3", 6, 1500.0},
      {"-2.5-1", 6, -0.25},
      {"15E1", 2, 1.5},
      {"15-1", 2, 0.015},
      {"1 . 5 E - 3", 6, 0.0015},
      {"1E400", 0, inf},
      // one correctly rounded conversion of all the digits
      {"12345678901234567890", 0, 12345678901234567890.0},
      {"12345678901234567890", 10, 1234567890.1234567890},
      {"0.1234567890123456789", 0, 0.1234567890123456789},
      {"9007199254740993", 0, 9007199254740992.0}, // 2^53 + 1: tie to even
      {"123456789", 6, 123.456789},
      {"17", 3, 0.017},
  };
  for (const FixedReadCase& c : cases) {
    SCOPED_TRACE("text '" + c.text + "' decimals " + std::to_string(c.decimals));
    const auto value = parseFixedField(c.text, c.decimals);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, c.expected);
  }
  EXPECT_TRUE(std::signbit(*parseFixedField("-0.0", 2)));
}

TEST(ReadField, FixedPointConversionErrors) {
  for (const std::string text :
       {".",     "+",     "-",    "+.",  "-.",      "1E",  "1E+", "E5",    "D5",  "1.2.3",
        "1E5.5", "1E5E5", "1-",   "1+",  "1.5+-3",  "--1", "+-1", "1-2-3", "abc", "1x",
        "\t1",   "1\t",   "0x10", "1,5", "1e 2 3x", "nan", "inf", "1\r"}) {
    SCOPED_TRACE("text '" + text + "'");
    EXPECT_FALSE(parseFixedField(text, 2).has_value());
  }
}

TEST(ReadField, IntegerValues) {
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"  4", 4},
      {" 4 ", 4},
      {"4  ", 4},
      {" -1", -1},
      {"+5", 5},
      {"- 1", -1},
      {"1 2", 12},
      {"   ", 0},
      {"", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE("text '" + text + "'");
    const auto value = parseIntegerField(text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, expected);
  }
  for (const std::string text : {"-", "+", "1.0", "1.", "1E2", "1-", "a", "\t1", "2147483648",
                                 "-2147483649", "99999999999999999999", "--1"}) {
    SCOPED_TRACE("text '" + text + "'");
    EXPECT_FALSE(parseIntegerField(text).has_value());
  }
}

// ---- Reading records ----

std::vector<Value> readAll(std::string_view line, const Layout& layout, int wanted = 99) {
  RecordRead read = readFields(line, layout, wanted);
  EXPECT_FALSE(read.bad) << "line '" << line << "'";
  return read.values;
}

const Layout counts = {integerField(3), integerField(3), integerField(3)};
const Layout position = {fixedField(9, 6), fixedField(9, 6), fixedField(9, 6)};
const Layout site = {textField(8), skip(1), fixedField(9, 4), fixedField(9, 4)};

std::vector<Value> ints(std::initializer_list<std::int64_t> list) {
  return {list.begin(), list.end()};
}
std::vector<Value> reals(std::initializer_list<double> list) {
  return {list.begin(), list.end()};
}

TEST(ReadRecord, CommaEndsANumericFieldEarly) {
  EXPECT_EQ(readAll("2,1,0", counts), ints({2, 1, 0}));
  EXPECT_EQ(readAll("  4  1,0", counts), ints({4, 1, 0}));
  // A comma right after a full-width field gives the next field an empty text.
  EXPECT_EQ(readAll("  2,  1,  0", counts), ints({2, 0, 1}));
  EXPECT_EQ(readAll(",,7", counts), ints({0, 0, 7}));
  EXPECT_EQ(readAll("0.25,0.5,0.75", position), reals({0.25, 0.5, 0.75}));
  EXPECT_EQ(readAll("25,5,75", position), reals({0.000025, 0.000005, 0.000075}));
  // In a text field a comma is an ordinary character.
  EXPECT_EQ(readAll("Na,1,a,b 1.0,2.0", site),
            (std::vector<Value>{std::string("Na,1,a,b"), 1.0, 2.0}));
}

TEST(ReadRecord, ShortRecordsArePaddedAndLongOnesCut) {
  EXPECT_EQ(readAll("", counts), ints({0, 0, 0}));
  EXPECT_EQ(readAll("  1", counts), ints({1, 0, 0}));
  EXPECT_EQ(readAll("  1  2  3999garbage", counts), ints({1, 2, 3}));
  EXPECT_EQ(readAll("O2-", site), (std::vector<Value>{std::string("O2-     "), 0.0, 0.0}));
  EXPECT_EQ(readAll("LongLabel      1.0", site), // the ninth character is the skipped column
            (std::vector<Value>{std::string("LongLabe"), 1.0, 0.0}));
  // The skipped column is never looked at.
  EXPECT_EQ(readAll("Fe      x   1.0", site),
            (std::vector<Value>{std::string("Fe      "), 1.0, 0.0}));
}

TEST(ReadRecord, StopsAfterTheWantedValues) {
  EXPECT_EQ(readAll("  1  2  x", counts, 2), ints({1, 2})); // the third field is not read
  EXPECT_TRUE(readAll("x", counts, 0).empty());
}

TEST(ReadRecord, MalformedNumericFieldIsReported) {
  const RecordRead read = readFields("  1 x2  3", counts, 3);
  EXPECT_TRUE(read.bad);
  EXPECT_TRUE(readFields("  1\t 2", counts, 3).bad);
  EXPECT_TRUE(readFields("0.25;0.5", position, 3).bad);
}

} // namespace
} // namespace telva
