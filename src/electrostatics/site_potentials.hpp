// The potential at every site of the asymmetric unit and the electrostatic
// energy per asymmetric unit.
#pragma once

#include <span>
#include <vector>

#include "crystal/site.hpp"
#include "driver/record_files.hpp"
#include "electrostatics/coefficient_table.hpp"

namespace telva {

// Conversion of an energy in e^2/Angstrom.
inline constexpr double electronVoltsPerUnit = 14.3996517;
inline constexpr double megajoulesPerMolePerUnit = 1.3893548456;

// Potential at a site: the table's potential there minus the site's own
// smeared charge at its centre (the self term, from the full charge, without W).
double sitePotential(const CoefficientTable& table, double volume, double radius, const Site& site);

// E = 0.5 sum (Z W) phi over the sites in order, in e^2/Angstrom.
double energyPerAsymmetricUnit(std::span<const Site> sites, std::span<const double> potentials);

// The energy line's eV text: E in eV as a fixed-point field of width 13 with 5
// decimals, without its blanks, followed by " eV".
std::string electronVoltText(double energy);

// The potentials of all sites by the fast synthesis; a site whose printed
// potential could differ from the term-by-term evaluation's (and all sites,
// when the printed energy could) is evaluated term by term. `threads` as for
// tablePotentials.
std::vector<double> sitePotentials(const CoefficientTable& table, double volume, double radius,
                                   std::span<const Site> sites, int threads = 0);

// Computes, lists site by site, and returns the site potentials; then writes
// the energy section.
std::vector<double> listSitePotentials(const CoefficientTable& table, double volume, double radius,
                                       std::span<const Site> sites, Listing& listing);

} // namespace telva
