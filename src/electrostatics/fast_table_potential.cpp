#include "electrostatics/fast_table_potential.hpp"

#include <algorithm>
#include <cmath>

#include "driver/fixed_column.hpp"
#include "driver/parallel.hpp"
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
                   int count, double Position::*coordinate) {
  axis.first = first;
  axis.re.assign(std::size_t(count) * stride, 0.0);
  axis.im.assign(axis.re.size(), 0.0);
  parallelFor(static_cast<int>(points.size()), [&](int p) {
    const double angle = points[p].*coordinate * twoPi;
    for (int i = 0; i < count; ++i) {
      axis.re[i * stride + p] = std::cos((first + i) * angle);
      axis.im[i * stride + p] = std::sin((first + i) * angle);
    }
  });
}

// For one row and a group of points, per point:
// u = sum A cos(h px) + B sin(h px) and v = sum B cos(h px) - A sin(h px),
// summed along h in order; the row then adds cr u + ci v with
// cr + i ci = e^{i(k py + l pz)}.
TELVA_VECTOR_CLONES
void rowGroupSums(const double* a, const double* b, int n, const double* hr, const double* hi,
                  std::size_t stride, double* u, double* v) {
  Lanes u0 = splat(0), u1 = splat(0), v0 = splat(0), v1 = splat(0);
  for (int i = 0; i < n; ++i) {
    const Lanes va = splat(a[i]);
    const std::size_t at = i * stride;
    const Lanes r0 = loadLanes(hr + at), r1 = loadLanes(hr + at + 4);
    const Lanes i0 = loadLanes(hi + at), i1 = loadLanes(hi + at + 4);
    if (b) {
      const Lanes vb = splat(b[i]);
      u0 += va * r0 + vb * i0;
      u1 += va * r1 + vb * i1;
      v0 += vb * r0 - va * i0;
      v1 += vb * r1 - va * i1;
    } else {
      u0 += va * r0;
      u1 += va * r1;
      v0 -= va * i0;
      v1 -= va * i1;
    }
  }
  storeLanes(u, u0), storeLanes(u + 4, u1), storeLanes(v, v0), storeLanes(v + 4, v1);
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
                                    std::span<const Position> points) {
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
    fillBatchAxis(hAxis, some, stride, -table.hmax, 2 * table.hmax + 1, &Position::x);
    fillBatchAxis(kAxis, some, stride, -table.kmax, 2 * table.kmax + 1, &Position::y);
    fillBatchAxis(lAxis, some, stride, 0, table.lmax + 1, &Position::z);
    partials.assign(std::size_t(parts) * stride, 0.0);
    parallelFor(parts, [&](int part) {
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
    });
    for (std::size_t i = 0; i < count; ++i) {
      double sum = 0;
      for (int part = 0; part < parts; ++part)
        sum += partials[std::size_t(part) * stride + i];
      potentials[first + i] = ((sum + sum) / pi) / volume;
    }
  }
  return potentials;
}

double fastSynthesisTolerance(const CoefficientTable& table, double volume) {
  return 1e-12 * ((table.absoluteSum + table.absoluteSum) / pi) / std::fabs(volume);
}

bool printsStably(double value, double tolerance, int width, int decimals, bool scientific) {
  auto text = [&](double v) {
    return scientific ? formatScientific(v, width, decimals) : formatFixed(v, width, decimals);
  };
  return text(value - tolerance) == text(value + tolerance);
}

} // namespace telva
