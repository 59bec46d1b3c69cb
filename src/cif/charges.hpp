// The charge of every site: from the command line's --charge assignments, the
// CIF's oxidation numbers and the charge suffixes of type symbols; the
// spellings of a charge; and the one message that names every site left
// without one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cif/cif_data.hpp"

namespace telva {

// What a --charge name stands for. A bare name means whichever of element,
// label and type symbol it names; when it names more than one set of sites it
// is refused with the explicit spellings (element:Ge, label:Ge, type:OH).
enum class ChargeScope { any, element, label, type };

struct ChargeOverride {
  std::string name;
  double charge = 0;
  ChargeScope scope = ChargeScope::any;
};

// A charge as written on a command line: 3, -2, +3, 2.5, 3+, 2-, 7/3, -7/3.
// nullopt for anything else.
std::optional<double> chargeValue(std::string_view text);

// "[element:|label:|type:]NAME=Z"; a command-line CifError when it is none.
ChargeOverride parseChargeAssignment(const std::string& text);

// The assignment as the user would write it, as in "label:Ge1=3".
std::string chargeAssignmentText(const ChargeOverride& o);

// The charge carried by a type symbol's suffix: O2- -> -2, Fe3+ -> 3, Na+ -> 1,
// O-2 -> -2; nullopt when it carries none (Fe, Fe1).
std::optional<double> chargeFromTypeSymbol(std::string_view symbol);

// Charges of the sites in order, each from the first of: an assignment naming
// its label, its type symbol, its element (a later repeat of one spelling
// wins); the CIF's oxidation number of its type; its type symbol's suffix.
// nullopt where none applies. CifError for an assignment that names no site or
// names two different sets of sites.
std::vector<std::optional<double>> knownCharges(const CifCrystal& crystal,
                                                const std::vector<ChargeOverride>& overrides);

// The assignments that name no site of the crystal, each with the sentence
// that says so ("no site of element Cl; --charge Cl=-1 not used").
struct UnusedCharge {
  ChargeOverride assignment;
  std::string text;
};
std::vector<UnusedCharge> unusedCharges(const CifCrystal& crystal,
                                        const std::vector<ChargeOverride>& overrides);

// knownCharges with every site charged; else CifError(missingChargesMessage).
std::vector<double> resolveCharges(const CifCrystal& crystal,
                                   const std::vector<ChargeOverride>& overrides);

// One message naming every site without a charge, grouped by the option that
// would give it, with a command line to run again. `suggested` holds values
// to put into that command line (element -> charge, from the guess) where
// known; the others read Z.
std::string missingChargesMessage(const CifCrystal& crystal,
                                  const std::vector<ChargeOverride>& overrides,
                                  const std::vector<std::optional<double>>& known,
                                  const std::vector<std::pair<std::string, double>>& suggested);

// A charge written short: 3, -2, 2.5, 2.3333.
std::string chargeText(double charge);

} // namespace telva
