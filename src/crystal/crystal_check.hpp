// The values of a crystal that make every result meaningless, refused before
// any computation: a lattice that describes no cell, and a translation,
// charge, W or coordinate that is not a finite number.
#pragma once

#include <array>
#include <span>
#include <string>

#include "crystal/crystal.hpp"

namespace telva {

// The first defect in the order lattice, translations, sites (each site's
// charge, W, then coordinates), as a text such as "lattice parameters
// describe no cell"; empty when there is none.
std::string crystalDefect(const std::array<double, 6>& lattice, std::span<const SymOp> symOps,
                          std::span<const Site> sites);

inline std::string crystalDefect(const Crystal& crystal) {
  return crystalDefect(crystal.lattice, crystal.symOps, crystal.sites);
}

} // namespace telva
