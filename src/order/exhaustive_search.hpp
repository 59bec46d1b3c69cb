// Every configuration scored, in an order where consecutive ones differ by
// one swap of two sites (a revolving-door walk over the inner orbit's
// sites, the other orbits' choices counted in mixed radix around it), so
// that each costs O(m): the field at the walked sites and the energy are
// updated, never recomputed. The lowest `keep` configurations are kept (a
// bounded heap); the Boltzmann sum runs over all. The work is split into a
// fixed number of chunks, each starting from its unranked configuration,
// and merged in chunk order: the same result for every thread count.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "order/configuration_space.hpp"
#include "order/pair_energy.hpp"

namespace telva {

struct EnumerationPlan {
  struct Level {
    int orbit = 0;
    int species = 0; // index within the orbit
    int n = 0, t = 0;
    std::uint64_t count = 0;
  };
  std::vector<Level> outer; // mixed radix, the last fastest
  int innerOrbit = 0;
  int innerChosen = 0, innerOther = 0; // indices within the orbit
  int innerN = 0, innerT = 0;
  std::uint64_t innerCount = 1, outerCount = 1, total = 1;
  // The inner orbit's first site held by the chosen species: when the group
  // moves that site onto every site of its orbit, each ordering has the same
  // share t/n of its configurations among those walked, so the walk scores
  // t/n of them and every one stands for n/t in the Boltzmann sum.
  bool firstFixed = false;
  double multiplicity = 1;
};

// total 0 when the configurations pass 2^63. With the group, the inner
// orbit's first site is fixed where the group allows it.
EnumerationPlan enumerationPlan(const ConfigurationSpace& space,
                                const std::vector<std::vector<int>>* group = nullptr);

// The configuration of global index `index` (outer index x innerCount + the
// inner combination's revolving-door rank), and the inner walk's sites.
Configuration configurationAt(const ConfigurationSpace& space, const EnumerationPlan& plan,
                              std::uint64_t index, std::vector<int>* innerSites = nullptr,
                              std::vector<int>* innerCombination = nullptr);

struct EnergyHistogram {
  double origin = 0, width = 0; // e^2/Angstrom per cell
  std::int64_t first = 0;       // bin index of counts[0]
  std::vector<std::uint64_t> counts;
  void add(double energy);
  void merge(const EnergyHistogram& other);
};

struct Enumeration {
  // The lowest configurations, (approximate energy, index), ascending.
  std::vector<std::pair<double, std::uint64_t>> lowest;
  // Z = sum exp(-(E - shift)/kT) over all configurations (energies e^2/A).
  double partitionShift = 0, partitionSum = 0;
  std::uint64_t scored = 0;
  double lowestEnergy = 0, highestEnergy = 0;
  EnergyHistogram histogram;
};

inline constexpr int enumerationChunks = 256;

// kT in e^2/Angstrom; histogramWidth the width of the fine bins (e^2/A).
Enumeration enumerateAll(const ConfigurationSpace& space, const PairEnergy& energy,
                         const EnumerationPlan& plan, std::size_t keep, double kT,
                         double histogramOrigin, double histogramWidth, int threads,
                         const std::function<void(double)>& progress);

} // namespace telva
