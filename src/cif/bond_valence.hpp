// Bond valences: a cation-anion bond of length d carries the valence
// s = exp((R0 - d) / b), b = 0.37 A, and the valences of a cation's bonds add
// up to its oxidation state (Brese & O'Keeffe, Acta Cryst. B47, 192 (1991)).
#pragma once

#include <optional>
#include <string>

namespace telva {

// b of every bond valence, Angstrom (Brese & O'Keeffe 1991).
inline constexpr double bondValenceB = 0.37;

// R0 of the pair in Angstrom for the cation in `state`: the list's figure for
// that state, else its figure for any state, else that of the nearest state
// it gives; nullopt when it gives none for the pair.
std::optional<double> bondValenceR0(const std::string& cation, int state, const std::string& anion);

} // namespace telva
