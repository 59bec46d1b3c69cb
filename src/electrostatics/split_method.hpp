// The choice between the Gaussian method's two reciprocal halves for one
// crystal and tolerance: the direct table or the mesh, whichever the
// parameter choices predict to be less work. Cells of fewer atoms than
// smallestMeshCell always take the table, so that small cells keep the
// direct method's results bit for bit.
#pragma once

#include <cstdint>

#include "crystal/crystal.hpp"

namespace telva {

enum class SplitMethod { direct, mesh };

// Atoms of one cell below which the direct method is always chosen.
inline constexpr std::int64_t smallestMeshCell = 2000;

// For `pointsPerCall` points with one model (0: the sites of the asymmetric
// unit). Faults as prepareEwald's for a tolerance or crystal it refuses.
SplitMethod chooseSplitMethod(const Crystal& crystal, double tolerance,
                              std::int64_t pointsPerCall = 0);

} // namespace telva
