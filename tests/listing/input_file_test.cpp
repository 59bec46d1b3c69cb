// The head of the input file (values stored, echo written) and the position
// records after it.
#include <cstdio>
#include <gtest/gtest.h>

#include "base/fault.hpp"
#include "listing/input_file.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

using test::lines;
using test::TempDir;

// Reads the head of `content`; keeps the input open for the position records.
struct HeadFixture {
  TempDir dir;
  std::string inputPath = dir / "input.inp";
  std::string listingPath = dir / "listing.lst";
  std::optional<InputFile> input;
  InputHead head;
  std::string echo;

  explicit HeadFixture(const std::string& content) {
    test::writeFile(inputPath, content);
    input.emplace(std::fopen(inputPath.c_str(), "rb"), inputPath);
    Listing listing(std::fopen(listingPath.c_str(), "wb"), listingPath);
    head = readHead(*input, listing);
    listing.close();
    echo = test::readFile(listingPath);
  }
};

const std::string twoOpsHead = lines({
    "Hexagonal test cell", "0.755 70", "2,2,1",
    "3.1234567"
    "3.1234567"
    "5.0000004"
    "  90.0004"
    "  90.0006"
    "    120.0",
    "        0.0 1 0        0.0 2 0        0.0 3 0",
    "   0.000000-2 0   0.000000 1-2   0.500000 3 0",
    "Na,1    "
    " "
    "     +1.0"
    "      0.5"
    "     0.25"
    "      0.5"
    "     0.75",
    "O2-     "
    "x"
    "   -20000"
    "    10000"
    "    1.5-3"
    ".5,-.25", // the skipped column holds x
});

TEST(ReadHead, StoresTheValuesAsRead) {
  HeadFixture f(twoOpsHead);
  const InputHead& h = f.head;
  EXPECT_EQ(h.title, "Hexagonal test cell" + std::string(72 - 19, ' '));
  EXPECT_EQ(h.radius, 0.755);
  EXPECT_EQ(h.range, 0.70); // no point: two implied decimals
  EXPECT_EQ(h.symOpCount, 2);
  EXPECT_EQ(h.siteCount, 2);
  EXPECT_EQ(h.inversionAtOrigin, 1);
  EXPECT_EQ(h.lattice,
            (std::array<double, 6>{3.1234567, 3.1234567, 5.0000004, 90.0004, 90.0006, 120.0}));
  ASSERT_EQ(h.symOps.size(), 2u);
  const SymOp& op = h.symOps[1];
  EXPECT_EQ(op.rows[0].translation, 0.0);
  EXPECT_EQ(op.rows[0].code1, -2);
  EXPECT_EQ(op.rows[0].code2, 0);
  EXPECT_EQ(op.rows[1].code1, 1);
  EXPECT_EQ(op.rows[1].code2, -2);
  EXPECT_EQ(op.rows[2].translation, 0.5);
  EXPECT_EQ(op.rows[2].code1, 3);
  EXPECT_EQ(h.symOps[0].rows[1].code1, 2);
  ASSERT_EQ(h.sites.size(), 2u);
  EXPECT_EQ(h.sites[0].label, "Na,1    "); // a comma in a label is part of it
  EXPECT_EQ(h.sites[0].charge, 1.0);
  EXPECT_EQ(h.sites[0].W, 0.5);
  EXPECT_EQ(h.sites[0].x, 0.25);
  EXPECT_EQ(h.sites[0].y, 0.5);
  EXPECT_EQ(h.sites[0].z, 0.75);
  EXPECT_EQ(h.sites[1].label, "O2-     ");
  EXPECT_EQ(h.sites[1].charge, -2.0); // four implied decimals
  EXPECT_EQ(h.sites[1].W, 1.0);
  EXPECT_EQ(h.sites[1].x, 0.0015);
  EXPECT_EQ(h.sites[1].y, 0.5);
  EXPECT_EQ(h.sites[1].z, -0.25);
}

