// Chemical elements by symbol, for the atoms of map files.
#pragma once

#include <string>

namespace telva {

// The atomic number of an element symbol in its usual case ("Na", "O"); 0
// when it names no element.
int atomicNumber(const std::string& symbol);

// The element a site label starts with: two letters when they form a symbol
// ("Cl1" -> Cl, "NA1" -> Na), else one ("O2" -> O, "Os" is osmium); an empty
// string when the label starts with no element symbol.
std::string labelElement(const std::string& label);

} // namespace telva
