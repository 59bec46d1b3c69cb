// The records of the input file as data: one layout per kind of record, read
// by the listing program's head reader and written by the CIF converter. A
// number without a decimal point has the implied decimals of its field.
//
//   title               columns 1-72  text
//   radius and range    1-6, 7-12     R in Angstrom, qmax in 1/Angstrom (f6.2 each)
//   counts              1-3, 4-6, 7-9 operations, sites, inversion flag (i3 each)
//   lattice             1-54          a, b, c, alpha, beta, gamma (f9.6 each)
//   operation           1-45          three rows: translation (f11.6), two axis codes (i2)
//   site                1-54          label (a8), a blank column, charge, W, x, y, z (f9.4)
//   position            1-27          x, y, z (f9.6 each)
#pragma once

#include "base/capacities.hpp"
#include "records/fixed_column.hpp"

namespace telva::inputRecords {

inline const Layout title = {textField(titleWidth)};
inline const Layout radiusAndRange = {fixedField(6, 2), fixedField(6, 2)};
inline const Layout counts = {integerField(3), integerField(3), integerField(3)};
inline const Layout lattice = {fixedField(9, 6), fixedField(9, 6), fixedField(9, 6),
                               fixedField(9, 6), fixedField(9, 6), fixedField(9, 6)};
inline const Layout symOp = {fixedField(11, 6), integerField(2), integerField(2),
                             fixedField(11, 6), integerField(2), integerField(2),
                             fixedField(11, 6), integerField(2), integerField(2)};
inline const Layout site = {textField(labelWidth), skip(1),          fixedField(9, 4),
                            fixedField(9, 4),      fixedField(9, 4), fixedField(9, 4),
                            fixedField(9, 4)};
inline const Layout position = {fixedField(9, 6), fixedField(9, 6), fixedField(9, 6)};

} // namespace telva::inputRecords
