#include "electrostatics/site_potentials.hpp"

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

std::vector<double> listSitePotentials(const CoefficientTable& table, double volume, double radius,
                                       std::span<const Site> sites, Listing& listing) {
  listing.write(siteHeading);
  std::vector<double> potentials;
  for (const Site& site : sites) {
    const double phi = sitePotential(table, volume, radius, site);
    potentials.push_back(phi);
    listing.write(siteLine,
                  std::vector<Value>{site.label, site.charge, site.W, site.x, site.y, site.z, phi});
  }
  const double energy = energyPerAsymmetricUnit(sites, potentials);
  listing.write(energySection, std::vector<Value>{energy, electronVoltText(energy),
                                                  energy * megajoulesPerMolePerUnit});
  return potentials;
}

} // namespace telva
