#include "electrostatics/pme_model.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/numbers.hpp"
#include "base/parallel.hpp"
#include "electrostatics/cardinal_bspline.hpp"
#include "electrostatics/memory_check.hpp"
#include "electrostatics/pme_parameters.hpp"

namespace telva {

namespace {

// One charge's place on the mesh: the node floor(K s) along each axis and
// the order's weights M_p(w + j), j = 0 .. p-1, of each axis.
struct SplinePlace {
  std::array<int, 3> base{};
  std::array<std::array<double, largestSplineOrder>, 3> weights{};
};

// The nodes base - j, j = 0 .. order-1, of one axis of K nodes, wrapped.
void wrappedNodes(int base, int order, int nodes, int* out) {
  for (int j = 0; j < order; ++j)
    out[j] = base - j < 0 ? base - j + nodes : base - j;
}

// One run of a row without a wrap: top[-j] += w * weights[j], j = 0 .. P-1,
// and the sum of weights[j] top[-j] in the order of j. P is a constant so
// that the compiler unrolls the run; `order` picks it.
template <int P> void addRun(double* top, double w, const double* weights) {
  for (int j = 0; j < P; ++j)
    top[-j] += w * weights[j];
}

template <int P> double runSum(const double* top, const double* weights) {
  double sum = 0;
  for (int j = 0; j < P; ++j)
    sum += weights[j] * top[-j];
  return sum;
}

void addRun(int order, double* top, double w, const double* weights) {
  switch (order) {
  case 4:
    return addRun<4>(top, w, weights);
  case 6:
    return addRun<6>(top, w, weights);
  case 8:
    return addRun<8>(top, w, weights);
  case 10:
    return addRun<10>(top, w, weights);
  default:
    return addRun<12>(top, w, weights);
  }
}

double runSum(int order, const double* top, const double* weights) {
  switch (order) {
  case 4:
    return runSum<4>(top, weights);
  case 6:
    return runSum<6>(top, weights);
  case 8:
    return runSum<8>(top, weights);
  case 10:
    return runSum<10>(top, weights);
  default:
    return runSum<12>(top, weights);
  }
}

SplinePlace splinePlace(const std::array<int, 3>& nodes, int order, const Position& s) {
  SplinePlace place;
  const double f[3] = {s.x, s.y, s.z};
  for (int i = 0; i < 3; ++i) {
    const double u = (f[i] - std::floor(f[i])) * nodes[i];
    const double whole = std::floor(u);
    // u rounds up to K itself for a coordinate just below 0 or 1: node 0.
    const int base = int(whole);
    place.base[i] = base >= nodes[i] ? base - nodes[i] : base;
    splineWeights(order, u - whole, place.weights[i]);
  }
  return place;
}

// Bytes per charge of the spreading: its place and charge, and its index
// in the planes' buckets.
constexpr double spreadBytesPerAtom = sizeof(SplinePlace) + sizeof(double) + sizeof(int);

// Q on the mesh, plane by plane: a plane i takes the charges whose first
// base node is i, i+1, .., i+p-1 (mod K1), in that order and each bucket in
// the atoms' order, so every node sums its terms in one fixed order and each
// plane is written by one thread.
void spreadCharges(const PmeModel& model, const std::vector<AtomImage>& atoms) {
  const std::array<int, 3>& k = model.mesh.nodes;
  const int order = model.parameters.splineOrder;
  const CellFrame frame = model.cells.frame;
  std::vector<SplinePlace> places;
  std::vector<double> charges;
  std::vector<int> bucketStart(std::size_t(k[0]) + 1, 0);
  for (const AtomImage& atom : atoms)
    if (atom.charge != 0) {
      places.push_back(splinePlace(k, order, toFractional(frame, atom.r)));
      charges.push_back(atom.charge);
      ++bucketStart[std::size_t(places.back().base[0]) + 1];
    }
  for (int i = 0; i < k[0]; ++i)
    bucketStart[i + 1] += bucketStart[i];
  std::vector<int> sorted(places.size());
  {
    std::vector<int> fill(bucketStart.begin(), bucketStart.end() - 1);
    for (std::size_t a = 0; a < places.size(); ++a)
      sorted[fill[places[a].base[0]]++] = int(a);
  }
  const std::int64_t row = model.mesh.rowLength;
  const std::int64_t plane = std::int64_t(k[1]) * row;
  parallelFor(
      k[0],
      [&](int i) {
        double* values = model.mesh.data() + i * plane;
        for (int j1 = 0; j1 < order; ++j1) {
          const int bucket = (i + j1) % k[0];
          for (int n = bucketStart[bucket]; n < bucketStart[bucket + 1]; ++n) {
            const SplinePlace& p = places[sorted[n]];
            const double w1 = charges[sorted[n]] * p.weights[0][j1];
            int n2[largestSplineOrder], n3[largestSplineOrder];
            wrappedNodes(p.base[1], order, k[1], n2);
            const double* w3 = p.weights[2].data();
            if (p.base[2] >= order - 1) {
              // The nodes base, base-1, .. of the third axis without a wrap:
              // one run of the row (the same terms in the same order).
              for (int j2 = 0; j2 < order; ++j2) {
                addRun(order, values + n2[j2] * row + p.base[2], w1 * p.weights[1][j2], w3);
              }
            } else {
              wrappedNodes(p.base[2], order, k[2], n3);
              for (int j2 = 0; j2 < order; ++j2) {
                double* line = values + n2[j2] * row;
                const double w12 = w1 * p.weights[1][j2];
                for (int j3 = 0; j3 < order; ++j3)
                  line[n3[j3]] += w12 * w3[j3];
              }
            }
          }
        }
      },
      model.threads);
}

// The transformed mesh times theta(m), plane m1 by plane.
void applyInfluence(const PmeModel& model) {
  const std::array<int, 3>& k = model.mesh.nodes;
  const EwaldParameters& p = model.parameters;
  std::array<std::vector<double>, 3> moduli;
  for (int i = 0; i < 3; ++i)
    moduli[i] = splineModuli(p.splineOrder, k[i]);
  const double scale = 1.0 / (pi * model.geometry.volume);
  const double decay = pi * pi / (p.alpha * p.alpha);
  const int half = k[2] / 2 + 1;
  const std::int64_t row = model.mesh.rowLength;
  parallelFor(
      k[0],
      [&](int m1) {
        const int h = m1 <= k[0] / 2 ? m1 : m1 - k[0];
        for (int m2 = 0; m2 < k[1]; ++m2) {
          const int kk = m2 <= k[1] / 2 ? m2 : m2 - k[1];
          double* line = model.mesh.data() + (std::int64_t(m1) * k[1] + m2) * row;
          for (int m3 = 0; m3 < half; ++m3) {
            const double s2 = recipLengthSquared(model.geometry, h, kk, m3);
            const double theta = s2 > 0 ? std::exp(-decay * s2) * scale / s2 * moduli[0][m1] *
                                              moduli[1][m2] * moduli[2][m3]
                                        : 0.0;
            line[2 * m3] *= theta;
            line[2 * m3 + 1] *= theta;
          }
        }
      },
      model.threads);
}

double interpolate(const PmeModel& model, const Position& s) {
  const std::array<int, 3>& k = model.mesh.nodes;
  const int order = model.parameters.splineOrder;
  const SplinePlace p = splinePlace(k, order, s);
  const std::int64_t row = model.mesh.rowLength;
  int n1[largestSplineOrder], n2[largestSplineOrder], n3[largestSplineOrder];
  wrappedNodes(p.base[0], order, k[0], n1);
  wrappedNodes(p.base[1], order, k[1], n2);
  wrappedNodes(p.base[2], order, k[2], n3);
  // Without a wrap along the third axis the nodes base, base-1, .. are one
  // run of each row (the same terms in the same order).
  const bool run = p.base[2] >= order - 1;
  const double* w3 = p.weights[2].data();
  double sum = 0;
  for (int j1 = 0; j1 < order; ++j1) {
    const double* plane = model.mesh.data() + std::int64_t(n1[j1]) * k[1] * row;
    double planeSum = 0;
    for (int j2 = 0; j2 < order; ++j2) {
      const double* line = plane + n2[j2] * row;
      double lineSum = 0;
      if (run) {
        lineSum = runSum(order, line + p.base[2], w3);
      } else {
        for (int j3 = 0; j3 < order; ++j3)
          lineSum += w3[j3] * line[n3[j3]];
      }
      planeSum += p.weights[1][j2] * lineSum;
    }
    sum += p.weights[0][j1] * planeSum;
  }
  return sum;
}

} // namespace

std::int64_t pmeModelBytes(const Crystal& crystal, const EwaldParameters& parameters) {
  const double images = double(atomImageCount(crystal, parameters.cutoff));
  // At most every site's image under every operation and its inverse.
  const double atoms = double(crystal.sites.size()) * double(crystal.symOps.size()) *
                       (crystal.inversionAtOrigin ? 2 : 1);
  const double bins = std::max(images, 4096.0) + 1;
  const double mesh =
      8.0 * double(parameters.mesh[0]) * parameters.mesh[1] * 2 * (parameters.mesh[2] / 2 + 1);
  // The images are generated, then sorted into the bins: twice at the peak;
  // the cell's atoms are held while the charges are spread.
  const double bytes = mesh + atoms * (spreadBytesPerAtom + sizeof(AtomImage)) +
                       images * sizeof(AtomImage) * 2 + bins * sizeof(std::int32_t) +
                       double(parameters.mesh[0] + 1) * sizeof(int);
  return bytes < 9.0e18 ? std::int64_t(bytes) : std::int64_t(9.0e18);
}

namespace {

struct CellCharges {
  std::vector<AtomImage> atoms;
  PmeWorkload work;
  double totalCharge = 0;
};

CellCharges cellCharges(const Crystal& crystal, const CellGeometry& geometry) {
  CellCharges c;
  c.atoms = cellAtoms(crystal, cellFrame(geometry));
  c.work.volume = geometry.volume;
  c.work.edges = {geometry.a, geometry.b, geometry.c};
  for (const AtomImage& atom : c.atoms) {
    c.work.squaredCharges += atom.charge * atom.charge;
    c.totalCharge += atom.charge;
  }
  c.work.cellAtoms = std::int64_t(c.atoms.size());
  c.work.points = std::int64_t(crystal.sites.size());
  return c;
}

PmeModel build(const Crystal& crystal, const EwaldParameters& parameters, int threads,
               std::int64_t memoryLimitBytes, CellCharges& charges) {
  const EwaldParameters& p = parameters;
  char tolerancePrinted[32];
  std::snprintf(tolerancePrinted, sizeof tolerancePrinted, "%g", p.tolerance);
  checkMemory(double(pmeModelBytes(crystal, p)), memoryLimitBytes,
              "the mesh method for this crystal at tolerance " + std::string(tolerancePrinted) +
                  " e/A (a mesh of " + std::to_string(p.mesh[0]) + " x " +
                  std::to_string(p.mesh[1]) + " x " + std::to_string(p.mesh[2]) + ")");
  PmeModel model;
  model.crystal = crystal;
  model.threads = threads;
  model.geometry = buildCellGeometry(crystal.lattice, 0.0);
  model.parameters = p;
  model.totalCharge = charges.totalCharge;
  model.cells = buildAtomCells(crystal, p.cutoff);
  model.mesh = planMeshTransform(p.mesh);
  spreadCharges(model, charges.atoms);
  charges.atoms = {};
  forwardTransform(model.mesh, threads);
  applyInfluence(model);
  inverseTransform(model.mesh, threads);
  model.background = -pi * model.totalCharge / (p.alpha * p.alpha * model.geometry.volume);
  return model;
}

} // namespace

PmeModel preparePme(const Crystal& crystal, double tolerance, int threads,
                    std::int64_t memoryLimitBytes, std::int64_t pointsPerCall) {
  checkEwaldInput(crystal, tolerance, threads);
  CellCharges charges = cellCharges(crystal, buildCellGeometry(crystal.lattice, 0.0));
  if (pointsPerCall > 0) charges.work.points = pointsPerCall;
  const EwaldParameters p = choosePmeParameters(charges.work, tolerance);
  return build(crystal, p, threads, memoryLimitBytes, charges);
}

PmeModel preparePmeWith(const Crystal& crystal, const EwaldParameters& parameters, int threads,
                        std::int64_t memoryLimitBytes) {
  checkEwaldInput(crystal, parameters.tolerance > 0 ? parameters.tolerance : 1.0, threads);
  const int order = parameters.splineOrder;
  if (order < smallestSplineOrder || order > largestSplineOrder || order % 2 != 0 ||
      *std::min_element(parameters.mesh.begin(), parameters.mesh.end()) < order ||
      !(parameters.alpha > 0) || !(parameters.cutoff > 0))
    throw Fault{faults::invalidValue,
                "the mesh method takes an even spline order from 4 to 12, mesh sizes of at least "
                "the order, and a positive alpha and cutoff"};
  CellCharges charges = cellCharges(crystal, buildCellGeometry(crystal.lattice, 0.0));
  return build(crystal, parameters, threads, memoryLimitBytes, charges);
}

std::vector<double> pmeReciprocal(const PmeModel& model, std::span<const Position> points) {
  for (const Position& s : points)
    if (!std::isfinite(s.x) || !std::isfinite(s.y) || !std::isfinite(s.z))
      throw Fault{faults::invalidValue,
                  "a point of the mesh method has a coordinate that is not a finite number"};
  std::vector<double> values(points.size());
  parallelForBlocks(
      points.size(), 256, [&](std::size_t i) { values[i] = interpolate(model, points[i]); },
      model.threads);
  return values;
}

EwaldSites pmeSitePotentials(const PmeModel& model) {
  return assembleSitePotentials(
      model.crystal.sites, model.cells, model.parameters, model.background,
      pmeReciprocal(model, siteFractions(model.crystal.sites)), model.threads);
}

EwaldPoints pmePoints(const PmeModel& model, std::span<const Position> points) {
  return assemblePoints(model.cells, model.parameters, model.background, points,
                        pmeReciprocal(model, points), model.threads);
}

} // namespace telva
