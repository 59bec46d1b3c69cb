// Helpers of the CIF conversion tests: reading a written input back through
// the program's own reader, expanding it into the cell, and CIF texts.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "listing/input_file.hpp"
#include "records/record_files.hpp"

namespace telva::cif_test {

// The head of an input text as the program reads it.
inline InputHead readBack(const std::string& text) {
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  InputFile input(in, "written.inp");
  Listing listing(std::fopen("/dev/null", "wb"), "/dev/null");
  InputHead head = readHead(input, listing);
  listing.close();
  return head;
}

// Every image of every site under every operation, inverted companions
// included, reduced into the cell: what the program's sums run over.
struct WeightedImage {
  std::string label;
  double x, y, z;
  double weight;
  double charge;
};

inline double reduced(double v) {
  const double r = v - std::floor(v);
  return r >= 1 ? 0 : r;
}

inline std::vector<WeightedImage> expandHead(const InputHead& head) {
  std::vector<WeightedImage> images;
  for (const Site& site : head.sites)
    for (const SymOp& op : head.symOps)
      for (int sign : {1, -1}) {
        if (sign < 0 && !head.inversionAtOrigin) continue;
        const Position p = applyToPosition(op, site.x, site.y, site.z);
        images.push_back({site.label, reduced(sign * p.x), reduced(sign * p.y), reduced(sign * p.z),
                          site.W, site.charge});
      }
  return images;
}

// Fractional distance modulo lattice, per axis.
inline double wrappedDifference(double a, double b) {
  const double d = a - b;
  return std::abs(d - std::round(d));
}

// Spinel MgAl2O4 in Fd-3m, origin at the centre of symmetry (origin choice
// 2): 192 operations, Mg on 8a, Al on 16d, O on 32e. Charges from the
// oxidation-number loop; only the Hermann-Mauguin symbol gives the symmetry.
inline const char* const spinelCif = R"(data_spinel
_chemical_formula_sum 'Al2 Mg O4'
_space_group_name_H-M_alt 'F d -3 m :2'
_cell_length_a 8.0832(2)
_cell_length_b 8.0832(2)
_cell_length_c 8.0832(2)
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
loop_
_atom_type_symbol
_atom_type_oxidation_number
Mg 2
Al 3
O -2
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_occupancy
Mg1 Mg 0.125 0.125 0.125 1
Al1 Al 0.5 0.5 0.5 1
O1 O 0.2624(1) 0.2624(1) 0.2624(1) 1
)";

} // namespace telva::cif_test
