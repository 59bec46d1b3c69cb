// Four-lane double vectors for the inner loops of the fast kernels. The lanes
// are element-wise IEEE operations, so a loop gives the same bits whether the
// compiler maps them to two SSE2 registers or one AVX register.
#pragma once

#include <cstring>

namespace telva {

typedef double Lanes __attribute__((vector_size(32)));

inline Lanes loadLanes(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void storeLanes(double* p, Lanes v) {
  std::memcpy(p, &v, sizeof v);
}
inline Lanes splat(double x) {
  return Lanes{x, x, x, x};
}
// ((v0 + v1) + (v2 + v3)).
inline double laneSum(Lanes v) {
  return (v[0] + v[1]) + (v[2] + v[3]);
}

// Compiles a hot kernel also for AVX2, chosen when the processor has it.
#if defined(__clang__) || defined(__SANITIZE_ADDRESS__) || defined(TELVA_NO_CLONES)
#define TELVA_VECTOR_CLONES
#else
#define TELVA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif

} // namespace telva
