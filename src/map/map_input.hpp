// Reading the crystal of a map: a TELVA input file through the listing
// program's own head reader (so that every fault has telva's number and
// text), or a CIF through telva-cif's conversion (so that every refusal and
// default is telva-cif's).
#pragma once

#include <ostream>
#include <string>

#include "cif/conversion.hpp"
#include "map/map_crystal.hpp"

namespace telva {

// The head of a TELVA input file; position records after it are not read.
// Faults as telva reports them (file not found, end of file, conversion
// errors, refused values).
MapCrystal readInputFileCrystal(const std::string& path);

// A CIF converted as telva-cif converts it; its notes and warnings go to
// `notes` as telva-cif words them (its choice of R and qmax only for the
// sphere method, which uses them). The fault mapFaults::crystal with
// telva-cif's text ("PATH: what is wrong") when it refuses.
MapCrystal readCifCrystal(const std::string& path, const ConversionOptions& options,
                          std::ostream& notes, bool sphereMethod);

// A picture's title for a CIF: "Al2 O3 (data block corundum)", or the block
// alone without a formula.
std::string cifHeading(const std::string& formula, const std::string& block);

} // namespace telva
