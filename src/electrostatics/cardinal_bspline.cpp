#include "electrostatics/cardinal_bspline.hpp"

#include <cmath>

#include "base/numbers.hpp"

namespace telva {

void splineWeights(int order, double w, std::span<double> weights) {
  // Order 2 at w and w + 1, then the recursion up to `order`, each level in
  // place from the top so that weights[j - 1] still holds the lower level.
  weights[0] = w;
  weights[1] = 1 - w;
  for (int n = 3; n <= order; ++n) {
    const double scale = 1.0 / (n - 1);
    weights[n - 1] = (n - (w + n - 1)) * scale * weights[n - 2];
    for (int j = n - 2; j >= 1; --j)
      weights[j] = ((w + j) * weights[j] + (n - (w + j)) * weights[j - 1]) * scale;
    weights[0] = w * scale * weights[0];
  }
}

std::vector<double> splineModuli(int order, int nodes) {
  std::vector<double> atIntegers(order);
  splineWeights(order, 0.0, atIntegers); // M_n(j), j = 0 .. n-1; M_n(0) = 0
  std::vector<double> moduli(nodes);
  for (int m = 0; m < nodes; ++m) {
    double re = 0, im = 0;
    for (int k = 0; k <= order - 2; ++k) {
      const double phase = 2 * pi * double(m) * k / nodes;
      re += atIntegers[k + 1] * std::cos(phase);
      im += atIntegers[k + 1] * std::sin(phase);
    }
    moduli[m] = 1.0 / (re * re + im * im);
  }
  return moduli;
}

} // namespace telva
