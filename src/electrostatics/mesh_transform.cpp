#include "electrostatics/mesh_transform.hpp"

#include <fftw3.h>

#include <cstring>
#include <mutex>
#include <new>

#include "base/fault.hpp"
#include "base/parallel.hpp"

namespace telva {

namespace {

// FFTW's planner is not thread-safe; its execution with new arrays is.
std::mutex plannerLock;

std::shared_ptr<void> owned(fftw_plan plan) {
  if (!plan) throw Fault{faults::outOfMemory, "the mesh's Fourier transform could not be planned"};
  return std::shared_ptr<void>(plan, [](void* p) {
    const std::lock_guard<std::mutex> lock(plannerLock);
    fftw_destroy_plan(static_cast<fftw_plan>(p));
  });
}

fftw_complex* complexAt(double* p) {
  return reinterpret_cast<fftw_complex*>(p);
}

// A plan runs on new arrays only of the alignment it was made for; every
// plane and column starts a multiple of 16 bytes from the mesh, which keeps it.
void checkAlignment(const MeshTransform& mesh, double* p) {
  if (fftw_alignment_of(p) != fftw_alignment_of(mesh.data()))
    throw Fault{faults::invalidValue, "a line of the mesh lost the alignment of its plan"};
}

} // namespace

std::int64_t meshDoubles(const std::array<int, 3>& nodes) {
  return std::int64_t(nodes[0]) * nodes[1] * 2 * (nodes[2] / 2 + 1);
}

MeshTransform planMeshTransform(const std::array<int, 3>& nodes) {
  MeshTransform mesh;
  mesh.nodes = nodes;
  mesh.rowLength = 2 * (nodes[2] / 2 + 1);
  const std::int64_t count = meshDoubles(nodes);
  double* raw = static_cast<double*>(fftw_malloc(sizeof(double) * std::size_t(count)));
  if (!raw) throw std::bad_alloc();
  std::memset(raw, 0, sizeof(double) * std::size_t(count));
  mesh.values = std::shared_ptr<double>(raw, [](double* p) { fftw_free(p); });

  const int k1 = nodes[0], k2 = nodes[1], k3 = nodes[2];
  const int half = k3 / 2 + 1;
  const unsigned flags = FFTW_ESTIMATE;
  const std::lock_guard<std::mutex> lock(plannerLock);
  // One plane (K2 x K3, padded rows), in place. FFTW_ESTIMATE leaves the
  // arrays untouched while planning.
  mesh.planes = owned(fftw_plan_dft_r2c_2d(k2, k3, raw, complexAt(raw), flags));
  mesh.planesInverse = owned(fftw_plan_dft_c2r_2d(k2, k3, complexAt(raw), raw, flags));
  // The columns of one row of planes' spectra: K1 points K2 * half apart,
  // for the half neighbouring columns m3 = 0 .. K3/2 of one m2.
  const int n[1] = {k1};
  const int stride = k2 * half;
  mesh.columns = owned(fftw_plan_many_dft(1, n, half, complexAt(raw), nullptr, stride, 1,
                                          complexAt(raw), nullptr, stride, 1, FFTW_FORWARD, flags));
  mesh.columnsInverse =
      owned(fftw_plan_many_dft(1, n, half, complexAt(raw), nullptr, stride, 1, complexAt(raw),
                               nullptr, stride, 1, FFTW_BACKWARD, flags));
  return mesh;
}

namespace {

void transformPlanes(const MeshTransform& mesh, bool inverse, int threads) {
  const std::int64_t plane = std::int64_t(mesh.nodes[1]) * mesh.rowLength;
  const fftw_plan plan =
      static_cast<fftw_plan>(inverse ? mesh.planesInverse.get() : mesh.planes.get());
  parallelFor(
      mesh.nodes[0],
      [&](int i) {
        double* p = mesh.data() + i * plane;
        checkAlignment(mesh, p);
        if (inverse)
          fftw_execute_dft_c2r(plan, complexAt(p), p);
        else
          fftw_execute_dft_r2c(plan, p, complexAt(p));
      },
      threads);
}

void transformColumns(const MeshTransform& mesh, bool inverse, int threads) {
  const fftw_plan plan =
      static_cast<fftw_plan>(inverse ? mesh.columnsInverse.get() : mesh.columns.get());
  parallelFor(
      mesh.nodes[1],
      [&](int j) {
        double* start = mesh.data() + std::int64_t(j) * mesh.rowLength;
        checkAlignment(mesh, start);
        fftw_complex* p = complexAt(start);
        fftw_execute_dft(plan, p, p);
      },
      threads);
}

} // namespace

void forwardTransform(const MeshTransform& mesh, int threads) {
  transformPlanes(mesh, false, threads);
  transformColumns(mesh, false, threads);
}

void inverseTransform(const MeshTransform& mesh, int threads) {
  transformColumns(mesh, true, threads);
  transformPlanes(mesh, true, threads);
}

} // namespace telva
