// Separable phase factors: e^{2 pi i (h x + k y + l z)} is the product of one
// factor per axis, e^{i h px} e^{i k py} e^{i l pz} with px = 2 pi x, so the
// fast kernels prepare e^{i n p} for every index n of an axis once per
// position and combine them by complex multiplication.
#pragma once

#include <cmath>
#include <vector>

#include "electrostatics/sphere_form_factor.hpp"

namespace telva {

// e^{i n p}, from its own cosine and sine, so that no error accumulates along
// an axis.
inline void phaseFactor(double p, int n, double& re, double& im) {
  const double angle = n * p;
  re = std::cos(angle);
  im = std::sin(angle);
}

// e^{i n p} for n in [first, first + count).
struct AxisFactors {
  int first = 0;
  std::vector<double> re, im;

  void fill(double p, int firstIndex, int count) {
    first = firstIndex;
    re.resize(count > 0 ? count : 0);
    im.resize(re.size());
    for (int i = 0; i < count; ++i)
      phaseFactor(p, firstIndex + i, re[i], im[i]);
  }
  double cosine(int n) const { return re[n - first]; }
  double sine(int n) const { return im[n - first]; }
};

// The three axes' factors of one fractional position over the table's box.
struct PositionFactors {
  AxisFactors h, k, l;
};

inline PositionFactors positionFactors(double x, double y, double z, int hmax, int kmax, int lmax) {
  PositionFactors f;
  f.h.fill(x * twoPi, -hmax, 2 * hmax + 1);
  f.k.fill(y * twoPi, -kmax, 2 * kmax + 1);
  f.l.fill(z * twoPi, 0, lmax + 1);
  return f;
}

} // namespace telva
