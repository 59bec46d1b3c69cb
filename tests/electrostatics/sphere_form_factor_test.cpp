#include "electrostatics/sphere_form_factor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace telva {
namespace {

struct FormFactorCase {
  int type;
  double x;
  double expected;
};

// Reference values of both closed forms, including the sign change of the
// smeared-charge form factor past its first zero.
TEST(SphereFormFactor, KnownValues) {
  const FormFactorCase cases[] = {
      {2, 1.0, 0.9590828728491907}, {2, pi, 0.655301728176387},  {2, 10.0, -0.0015735384920397303},
      {1, 1.0, 0.9305257801706057}, {1, pi, 0.4619692014607951},
  };
  for (const FormFactorCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " x " << c.x);
    EXPECT_NEAR(sphereFormFactor(c.x, c.type), c.expected, 1e-15 * std::fabs(c.expected) + 1e-18);
  }
}

// Only code 2 selects the smeared-charge distribution; every other code gives
// the alternative form.
TEST(SphereFormFactor, EveryOtherTypeCodeGivesTheAlternative) {
  for (int type : {1, 0, 3, -2, 7}) {
    SCOPED_TRACE(type);
    for (double x : {1.0, pi, 4.5}) {
      EXPECT_EQ(sphereFormFactor(x, type), sphereFormFactor(x, 1));
      EXPECT_NE(sphereFormFactor(x, type), sphereFormFactor(x, smearedChargeType));
    }
  }
}

// Both forms describe a unit total charge: F -> 1 as x -> 0.
TEST(SphereFormFactor, TendsToUnitChargeAtSmallX) {
  for (int type : {1, 2}) {
    EXPECT_NEAR(sphereFormFactor(0.3, type), 1.0, 0.01) << type;
    EXPECT_LT(sphereFormFactor(0.3, type), 1.0) << type;
  }
  // The curvature at the origin is the second moment of the charge:
  // F = 1 - x^2 <r^2>/(6 R^2) + ..., with <r^2> = R^2/4 for the smeared charge.
  EXPECT_NEAR((1.0 - sphereFormFactor(0.3, smearedChargeType)) / (0.3 * 0.3), 1.0 / 24.0, 1e-4);
}

// Composite Simpson rule of f over [a, b] with n (even) intervals.
double simpson(const std::function<double(double)>& f, double a, double b, int n) {
  const double step = (b - a) / n;
  double sum = f(a) + f(b);
  for (int i = 1; i < n; ++i)
    sum += f(a + i * step) * (i % 2 == 1 ? 4.0 : 2.0);
  return sum * step / 3.0;
}

// The form factor, replaced near x = 0 (where the closed form is 0/0 and, just
// above, loses its digits by cancellation) by its series 1 - x^2/24.
double formFactorForQuadrature(double x) {
  return x < 0.2 ? 1.0 - x * x / 24.0 : sphereFormFactor(x, smearedChargeType);
}

// Potential at s = d/R of the smeared unit charge of radius 1, by the radial
// Fourier integral (2/pi) int F(x) sin(xs)/(xs) dx. The integrand falls off
// like x^-5, so the tail past x = 200 is negligible.
double potentialFromFormFactor(double s) {
  const auto integrand = [s](double x) {
    const double f = formFactorForQuadrature(x);
    return s == 0 ? f : (x == 0 ? f : f * std::sin(x * s) / (x * s));
  };
  return 2.0 / pi * simpson(integrand, 0.0, 200.0, 40000);
}

// The form factor, the self term and the inside potential must describe one
// and the same charge distribution: (2/pi) int F = 21/8 is the self term, and
// the Fourier integral reproduces SpherePotential inside and 1/d outside.
TEST(SphereFormFactor, FourierIntegralMatchesSelfTermAndSpherePotential) {
  EXPECT_NEAR(potentialFromFormFactor(0.0), 21.0 / 8.0, 1e-4);
  EXPECT_NEAR(potentialFromFormFactor(0.0), selfTerm(1.0, 1.0), 1e-4);
  for (double s : {0.25, 0.5, 0.8}) {
    SCOPED_TRACE(s);
    EXPECT_NEAR(potentialFromFormFactor(s), spherePotential(1.0, s, 1.0), 1e-4);
  }
  for (double s : {1.2, 2.0}) {
    SCOPED_TRACE(s);
    EXPECT_NEAR(potentialFromFormFactor(s), 1.0 / s, 1e-4);
  }
}

TEST(SelfTerm, IsTwentyOneEighthsOfChargeOverRadius) {
  EXPECT_EQ(selfTerm(1.0, 1.0), 2.625);
  EXPECT_DOUBLE_EQ(selfTerm(-2.0, 1.5), -3.5);
  EXPECT_DOUBLE_EQ(selfTerm(3.0, 0.5), 15.75);
  EXPECT_EQ(selfTerm(0.0, 1.3), 0.0);
}

TEST(SpherePotential, KnownValue) {
  EXPECT_NEAR(spherePotential(1.0, 0.5, 1.0), 1.833984375, 1e-15);
  // Linear in the charge and scales as 1/R at a fixed ratio d/R.
  EXPECT_NEAR(spherePotential(-2.0, 1.0, 2.0), -1.833984375, 1e-15);
}

// Inside the sphere the potential starts at the self term at the centre and
// joins the point-charge potential Z/d at the surface with the same value and
// slope, for any charge and radius.
TEST(SpherePotential, JoinsSelfTermAndPointCharge) {
  const struct { double charge, radius; } cases[] = {{1.0, 1.0}, {2.0, 0.7}, {-1.5, 1.8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "Z " << c.charge << " R " << c.radius);
    const double z = c.charge, r = c.radius;
    EXPECT_NEAR(spherePotential(z, 0.0, r), selfTerm(z, r), 1e-14);
    EXPECT_NEAR(spherePotential(z, r, r), z / r, 1e-14);
    const double h = 1e-5 * r;
    const double slope = (spherePotential(z, r, r) - spherePotential(z, r - h, r)) / h;
    EXPECT_NEAR(slope, -z / (r * r), 1e-4 * std::fabs(z / (r * r)));
    // Flat at the centre, decreasing in magnitude outward, above the point
    // charge's 1/d nowhere inside.
    EXPECT_NEAR((spherePotential(z, h, r) - spherePotential(z, 0.0, r)) / h, 0.0,
                1e-3 * std::fabs(z / (r * r)));
    for (double s : {0.2, 0.5, 0.9}) {
      EXPECT_LT(std::fabs(spherePotential(z, s * r, r)), std::fabs(selfTerm(z, r)));
      EXPECT_LT(std::fabs(spherePotential(z, s * r, r)), std::fabs(z / (s * r)));
    }
  }
}

} // namespace
} // namespace telva
