// What varies from one ordering to the next: the disordered sites of the
// supercell grouped by parent position (an orbit), the species each orbit
// holds and how many sites each fills. A configuration is one species per
// disordered site.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "order/big_count.hpp"
#include "order/composition.hpp"
#include "order/disordered_crystal.hpp"
#include "order/supercell.hpp"

namespace telva {

using Configuration = std::vector<std::uint8_t>; // species number per disordered site

// Lexicographic order of configurations, element by element (GCC 12 warns
// falsely on the library's memcmp path of std::vector's operator<).
struct ConfigurationOrder {
  bool operator()(const Configuration& a, const Configuration& b) const {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return a[i] < b[i];
    return a.size() < b.size();
  }
  template <typename T>
  bool operator()(const std::pair<T, Configuration>& a,
                  const std::pair<T, Configuration>& b) const {
    if (a.first != b.first) return a.first < b.first;
    return (*this)(a.second, b.second);
  }
};

struct OrbitSpace {
  int position = 0;         // the parent position
  std::vector<int> sites;   // disordered-site numbers, ascending
  std::vector<int> species; // species numbers of ConfigurationSpace::species
  std::vector<int> counts;  // sites each fills, all positive, adding up to sites.size()
};

struct ConfigurationSpace {
  std::vector<int> sites;          // supercell site of each disordered site
  std::vector<int> disorderedSite; // per supercell site, its disordered-site number or -1
  std::vector<int> siteOrbit;      // per disordered site, its orbit
  std::vector<OrbitSpace> orbits;
  std::vector<Species> species; // every species on a disordered site
  std::vector<double> charges;  // per species
  // Per supercell site the species it holds when it is fixed (position, species
  // index within the position); -1 for a disordered site.
  std::vector<int> fixedSpecies;
  int atoms = 0; // atoms of the supercell in every configuration (vacancies not counted)
  int size() const { return static_cast<int>(sites.size()); }
};

// Orbits whose rounded composition leaves one species are fixed; CifError
// when no position is left disordered.
ConfigurationSpace configurationSpace(const DisorderedCrystal& crystal, const Supercell& supercell,
                                      const Composition& composition);

// The charges of a configuration, per disordered site.
std::vector<double> chargesOf(const ConfigurationSpace& space, const Configuration& c);

// Every configuration: the product over orbits of the multinomial coefficients.
BigCount totalConfigurations(const ConfigurationSpace& space);

} // namespace telva
