// One atom of the asymmetric unit.
#pragma once

#include <string>

namespace telva {

struct Site {
  std::string label;          // exactly 8 characters as read, blanks included
  double charge = 0;          // ionic charge Z, in elementary charges
  double W = 0;               // weight of the site's charge in the table and the energy
  double x = 0, y = 0, z = 0; // fractional coordinates, as read
};

} // namespace telva
