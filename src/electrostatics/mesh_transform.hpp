// The three-dimensional real-to-complex Fourier transform of a periodic mesh
// and its inverse, by FFTW3 (Frigo & Johnson, Proc. IEEE 93, 216 (2005)).
//
// The transform is done as planes and lines: a two-dimensional transform of
// every plane of constant first index, then a one-dimensional one along the
// first axis for every column of the planes' half spectra. Each kind is
// planned once per mesh (FFTW_ESTIMATE: no timing, the same plan in every
// run) and executed on the planes or columns by the core's threads, so the
// arithmetic of every value is the same for every thread count.
//
// Layout: node (i, j, k) of a K1 x K2 x K3 mesh is values[(i K2 + j) P + k]
// with P = 2 (K3/2 + 1), the padding of an in-place transform; after
// forward(), complex entry (m1, m2, m3), m3 <= K3/2, is the pair at
// 2 ((m1 K2 + m2) (K3/2 + 1) + m3). Unnormalised: inverse(forward(x)) is
// K1 K2 K3 x.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace telva {

struct MeshTransform {
  std::array<int, 3> nodes{};
  std::int64_t rowLength = 0; // P, doubles
  // The mesh (FFTW's aligned allocation) and the plans, released together.
  std::shared_ptr<double> values;
  std::shared_ptr<void> planes, planesInverse, columns, columnsInverse;
  double* data() const { return values.get(); }
  std::int64_t size() const { return std::int64_t(nodes[0]) * nodes[1] * rowLength; }
};

// Doubles a mesh of these nodes holds (with its padding).
std::int64_t meshDoubles(const std::array<int, 3>& nodes);

// Allocates the mesh, zeroed, and plans its transforms.
MeshTransform planMeshTransform(const std::array<int, 3>& nodes);

// In place, on up to `threads` threads (all when 0).
void forwardTransform(const MeshTransform& mesh, int threads);
void inverseTransform(const MeshTransform& mesh, int threads);

} // namespace telva
