#include "cif/symmetry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace telva {
namespace {

using Rotation = std::array<std::array<int, 3>, 3>;

struct TripletCase {
  const char* text;
  Rotation rotation;
  std::array<int, 3> translation; // 24ths
};

TEST(ParseTriplet, ReadsTheUsualSpellings) {
  const TripletCase cases[] = {
      {"x,y,z", {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 0, 0}},
      {"-y+1/2, x-y, z", {{{0, -1, 0}, {1, -1, 0}, {0, 0, 1}}}, {12, 0, 0}},
      {"1/2+X,-Y,1/4-Z", {{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}}, {12, 0, 6}},
      {"-x+y+2/3,-x+1/3,z+5/6", {{{-1, 1, 0}, {-1, 0, 0}, {0, 0, 1}}}, {16, 8, 20}},
      {"x+0.5,y+0.3333,z-0.25", {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {12, 8, 18}},
      {"x+1,y-1,z+3/2", {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 0, 12}},
      {" x , y , z-x ", {{{1, 0, 0}, {0, 1, 0}, {-1, 0, 1}}}, {0, 0, 0}},
  };
  for (const TripletCase& c : cases) {
    SCOPED_TRACE(c.text);
    const MatrixOp op = parseTriplet(c.text);
    EXPECT_EQ(op.rotation, c.rotation);
    EXPECT_EQ(op.translation, c.translation);
    EXPECT_EQ(op.text, c.text);
  }
}

TEST(ParseTriplet, RefusesWhatIsNoTripletNamingIt) {
  for (const char* text : {"x,y", "x,y,z,x", "x,,z", "x,y,w", "x,y,z+", "x,y,z+1/5", "2*x,y,z",
                           "x,y,z+0.1", "xy,y,z"}) {
    SCOPED_TRACE(text);
    try {
      parseTriplet(text);
      ADD_FAILURE() << "accepted";
    } catch (const CifError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("'") + text + "'"), std::string::npos)
          << e.what();
    }
  }
}

TEST(AxisCodeRows, WriteEachRowAsTwoSignedAxes) {
  const SymOp op = toAxisCodeRows(parseTriplet("-x+y+2/3, -y, x-z+1/2"));
  EXPECT_EQ(op.rows[0].code1, -1);
  EXPECT_EQ(op.rows[0].code2, 2);
  EXPECT_DOUBLE_EQ(op.rows[0].translation, 2.0 / 3.0);
  EXPECT_EQ(op.rows[1].code1, -2);
  EXPECT_EQ(op.rows[1].code2, 0);
  EXPECT_EQ(op.rows[2].code1, 1);
  EXPECT_EQ(op.rows[2].code2, -3);
  EXPECT_DOUBLE_EQ(op.rows[2].translation, 0.5);
  // The image the program computes is the operation's own.
  const Position p = applyToPosition(op, 0.1, 0.2, 0.3);
  const Position q = apply(parseTriplet("-x+y+2/3, -y, x-z+1/2"), {0.1, 0.2, 0.3});
  EXPECT_DOUBLE_EQ(p.x, q.x);
  EXPECT_DOUBLE_EQ(p.y, q.y);
  EXPECT_DOUBLE_EQ(p.z, q.z);
}

