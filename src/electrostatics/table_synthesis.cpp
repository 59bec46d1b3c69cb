#include "electrostatics/table_synthesis.hpp"

#include <algorithm>
#include <cmath>

#include "base/parallel.hpp"
#include "electrostatics/phase_factors.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/vector_lanes.hpp"

namespace telva {

namespace {

// Memory for the phase factors of one batch of points.
constexpr std::size_t batchBytes = std::size_t(2) << 20;
// Entries per part of the table; the parts, and so the order in which their
// partial sums are added, depend on the table alone.
constexpr std::size_t entriesPerPart = 1 << 12;
// Points evaluated side by side in the lanes of the inner loop.
constexpr int groupPoints = 8;

// Phase factors of a batch of points, interleaved so that the factors of one
// index for all points are contiguous: re[(n - first) * points + p].
struct BatchAxis {
  int first = 0;
  std::vector<double> re, im;
};

void fillBatchAxis(BatchAxis& axis, std::span<const Position> points, std::size_t stride, int first,
                   int count, double Position::*coordinate, int threads) {
  axis.first = first;
  axis.re.assign(std::size_t(count) * stride, 0.0);
  axis.im.assign(axis.re.size(), 0.0);
  parallelFor(
      static_cast<int>(points.size()),
      [&](int p) {
        const double angle = points[p].*coordinate * twoPi;
        for (int i = 0; i < count; ++i)
          phaseFactor(angle, first + i, axis.re[i * stride + p], axis.im[i * stride + p]);
      },
      threads);
}

// For one row and a group of points, per point:
// u = sum A cos(h px) + B sin(h px) and v = sum B cos(h px) - A sin(h px);
// the row then adds cr u + ci v with cr + i ci = e^{i(k py + l pz)}. The
// entries are summed in two interleaved chains (even and odd positions along
// the row) that are added at the end, so that the additions of one chain need
// not wait for the other's.
struct GroupSums {
  Lanes u0 = splat(0), u1 = splat(0), v0 = splat(0), v1 = splat(0);
};

template <bool withSine>
inline void addEntry(GroupSums& s, double a, double b, const double* hr, const double* hi) {
  const Lanes va = splat(a);
  const Lanes r0 = loadLanes(hr), r1 = loadLanes(hr + 4);
  const Lanes i0 = loadLanes(hi), i1 = loadLanes(hi + 4);
  if constexpr (withSine) {
    const Lanes vb = splat(b);
    s.u0 += va * r0 + vb * i0;
    s.u1 += va * r1 + vb * i1;
    s.v0 += vb * r0 - va * i0;
    s.v1 += vb * r1 - va * i1;
  } else {
    s.u0 += va * r0;
    s.u1 += va * r1;
    s.v0 -= va * i0;
    s.v1 -= va * i1;
  }
}

template <bool withSine>
inline void rowGroupSumsOf(const double* a, const double* b, int n, const double* hr,
                           const double* hi, std::size_t stride, double* u, double* v) {
  GroupSums even, odd;
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    addEntry<withSine>(even, a[i], withSine ? b[i] : 0.0, hr + i * stride, hi + i * stride);
    addEntry<withSine>(odd, a[i + 1], withSine ? b[i + 1] : 0.0, hr + (i + 1) * stride,
                       hi + (i + 1) * stride);
  }
  if (i < n)
    addEntry<withSine>(even, a[i], withSine ? b[i] : 0.0, hr + i * stride, hi + i * stride);
  storeLanes(u, even.u0 + odd.u0), storeLanes(u + 4, even.u1 + odd.u1);
  storeLanes(v, even.v0 + odd.v0), storeLanes(v + 4, even.v1 + odd.v1);
}

TELVA_VECTOR_CLONES
void rowGroupSums(const double* a, const double* b, int n, const double* hr, const double* hi,
                  std::size_t stride, double* u, double* v) {
  if (b)
    rowGroupSumsOf<true>(a, b, n, hr, hi, stride, u, v);
  else
    rowGroupSumsOf<false>(a, b, n, hr, hi, stride, u, v);
}

// Splits the rows into parts of about entriesPerPart entries: part p holds
// rows [bounds[p], bounds[p + 1]).
std::vector<std::size_t> partBounds(const std::vector<TableRow>& rows) {
  std::vector<std::size_t> bounds{0};
  std::size_t entries = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    entries += rows[r].length();
    if (entries >= entriesPerPart) {
      bounds.push_back(r + 1);
      entries = 0;
    }
  }
  if (bounds.back() != rows.size()) bounds.push_back(rows.size());
  return bounds;
}

} // namespace

