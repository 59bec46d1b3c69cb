#include "crystal/sym_op.hpp"

#include "base/numbers.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <random>
#include <vector>

#include "crystal/cell_geometry.hpp"

namespace telva {
namespace {

// A draw with a full 53-bit mantissa, the same on every standard library.
double uniform(std::mt19937& rng, double lo, double hi) {
  const double high = rng();
  const double low = rng();
  return lo + (hi - lo) * ((high + low / 4294967296.0) / 4294967296.0);
}

// One operation from its three rows, each a translation and two axis codes
// (1 = x, 2 = y, 3 = z, negative for the minus sign).
SymOp op(double t1, AxisCode a1, AxisCode b1, double t2, AxisCode a2, AxisCode b2, double t3,
         AxisCode a3, AxisCode b3) {
  return SymOp{{SymOpRow{t1, a1, b1}, SymOpRow{t2, a2, b2}, SymOpRow{t3, a3, b3}}};
}

struct SingleCase {
  const char* name;
  SymOp op;
  Position image;                   // of the position (0.1, 0.2, 0.3)
  TransformedReflection reflection; // of the reflection (1, 2, 3)
};

TEST(SymOp, SingleOperationsOnPositionsAndReflections) {
  const SingleCase cases[] = {
      {"-y, x-y, z+1/2", op(0, -2, 0, 0, 1, -2, .5, 3, 0), {-0.2, -0.1, 0.8}, {2, -3, 3, 1.5}},
      {"identity", op(0, 1, 0, 0, 2, 0, 0, 3, 0), {0.1, 0.2, 0.3}, {1, 2, 3, 0}},
      {"both codes on x", op(.25, 1, 1, 0, 2, 0, 0, 3, 0), {0.45, 0.2, 0.3}, {2, 2, 3, 0.25}},
      {"codes that cancel", op(0, 1, -1, 0, 2, 0, 0, 3, 0), {0, 0.2, 0.3}, {0, 2, 3, 0}},
      {"code 5 adds nothing", op(.5, 1, 5, 0, 2, -5, 0, 5, 3), {0.6, 0.2, 0.3}, {1, 2, 3, 0.5}},
      {"codes beyond 3 and the integer limits",
       op(.5, 4, 5, .25, -4, INT_MAX, -1, INT_MIN, -5),
       {0.5, 0.25, -1},
       {0, 0, 0, -2}},
      {"translations are not reduced",
       op(1.5, -1, 0, -.5, 2, 0, 2, -3, 0),
       {1.4, -0.3, 1.7},
       {-1, 2, -3, 6.5}},
      {"zero codes: translation only",
       op(.25, 0, 0, .5, 0, 0, .75, 0, 0),
       {0.25, 0.5, 0.75},
       {0, 0, 0, 3.5}},
  };
  for (const SingleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Position p = applyToPosition(c.op, 0.1, 0.2, 0.3);
    EXPECT_DOUBLE_EQ(p.x, c.image.x);
    EXPECT_DOUBLE_EQ(p.y, c.image.y);
    EXPECT_DOUBLE_EQ(p.z, c.image.z);
    const TransformedReflection t = transformReflection(c.op, 1, 2, 3);
    EXPECT_EQ(t.h, c.reflection.h);
    EXPECT_EQ(t.k, c.reflection.k);
    EXPECT_EQ(t.l, c.reflection.l);
    EXPECT_EQ(t.phase, c.reflection.phase);
  }
}

TEST(SymOp, WorkedExamplePhase) {
  const SymOp screw = op(0, -2, 0, 0, 1, -2, .5, 3, 0);
  const TransformedReflection t = transformReflection(screw, 1, 2, 3);
  // h'x + k'y + l'z + T = 2 cycles, the same as (1, 2, 3).(-0.2, -0.1, 0.8).
  EXPECT_NEAR(reflectionPhase(t, 0.1, 0.2, 0.3), 2 * twoPi, 1e-12);
}

// The phase and the translation term are summed in a fixed order, so that
// results can be reproduced digit for digit.
TEST(SymOp, PhaseFollowsItsEvaluationOrder) {
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) {
    const double t1 = uniform(rng, -1, 1), t2 = uniform(rng, -1, 1), t3 = uniform(rng, -1, 1);
    const SymOp s = op(t1, -2, 1, t2, 3, 0, t3, 1, -3);
    const int h = int(rng() % 201) - 100, k = int(rng() % 201) - 100, l = int(rng() % 101);
    const TransformedReflection t = transformReflection(s, h, k, l);
    EXPECT_EQ(t.phase, (t1 * h + t2 * k) + t3 * l);
    const double x = uniform(rng, -1, 2), y = uniform(rng, -1, 2), z = uniform(rng, -1, 2);
    EXPECT_EQ(reflectionPhase(t, x, y, z), (((t.h * x + t.phase) + t.k * y) + t.l * z) * twoPi);
  }
}

// --- Operations of real space groups --------------------------------------

// P6_3mc, hexagonal.
const std::vector<SymOp> p63mc = {
    op(0, 1, 0, 0, 2, 0, 0, 3, 0),    op(0, -2, 0, 0, 1, -2, 0, 3, 0),  // x,y,z; -y,x-y,z
    op(0, -1, 2, 0, -1, 0, 0, 3, 0),  op(0, -1, 0, 0, -2, 0, .5, 3, 0), // -x+y,-x,z; -x,-y,z+1/2
    op(0, 2, 0, 0, -1, 2, .5, 3, 0),  op(0, 1, -2, 0, 1, 0, .5, 3, 0),  // y,-x+y,z+1/2; x-y,x,..
    op(0, -2, 0, 0, -1, 0, 0, 3, 0),  op(0, -1, 2, 0, 2, 0, 0, 3, 0),   // -y,-x,z; -x+y,y,z
    op(0, 1, 0, 0, 1, -2, 0, 3, 0),   op(0, 2, 0, 0, 1, 0, .5, 3, 0),   // x,x-y,z; y,x,z+1/2
    op(0, 1, -2, 0, -2, 0, .5, 3, 0), op(0, -1, 0, 0, -1, 2, .5, 3, 0), // x-y,-y,..; -x,-x+y,..
};

// P6_1, hexagonal, with screw translations in sixths.
const std::vector<SymOp> p61 = {
    op(0, 1, 0, 0, 2, 0, 0, 3, 0),        op(0, -2, 0, 0, 1, -2, 1. / 3, 3, 0),
    op(0, -1, 2, 0, -1, 0, 2. / 3, 3, 0), op(0, -1, 0, 0, -2, 0, .5, 3, 0),
    op(0, 2, 0, 0, -1, 2, 5. / 6, 3, 0),  op(0, 1, -2, 0, 1, 0, 1. / 6, 3, 0),
};

// P4_2/mnm, tetragonal.
const std::vector<SymOp> p42mnm = {
    op(0, 1, 0, 0, 2, 0, 0, 3, 0),      op(0, -1, 0, 0, -2, 0, 0, 3, 0),
    op(.5, -2, 0, .5, 1, 0, .5, 3, 0),  op(.5, 2, 0, .5, -1, 0, .5, 3, 0),
    op(.5, -1, 0, .5, 2, 0, .5, -3, 0), op(.5, 1, 0, .5, -2, 0, .5, -3, 0),
    op(0, 2, 0, 0, 1, 0, 0, -3, 0),     op(0, -2, 0, 0, -1, 0, 0, -3, 0),
    op(0, -1, 0, 0, -2, 0, 0, -3, 0),   op(0, 1, 0, 0, 2, 0, 0, -3, 0),
    op(.5, 2, 0, .5, -1, 0, .5, -3, 0), op(.5, -2, 0, .5, 1, 0, .5, -3, 0),
    op(.5, 1, 0, .5, -2, 0, .5, 3, 0),  op(.5, -1, 0, .5, 2, 0, .5, 3, 0),
    op(0, -2, 0, 0, -1, 0, 0, 3, 0),    op(0, 2, 0, 0, 1, 0, 0, 3, 0),
};

// Fm-3m: the 48 point operations of the cube are the signed permutations of
// x, y, z; with the four face-centring translations they give all 192.
std::vector<SymOp> fm3m() {
  std::vector<SymOp> ops;
  const double centring[4][3] = {{0, 0, 0}, {0, .5, .5}, {.5, 0, .5}, {.5, .5, 0}};
  for (const auto& t : centring) {
    std::array<int, 3> axes{1, 2, 3};
    do {
      for (int signs = 0; signs < 8; ++signs) {
        auto code = [&](int i) { return (signs >> i & 1) ? -axes[i] : axes[i]; };
        ops.push_back(op(t[0], code(0), 0, t[1], code(1), 0, t[2], code(2), 0));
      }
    } while (std::next_permutation(axes.begin(), axes.end()));
  }
  return ops;
}

struct Group {
  const char* name;
  std::vector<SymOp> ops;
  std::array<double, 6> cell; // a cell of the group's lattice
};

// For every operation, random positions and reflections: the phase from the
// transposed reflection equals the reflection's scalar product with the image;
// the inverted companion (all translations and codes negated) gives the
// opposite phase; and the operation keeps lengths in the group's own cell,
// both for reciprocal vectors and for distances between images.
TEST(SymOp, SpaceGroupOperationsAgreeWithTheirImages) {
  const Group groups[] = {
      {"P6_3mc", p63mc, {3.2, 3.2, 5.1, 90, 90, 120}},
      {"P6_1", p61, {6.5, 6.5, 14.2, 90, 90, 120}},
      {"P4_2/mnm", p42mnm, {4.6, 4.6, 2.95, 90, 90, 90}},
      {"Fm-3m", fm3m(), {5.64, 5.64, 5.64, 90, 90, 90}},
  };
  std::mt19937 rng(11);
  for (const Group& group : groups) {
    const CellGeometry g = buildCellGeometry(group.cell, 1);
    for (std::size_t n = 0; n < group.ops.size(); ++n) {
      SCOPED_TRACE(::testing::Message() << group.name << " operation " << n + 1);
      const SymOp& s = group.ops[n];
      SymOp companion = s;
      for (SymOpRow& row : companion.rows)
        row = SymOpRow{-row.translation, -row.code1, -row.code2};
      for (int trial = 0; trial < 10; ++trial) {
        const double x = uniform(rng, -1, 2), y = uniform(rng, -1, 2), z = uniform(rng, -1, 2);
        const int h = int(rng() % 25) - 12, k = int(rng() % 25) - 12, l = int(rng() % 13);
        const Position p = applyToPosition(s, x, y, z);
        const TransformedReflection t = transformReflection(s, h, k, l);
        const double scalar = h * p.x + k * p.y + l * p.z;
        EXPECT_NEAR(t.h * x + t.k * y + t.l * z + t.phase, scalar, 1e-12);
        EXPECT_NEAR(reflectionPhase(t, x, y, z), twoPi * scalar, 1e-11);
        EXPECT_NEAR(reflectionPhase(transformReflection(companion, h, k, l), x, y, z),
                    -twoPi * scalar, 1e-11);

        const double q2 = recipLengthSquared(g, h, k, l);
        EXPECT_NEAR(recipLengthSquared(g, t.h, t.k, t.l), q2, 1e-12 * (q2 + 1));
        const double u = uniform(rng, -1, 2), v = uniform(rng, -1, 2), w = uniform(rng, -1, 2);
        const Position q = applyToPosition(s, u, v, w);
        const double d = directDistance(g, x - u, y - v, z - w);
        EXPECT_NEAR(directDistance(g, p.x - q.x, p.y - q.y, p.z - q.z), d, 1e-12 * (d + 1));
      }
    }
  }
}

} // namespace
} // namespace telva
