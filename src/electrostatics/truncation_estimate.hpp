// How far a site potential lies from its converged value when the reciprocal
// sum stops at qmax: an estimate from the tail of the smeared charge's form
// factor, and the smallest qmax that keeps it within a tolerance.
//
// The sum omits, at every site, the terms q > qmax. Those of the site's own
// smeared charge Z all carry the same phase and add up; those of the other
// atoms oscillate with their distances and nearly cancel. Replacing the sum
// over the reciprocal lattice (V points per unit volume) by an integral,
//   dphi = (1/(pi V)) Z V 4 pi Int_qmax^inf F(2 pi R q) dq
//        = (2 Z / (pi R)) Int_X^inf F(x) dx,  X = 2 pi R qmax.
// For the type-2 form factor F(x) = 630 (x (7 cos x + 8) + (x^2 - 15) sin x) / x^7
// the leading terms give Int_X^inf F = 630 (cos X + 8/5) / X^5 + O(X^-6), whose
// envelope (cos X = 1) is 1638 / X^5. The estimate is that envelope for the
// largest charge; the next terms, -1260 sin X / X^6 + O(X^-7), and the other
// atoms' tails keep it within about 1 % of the error where cos X = 1 (checked
// against converged rock salt). Valid once X is well past the first zeros of
// F (X > 10, that is R qmax > 1.6).
#pragma once

namespace telva {

// Coefficient of the envelope of Int_X^inf F(x) dx: 630 (1 + 8/5).
inline constexpr double sphereTailCoefficient = 1638.0;

// The estimated error in e/Angstrom of the potential at a site of charge
// `charge` (its magnitude counts) for sphere radius `radius` (Angstrom) and
// range `qmax` (1/Angstrom, without 2 pi); infinite for qmax or R of zero.
double truncationEstimate(double charge, double radius, double qmax);

// The smallest qmax whose estimate for `charge` is at most `tolerance`.
double qmaxForTolerance(double charge, double radius, double tolerance);

// Shift of every potential of a cell of net charge Q and volume V when the
// uniform background neutralises it: the smeared charges' q -> 0 limit leaves
// pi Q R^2 / (6 V) in e/Angstrom (the second moment of the type-2 sphere).
double chargedCellShift(double netCharge, double radius, double volume);

} // namespace telva
