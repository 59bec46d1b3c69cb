// The one limit the library keeps: a computation whose stores would pass a
// number of bytes is refused before anything is allocated, with the figure.
#pragma once

#include <cstdint>
#include <string>

namespace telva {

// Throws the insufficient-memory fault, naming `what`, the bytes it needs and
// the limit, when `bytes` is more than `limit` (or not a sensible count).
void checkMemory(double bytes, std::int64_t limit, const std::string& what);

// Bytes of the coefficient table of a box of `entries` entries: A, and B
// unless the inversion flag makes it zero.
double tableBytes(std::int64_t entries, bool inversionAtOrigin);

} // namespace telva
