#include "electrostatics/site_potentials.hpp"

#include <cmath>

#include "electrostatics/fast_table_potential.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_potential.hpp"

namespace telva {

namespace {

const Layout siteHeading = {
    recordEnd(), literal(" Potentials of sites in the asymmetric unit"), recordEnd(), recordEnd(),
    literal("          Charge      W        x        y        z           phi")};
const Layout siteLine = {literal(" "),     textField(8),          fixedField(9, 6),
                         fixedField(9, 6), fixedField(9, 6),      fixedField(9, 6),
                         fixedField(9, 6), scientificField(15, 6)};
const Layout energySection = {recordEnd(),
                              recordEnd(),
                              literal(" Electrostatic energy per asymmetric unit"),
                              recordEnd(),
                              literal(" "),
                              fixedField(13, 6),
                              literal(" e**2/\u00c5 = "),
                              textField(),
                              literal(" ="),
                              fixedField(11, 6),
                              literal(" MJ/mol"),
                              recordEnd()};

} // namespace

double sitePotential(const CoefficientTable& table, double volume, double radius,
                     const Site& site) {
  return tablePotential(table, volume, site.x, site.y, site.z) - selfTerm(site.charge, radius);
}

double energyPerAsymmetricUnit(std::span<const Site> sites, std::span<const double> potentials) {
  double sum = 0;
  for (std::size_t i = 0; i < sites.size(); ++i)
    sum = sum + (sites[i].charge * sites[i].W) * potentials[i];
  return 0.5 * sum;
}

std::string electronVoltText(double energy) {
  const std::string field = formatFixed(energy * electronVoltsPerUnit, 13, 5);
  const std::size_t begin = field.find_first_not_of(' ');
  const std::size_t end = field.find_last_not_of(' ');
  return field.substr(begin, end + 1 - begin) + " eV";
}

std::vector<double> sitePotentials(const CoefficientTable& table, double volume, double radius,
                                   std::span<const Site> sites, int threads) {
  std::vector<Position> positions;
  for (const Site& site : sites)
    positions.push_back({site.x, site.y, site.z});
  std::vector<double> phi = tablePotentials(table, volume, positions, threads);
  const double tolerance = fastSynthesisTolerance(table, volume);
  for (std::size_t i = 0; i < sites.size(); ++i) {
    phi[i] = phi[i] - selfTerm(sites[i].charge, radius);
    if (!printsStably(phi[i], tolerance, 15, 6, true))
      phi[i] = sitePotential(table, volume, radius, sites[i]);
  }
  // The energy sums the potentials' errors, weighted by Z W.
  double weights = 0;
  for (const Site& site : sites)
    weights += std::fabs(site.charge * site.W);
  const double energy = energyPerAsymmetricUnit(sites, phi);
  const double energyTolerance = 0.5 * weights * tolerance * 2;
  if (!printsStably(energy, energyTolerance, 13, 6, false) ||
      !printsStably(energy * electronVoltsPerUnit, energyTolerance * electronVoltsPerUnit, 13, 5,
                    false) ||
      !printsStably(energy * megajoulesPerMolePerUnit, energyTolerance * megajoulesPerMolePerUnit,
                    11, 6, false)) {
    for (std::size_t i = 0; i < sites.size(); ++i)
      phi[i] = sitePotential(table, volume, radius, sites[i]);
  }
  return phi;
}

std::vector<double> listSitePotentials(const CoefficientTable& table, double volume, double radius,
                                       std::span<const Site> sites, Listing& listing) {
  listing.write(siteHeading);
  const std::vector<double> phi = sitePotentials(table, volume, radius, sites);
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const Site& site = sites[i];
    listing.write(siteLine, std::vector<Value>{site.label, site.charge, site.W, site.x, site.y,
                                               site.z, phi[i]});
  }
  const double energy = energyPerAsymmetricUnit(sites, phi);
  listing.write(energySection, std::vector<Value>{energy, electronVoltText(energy),
                                                  energy * megajoulesPerMolePerUnit});
  return phi;
}

} // namespace telva
