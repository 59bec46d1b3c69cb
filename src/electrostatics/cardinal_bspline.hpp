// Cardinal B-splines, the interpolation of the smooth particle-mesh Ewald
// method (Essmann et al., J. Chem. Phys. 103, 8577 (1995), section II.C).
//
// M_2(x) = 1 - |x - 1| on [0, 2], and
// M_n(x) = x/(n-1) M_{n-1}(x) + (n-x)/(n-1) M_{n-1}(x-1)   (their eq. 4.1),
// nonzero on (0, n) and summing to 1 over the integer shifts. A charge at mesh
// coordinate u = K s (s fractional) with w = u - floor(u) puts the weight
// M_n(w + j) on the node floor(u) - j, j = 0 .. n-1.
#pragma once

#include <span>
#include <vector>

namespace telva {

// Even orders only: for odd n the factor b(m) below vanishes at m = K/2.
inline constexpr int smallestSplineOrder = 4;
inline constexpr int largestSplineOrder = 12;

// M_n(w + j) for j = 0 .. n-1 into weights (n entries), w in [0, 1).
void splineWeights(int order, double w, std::span<double> weights);

// |b(m)|^2 for m = 0 .. K-1 on a mesh of K nodes (Essmann et al., eq. 4.4):
// 1 / |sum_{k=0}^{n-2} M_n(k+1) exp(2 pi i m k / K)|^2, the factor that
// removes the interpolation's smoothing from the structure factor.
std::vector<double> splineModuli(int order, int nodes);

} // namespace telva
