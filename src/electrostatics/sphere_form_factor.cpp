#include "electrostatics/sphere_form_factor.hpp"

#include <cmath>

namespace telva {

double sphereFormFactor(double x, int type) {
  const double sine = std::sin(x);
  const double cosine = std::cos(x);
  const double x2 = x * x;
  if (type == smearedChargeType) {
    const double t = (7.0 * cosine + 8.0) * x;
    const double u = (x2 - 15.0) * sine;
    return (t + u) * 630.0 / ((x2 * x2 * x2) * x);
  }
  return ((3.0 - x2) * sine - 3.0 * x * cosine) * 15.0 / (x * (x2 * x2));
}

double selfTerm(double charge, double radius) {
  return ((charge * 21.0) / radius) * 0.125;
}

double spherePotential(double charge, double distance, double radius) {
  const double s = distance / radius;
  const double u = s * s;
  // s^6/14 + 1/10 + 3 s^4/10 - 4 s^5/15 - s^2/6
  const double poly =
      ((u * u * u) / 14.0 + 0.1 + (0.3 * u) * u) - ((4.0 * u) * u * s) / 15.0 - u / 6.0;
  return ((210.0 * charge) / radius) * 0.125 * poly;
}

} // namespace telva
