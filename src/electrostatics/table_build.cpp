#include "electrostatics/table_build.hpp"

#include <algorithm>
#include <cmath>

#include "base/parallel.hpp"
#include "electrostatics/phase_factors.hpp"
#include "electrostatics/sphere_form_factor.hpp"
#include "electrostatics/table_rows.hpp"
#include "electrostatics/vector_lanes.hpp"

namespace telva {

namespace {

// One atom of the cell: a site's image under an operation, with the charge
// weight Z W (the form factor is applied once per reflection at the end).
struct Image {
  Position position;
  double weight;
};

// Memory for the phase factors of one block of images.
constexpr std::size_t blockBytes = std::size_t(1) << 20;

// Adds sum over h of w e^{2 pi i h.r} of one image to a row: cosine parts to
// a, sine parts to b (when b is not null). c = w e^{i(k py + l pz)}.
TELVA_VECTOR_CLONES
void addImageToRow(double* a, double* b, const double* exr, const double* exi, int n, double cr,
                   double ci) {
  int i = 0;
  const Lanes vr = splat(cr), vi = splat(ci);
  for (; i + 4 <= n; i += 4) {
    const Lanes xr = loadLanes(exr + i), xi = loadLanes(exi + i);
    storeLanes(a + i, loadLanes(a + i) + (vr * xr - vi * xi));
    if (b) storeLanes(b + i, loadLanes(b + i) + (vr * xi + vi * xr));
  }
  for (; i < n; ++i) {
    a[i] += cr * exr[i] - ci * exi[i];
    if (b) b[i] += cr * exi[i] + ci * exr[i];
  }
}

} // namespace

CoefficientTable buildCoefficientTable(const TableInputs& inputs) {
  const double radiusTwoPi = inputs.radius * twoPi;
  return buildCoefficientTable(inputs, [radiusTwoPi](double q) {
    return sphereFormFactor(q * radiusTwoPi, smearedChargeType);
  });
}

CoefficientTable buildCoefficientTable(const TableInputs& inputs, const FormFactor& formFactor) {
  const CellGeometry& g = inputs.geometry;
  CoefficientTable table = zeroTable(g, inputs.inversionAtOrigin);

  const std::vector<TableRow> rows = rowsWithinRange(g, inputs.range);
  if (rows.empty()) return table;

  std::vector<Image> images;
  for (const SymOp& op : inputs.symOps)
    for (const Site& site : inputs.sites)
      if (const double w = site.charge * site.W; w != 0)
        images.push_back({applyToPosition(op, site.x, site.y, site.z), w});

  // Structure sums, sum over images of Z W e^{2 pi i h.r}, accumulated in A and
  // B block of images by block of images; each entry's sum keeps the images'
  // order whatever the number of threads.
  const std::size_t imageBytes = 16 * std::size_t(2 * g.hmax + 1 + 2 * g.kmax + 1 + g.lmax + 1);
  const std::size_t blockSize = std::max<std::size_t>(1, blockBytes / imageBytes);
  const int chunkRows = 64;
  const int chunks = static_cast<int>((rows.size() + chunkRows - 1) / chunkRows);
  // Calls rowWork(r) for every row r, in chunks of chunkRows rows fixed by
  // the table alone, on the threads.
  auto forEachRow = [&](auto&& rowWork) {
    parallelFor(
        chunks,
        [&](int chunk) {
          const std::size_t end = std::min(rows.size(), std::size_t(chunk + 1) * chunkRows);
          for (std::size_t r = std::size_t(chunk) * chunkRows; r < end; ++r)
            rowWork(r);
        },
        inputs.threads);
  };
  std::vector<PositionFactors> factors;
  for (std::size_t first = 0; first < images.size(); first += blockSize) {
    const std::size_t count = std::min(blockSize, images.size() - first);
    factors.resize(count);
    parallelFor(
        static_cast<int>(count),
        [&](int i) {
          const Position& p = images[first + i].position;
          factors[i] = positionFactors(p.x, p.y, p.z, g.hmax, g.kmax, g.lmax);
        },
        inputs.threads);
    forEachRow([&](std::size_t r) {
      const TableRow& row = rows[r];
      const std::size_t start = table.index(row.hFirst, row.k, row.l);
      double* a = table.A.data() + start;
      double* b = table.inversionAtOrigin ? nullptr : table.B.data() + start;
      for (std::size_t i = 0; i < count; ++i) {
        const PositionFactors& f = factors[i];
        const double w = images[first + i].weight;
        const double kr = f.k.cosine(row.k), ki = f.k.sine(row.k);
        const double lr = f.l.cosine(row.l), li = f.l.sine(row.l);
        const double cr = (kr * lr - ki * li) * w, ci = (kr * li + ki * lr) * w;
        const std::size_t h0 = row.hFirst - f.h.first;
        addImageToRow(a, b, f.h.re.data() + h0, f.h.im.data() + h0, row.length(), cr, ci);
      }
    });
  }

  // Each reflection within range: times the form factor, over q^2; the
  // inverted companions double the cosine part and cancel the sine part.
  const double twice = table.inversionAtOrigin ? 2.0 : 1.0;
  std::vector<TableRow> trimmed(rows.size());
  std::vector<double> rowSums(rows.size());
  forEachRow([&](std::size_t r) {
    const TableRow& row = rows[r];
    const double rowTerm = recipRowTerm(g, row.k, row.l);
    for (int h = row.hFirst; h <= row.hLast; ++h) {
      const std::size_t i = table.index(h, row.k, row.l);
      const double q2 = recipLengthSquaredInRow(g, h, row.k, row.l, rowTerm);
      const double q = std::sqrt(q2);
      if (q > inputs.range) {
        table.A[i] = 0;
        if (!table.B.empty()) table.B[i] = 0;
        continue;
      }
      const double scale = twice * formFactor(q) / q2;
      table.A[i] *= scale;
      if (!table.B.empty()) table.B[i] *= scale;
    }
    trimmed[r] = trimmedRow(table, row);
    rowSums[r] = absoluteRowSum(table, trimmed[r]);
  });
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (trimmed[r].length() > 0) table.rows.push_back(trimmed[r]);
    table.absoluteSum += rowSums[r];
  }
  return table;
}

} // namespace telva