std::vector<double> tablePotentials(const CoefficientTable& table, double volume,
                                    std::span<const Position> points, int threads) {
  std::vector<double> potentials(points.size(), 0.0);
  const std::vector<TableRow>& rows = table.rows;
  if (rows.empty() || points.empty()) {
    for (double& p : potentials)
      p = ((p + p) / pi) / volume;
    return potentials;
  }
  const std::vector<std::size_t> bounds = partBounds(rows);
  const int parts = static_cast<int>(bounds.size()) - 1;
  const std::size_t pointBytes =
      16 * std::size_t(2 * table.hmax + 1 + 2 * table.kmax + 1 + table.lmax + 1);
  const std::size_t batch =
      std::max<std::size_t>(groupPoints, batchBytes / pointBytes / groupPoints * groupPoints);
  const bool withSine = !table.inversionAtOrigin;

  BatchAxis hAxis, kAxis, lAxis;
  std::vector<double> partials; // [part][point]
  for (std::size_t first = 0; first < points.size(); first += batch) {
    const std::size_t count = std::min(batch, points.size() - first);
    const std::size_t stride = (count + groupPoints - 1) / groupPoints * groupPoints;
    const std::span<const Position> some = points.subspan(first, count);
    fillBatchAxis(hAxis, some, stride, -table.hmax, 2 * table.hmax + 1, &Position::x, threads);
    fillBatchAxis(kAxis, some, stride, -table.kmax, 2 * table.kmax + 1, &Position::y, threads);
    fillBatchAxis(lAxis, some, stride, 0, table.lmax + 1, &Position::z, threads);
    partials.assign(std::size_t(parts) * stride, 0.0);
    parallelFor(
        parts,
        [&](int part) {
          double* sums = partials.data() + std::size_t(part) * stride;
          double u[groupPoints], v[groupPoints];
          for (std::size_t r = bounds[part]; r < bounds[part + 1]; ++r) {
            const TableRow& row = rows[r];
            const std::size_t start = table.index(row.hFirst, row.k, row.l);
            const double* a = table.A.data() + start;
            const double* b = withSine ? table.B.data() + start : nullptr;
            const std::size_t h0 = std::size_t(row.hFirst - hAxis.first) * stride;
            const std::size_t k0 = std::size_t(row.k - kAxis.first) * stride;
            const std::size_t l0 = std::size_t(row.l - lAxis.first) * stride;
            for (std::size_t g = 0; g < stride; g += groupPoints) {
              rowGroupSums(a, b, row.length(), hAxis.re.data() + h0 + g, hAxis.im.data() + h0 + g,
                           stride, u, v);
              for (int j = 0; j < groupPoints; ++j) {
                const std::size_t p = g + j;
                const double kr = kAxis.re[k0 + p], ki = kAxis.im[k0 + p];
                const double lr = lAxis.re[l0 + p], li = lAxis.im[l0 + p];
                const double cr = kr * lr - ki * li, ci = kr * li + ki * lr;
                sums[p] += cr * u[j] + ci * v[j];
              }
            }
          }
        },
        threads);
    for (std::size_t i = 0; i < count; ++i) {
      double sum = 0;
      for (int part = 0; part < parts; ++part)
        sum += partials[std::size_t(part) * stride + i];
      potentials[first + i] = ((sum + sum) / pi) / volume;
    }
  }
  return potentials;
}

double synthesisTolerance(const CoefficientTable& table, double volume) {
  return 1e-12 * ((table.absoluteSum + table.absoluteSum) / pi) / std::fabs(volume);
}

} // namespace telva
