// The site potentials of rock salt through the installed core: the cell's
// eight ions, the Gaussian method. Prints the version and both potentials;
// exits 1 when a potential is not the known lattice sum.
#include <cmath>
#include <cstdio>

#include "base/version.hpp"
#include "electrostatics/core.hpp"

int main() {
  using namespace telva;
  const double a = 5.64;
  Crystal salt;
  salt.lattice = {a, a, a, 90, 90, 90};
  salt.symOps = {SymOp{{SymOpRow{0, 1, 0}, SymOpRow{0, 2, 0}, SymOpRow{0, 3, 0}}}};
  const double na[4][3] = {{0, 0, 0}, {0.5, 0.5, 0}, {0.5, 0, 0.5}, {0, 0.5, 0.5}};
  const double cl[4][3] = {{0.5, 0, 0}, {0, 0.5, 0}, {0, 0, 0.5}, {0.5, 0.5, 0.5}};
  for (const auto& r : na)
    salt.sites.push_back({"Na", 1, 1, r[0], r[1], r[2]});
  for (const auto& r : cl)
    salt.sites.push_back({"Cl", -1, 1, r[0], r[1], r[2]});

  const EwaldSites sites = ewaldSitePotentials(prepareEwald(salt));
  // The rock-salt lattice sum over the nearest-neighbour distance a/2.
  const double expected = 1.747564594633182 / (a / 2);
  const double phiNa = sites.potentials.front(), phiCl = sites.potentials.back();
  std::printf("telva %s: phi(Na) = %.9f, phi(Cl) = %.9f e/A\n", version, phiNa, phiCl);
  return std::fabs(phiNa + expected) < 1e-7 && std::fabs(phiCl - expected) < 1e-7 ? 0 : 1;
}