TEST(AxisCodeRows, RefuseARowWithMoreThanTwoTermsOrABigCoefficient) {
  for (const char* text : {"x-y+z,y,z", "x,y,2z", "x,x+x,z"}) {
    SCOPED_TRACE(text);
    try {
      toAxisCodeRows(parseTriplet(text));
      ADD_FAILURE() << "accepted";
    } catch (const CifError& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  }
}

std::vector<MatrixOp> ops(std::initializer_list<const char*> texts) {
  std::vector<MatrixOp> out;
  for (const char* t : texts)
    out.push_back(parseTriplet(t));
  return out;
}

TEST(NormalisedGroup, PutsTheIdentityFirstAndDropsLatticeRepeats) {
  const auto group = normalisedGroup(ops({"-x,-y,-z", "x+1,y,z-1", "x,y,z", "-x+1,-y,-z"}));
  ASSERT_EQ(group.size(), 2u);
  EXPECT_TRUE(isIdentity(group[0]));
  EXPECT_EQ(group[1], parseTriplet("-x,-y,-z"));
}

TEST(NormalisedGroup, RefusesListsThatAreNoGroup) {
  struct Case {
    const char* name;
    std::vector<MatrixOp> ops;
    const char* message;
  };
  const Case cases[] = {
      {"no identity", ops({"-x,-y,-z", "x,-y,z"}), "identity"},
      {"centring missing", ops({"x,y,z", "-x,-y,-z", "x,y+1/2,z+1/2"}), "do not form a group"},
      {"singular rotation", ops({"x,y,z", "x,x,z"}), "not a symmetry of the lattice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      normalisedGroup(c.ops);
      ADD_FAILURE() << "accepted";
    } catch (const CifError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(WrittenOperations, KeepOneOfEachPairOnlyWithTheInversionAtTheOrigin) {
  struct Case {
    const char* name;
    std::vector<MatrixOp> group;
    bool flag;
    std::size_t written;
  };
  const Case cases[] = {
      // P2_1/c: the inversion through the origin with the screw and glide.
      {"P21/c", ops({"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2"}), true, 2},
      // The same group with its origin moved by (1/4, 0, 0): the centre of
      // symmetry lies at (1/4, 0, 0), and -x,-y,-z is not in the group.
      {"P21/c shifted", ops({"x,y,z", "-x+1/2,y+1/2,-z+1/2", "-x+1/2,-y,-z", "x,-y+1/2,z+1/2"}),
       false, 4},
      {"P1", ops({"x,y,z"}), false, 1},
      {"P-1", ops({"x,y,z", "-x,-y,-z"}), true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto group = normalisedGroup(c.group);
    const WrittenOperations w = chooseWrittenOperations(group);
    EXPECT_EQ(w.inversionAtOrigin, c.flag);
    ASSERT_EQ(w.ops.size(), c.written);
    EXPECT_TRUE(isIdentity(w.ops[0]));
    // Every operation of the group is written once, itself or as a companion.
    for (const MatrixOp& op : group) {
      const auto n = std::count(w.ops.begin(), w.ops.end(), op) +
                     (c.flag ? std::count(w.ops.begin(), w.ops.end(), negated(op)) : 0);
      EXPECT_EQ(n, 1) << op.text;
    }
  }
}

TEST(DistinctImages, CountTheSiteMultiplicity) {
  // P4/mmm built from its generators.
  std::vector<MatrixOp> group = ops({"x,y,z"});
  const auto generators = ops({"-y,x,z", "x,-y,-z", "-x,-y,-z"});
  for (bool grew = true; grew;) {
    grew = false;
    for (std::size_t i = 0; i < group.size(); ++i)
      for (const MatrixOp& g : generators) {
        MatrixOp p = compose(g, group[i]);
        if (std::find(group.begin(), group.end(), p) == group.end()) {
          group.push_back(p);
          grew = true;
        }
      }
  }
  ASSERT_EQ(group.size(), 16u);
  const std::array<double, 6> cell{4, 4, 3, 90, 90, 90};
  struct Case {
    Position p;
    std::size_t multiplicity;
  };
  const Case cases[] = {
      {{0, 0, 0}, 1},           {{0.5, 0.5, 0.5}, 1},  {{0, 0.5, 0}, 2},
      {{0.3, 0.3, 0}, 4},       {{0.3, 0, 0}, 4},      {{0.1, 0.2, 0.3}, 16},
      {{0, 0, 0.25}, 2},        {{1.0, -0.0, 0.0}, 1}, // on the cell's edge
      {{0.2999999, 0.3, 0}, 4},                        // rounding of a published coordinate
  };
  for (const Case& c : cases)
    EXPECT_EQ(distinctImages(group, c.p, buildCellGeometry(cell, 0), 0.02).size(), c.multiplicity)
        << c.p.x << " " << c.p.y << " " << c.p.z;
}

TEST(NearestImageDistance, TakesTheNearestLatticeImage) {
  const CellGeometry hexagonal = buildCellGeometry({3, 3, 5, 90, 90, 120}, 0);
  EXPECT_NEAR(nearestImageDistance(hexagonal, {0, 0, 0}, {0.95, 0.95, 0}), 0.05 * 3, 1e-12);
  EXPECT_NEAR(nearestImageDistance(hexagonal, {0, 0, 0}, {1.0 / 3, 2.0 / 3, 0}), std::sqrt(3.0),
              1e-12);
  const CellGeometry cubic = buildCellGeometry({5, 5, 5, 90, 90, 90}, 0);
  EXPECT_NEAR(nearestImageDistance(cubic, {0.9, 0.9, 0.9}, {0.1, 0.1, 0.1}), std::sqrt(3.0), 1e-12);
  // Oblique: the rounded difference is not the nearest image.
  const CellGeometry oblique = buildCellGeometry({4, 4, 4, 60, 60, 60}, 0);
  EXPECT_NEAR(nearestImageDistance(oblique, {0, 0, 0}, {0.5, 0.5, 0.5}),
              directDistance(oblique, 0.5, -0.5, -0.5), 1e-12);
}

} // namespace
} // namespace telva