TEST(ReadHead, EchoesAllButTheSites) {
  HeadFixture f(twoOpsHead);
  EXPECT_EQ(f.echo,
            lines({
                " Hexagonal test cell" + std::string(53, ' '),
                " Radius of an ionic sphere:  0.76 \u00c5",
                " Reciprocal-space range:  0.70 \u00c5**(-1)",
                " Number of symmetry operations:   2",
                " Number of atoms in the asymmetric unit:   2",
                " Inversion center at the origin:   1",
                "",
                " Lattice parameters:    3.1235   3.1235   5.0000   90.000   90.001  120.000",
                "",
                " Symmetry operations",
                "",
                "      0.000000 1 0     0.000000 2 0     0.000000 3 0",
                "      0.000000-2 0     0.000000 1-2     0.500000 3 0",
            }));
}

TEST(ReadHead, TitleIsPaddedOrCutToSeventyTwoColumns) {
  const std::string rest = lines({"", "  1  1  0", "", "", ""});
  const std::string exact(72, 'T');
  for (const std::string& title :
       {std::string(), std::string("a b  "), exact, exact + "CUT", std::string(80, ' ') + "x"}) {
    HeadFixture f(title + "\n" + rest);
    EXPECT_EQ(f.head.title.size(), 72u);
    const std::string echoLine = f.echo.substr(0, f.echo.find('\n'));
    std::string padded = title;
    padded.resize(72, ' ');
    EXPECT_EQ(echoLine, ' ' + padded);
  }
}

TEST(ReadHead, EmptyOperationAndSiteListsSkipOneRecordEach) {
  for (const std::string count : {"  0", " -3"}) {
    HeadFixture f(lines({"t", "", count + count, "", "not an operation", "not a site", "next"}));
    EXPECT_TRUE(f.head.symOps.empty());
    EXPECT_TRUE(f.head.sites.empty());
    EXPECT_NE(f.echo.find("\n Symmetry operations\n\n \n"), std::string::npos);
    EXPECT_EQ(f.input->readRecord(), "next");
  }
}

TEST(ReadHead, CountsReadAlikeWhereverTheirDigitsStand) {
  for (const std::string counts : {"  4  1  0", "4  1  0  ", " 4  1   0", "4,1,0", "4, 1,0"}) {
    SCOPED_TRACE(counts);
    HeadFixture f(lines({"t", "", counts, "", "", "", "", "", ""}));
    EXPECT_EQ(f.head.symOpCount, 4);
    EXPECT_EQ(f.head.siteCount, 1);
    EXPECT_EQ(f.head.inversionAtOrigin, 0);
  }
}

// ---- Position records ----

using Point = std::array<double, 3>;

std::vector<Point> allPositions(InputFile& input) {
  std::vector<Point> positions;
  while (auto p = readPosition(input))
    positions.push_back({p->x, p->y, p->z});
  return positions;
}

const std::string oneSiteHead = lines({"t", "", "  0  1  0", "", "", "Na        1.0"});

TEST(Positions, NoRecordAfterTheSitesMeansNoPositions) {
  for (const std::string& head : {oneSiteHead, oneSiteHead.substr(0, oneSiteHead.size() - 1)}) {
    HeadFixture f(head);
    EXPECT_FALSE(probeForPositions(*f.input));
  }
}

TEST(Positions, ProbedRecordIsReadAgainAsTheFirstPosition) {
  HeadFixture f(oneSiteHead + "     0.25      0.5     0.75\n0.1,0.2,0.3\n  1 2 3  \n      1.0");
  ASSERT_TRUE(probeForPositions(*f.input));
  EXPECT_EQ(allPositions(*f.input),
            (std::vector<Point>{
                {0.25, 0.5, 0.75}, {0.1, 0.2, 0.3}, {0.000123, 0.0, 0.0}, {1.0, 0.0, 0.0}}));
}

TEST(Positions, EmptyOrBlankLastLineIsThePointAtTheOrigin) {
  for (const std::string last : {"\n", "   \n", "\r\n", " "}) {
    HeadFixture f(oneSiteHead + last);
    ASSERT_TRUE(probeForPositions(*f.input));
    EXPECT_EQ(allPositions(*f.input), (std::vector<Point>{{0, 0, 0}}));
  }
}

TEST(Positions, MalformedRecordIsFatalAlreadyAtTheProbe) {
  HeadFixture f(oneSiteHead + "      0.5      0.5      x\n");
  try {
    probeForPositions(*f.input);
    FAIL() << "no fault";
  } catch (const Fault& fault) {
    EXPECT_EQ(fault.number, 64);
  }
}

} // namespace
} // namespace telva
