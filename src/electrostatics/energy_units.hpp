// The energy of two elementary charges one Angstrom apart, e^2/(4 pi eps0 A),
// in the units the results are given in.
#pragma once

namespace telva {

// CODATA 1986 (Cohen & Taylor, Rev. Mod. Phys. 59, 1121 (1987)):
// e = 1.60217733e-19 C, 1/(4 pi eps0) = 8.987551787e9 N m^2/C^2.
inline constexpr double electronVoltsPerUnit = 14.3996517;
// The same times the Faraday constant, 96485.309 C/mol, in MJ/mol.
inline constexpr double megajoulesPerMolePerUnit = 1.3893548456;

} // namespace telva
