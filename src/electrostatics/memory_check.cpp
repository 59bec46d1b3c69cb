#include "electrostatics/memory_check.hpp"

#include <cmath>
#include <cstdio>

#include "base/fault.hpp"

namespace telva {

namespace {

std::string megabytes(double bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f MB", std::ceil(bytes / 1e6));
  return text;
}

} // namespace

void checkMemory(double bytes, std::int64_t limit, const std::string& what) {
  if (bytes >= 0 && bytes <= double(limit)) return;
  throw Fault{
      faults::outOfMemory,
      "insufficient memory: " + what + " needs " +
          (std::isfinite(bytes) ? megabytes(bytes) : std::string("more than any machine has")) +
          ", more than the limit of " + megabytes(double(limit)) +
          "; raise the limit or choose a smaller range or grid"};
}

double tableBytes(std::int64_t entries, bool inversionAtOrigin) {
  return double(entries) * sizeof(double) * (inversionAtOrigin ? 1 : 2);
}

} // namespace telva
