#include "base/parallel.hpp"

#include <cstdlib>

namespace telva {

int threadCount() {
  int threads = static_cast<int>(std::thread::hardware_concurrency());
  if (threads < 1) threads = 1;
  // TELVA_THREADS sets the count (results do not depend on it); tests use it
  // to run more threads than the machine has cores.
  if (const char* setting = std::getenv("TELVA_THREADS")) {
    char* end = nullptr;
    const long wanted = std::strtol(setting, &end, 10);
    if (end != setting && *end == '\0' && wanted >= 1 && wanted <= 256)
      threads = static_cast<int>(wanted);
  }
  return threads;
}

} // namespace telva
