// The three closed-form functions of the smeared ionic charge: every point
// charge Z is replaced by one spherically symmetric distribution of total
// charge Z inside a sphere of radius R (the "type 2" distribution).
#pragma once

#include "base/numbers.hpp"

namespace telva {

// Code of the distribution used throughout; every other code selects the
// alternative form factor, which nothing in the program uses.
inline constexpr int smearedChargeType = 2;

// Fourier transform of the smeared unit charge at x = 2 pi R q (q without
// 2 pi), for x > 0. Type 2: 630 (x (7 cos x + 8) + (x^2 - 15) sin x) / x^7;
// other types: 15 ((3 - x^2) sin x - 3x cos x) / x^5. Both tend to 1 as x -> 0
// but are evaluated as written, without a series for small x.
double sphereFormFactor(double x, int type);

// Potential of a smeared charge Z at its own centre: 21 Z / (8 R).
double selfTerm(double charge, double radius);

// Potential of a smeared charge Z at distance d < R from its centre:
// (Z/R)(21 - 35 s^2 + 63 s^4 - 56 s^5 + 15 s^6)/8 with s = d/R. It equals the
// self term at d = 0 and joins Z/d with the same slope at d = R.
double spherePotential(double charge, double distance, double radius);

} // namespace telva
