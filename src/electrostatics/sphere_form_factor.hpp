// The three closed-form functions of the smeared ionic charge: every point
// charge Z is replaced by one spherically symmetric distribution of total
// charge Z inside a sphere of radius R (the "type 2" distribution), of density
// rho(r) proportional to (1 - r/R)^3 (1 + 3r/R) for r < R: Wendland's compactly
// supported C2 function (H. Wendland, Adv. Comput. Math. 4, 389 (1995)), so
// that the potential and its first two derivatives are continuous.
#pragma once

#include "base/numbers.hpp"

namespace telva {

// Code of the distribution used throughout; every other code selects the
// alternative form factor, which nothing in the program uses.
inline constexpr int smearedChargeType = 2;

// Fourier transform of the smeared unit charge at x = 2 pi R q (q without
// 2 pi), for x > 0: the integral of rho(r) sin(kr)/(kr) 4 pi r^2 dr with
// k = 2 pi q. Type 2: 630 (x (7 cos x + 8) + (x^2 - 15) sin x) / x^7; other
// types, the parabolic density rho proportional to 1 - r^2/R^2:
// 15 ((3 - x^2) sin x - 3x cos x) / x^5. Both tend to 1 as x -> 0 but are
// evaluated as written, without a series for small x.
double sphereFormFactor(double x, int type);

// Potential of a smeared charge Z at its own centre: 21 Z / (8 R), the
// integral of rho(r)/r 4 pi r^2 dr.
double selfTerm(double charge, double radius);

// Potential of a smeared charge Z at distance d < R from its centre:
// (Z/R)(21 - 35 s^2 + 63 s^4 - 56 s^5 + 15 s^6)/8 with s = d/R. It equals the
// self term at d = 0 and joins Z/d with the same slope at d = R (Gauss's law:
// the charge inside d acts from the centre, each shell outside d as at its own
// radius).
double spherePotential(double charge, double distance, double radius);

} // namespace telva
