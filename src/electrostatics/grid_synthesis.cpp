#include "electrostatics/grid_synthesis.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "base/parallel.hpp"
#include "electrostatics/phase_factors.hpp"
#include "electrostatics/vector_lanes.hpp"

namespace telva {

namespace {

// Planes of constant z that share one pass over the table; the groups depend
// on the grid alone.
constexpr int planesPerGroup = 2;

// e^{2 pi i r/n} for r in [0, n), each from its own cosine and sine.
struct RootsOfUnity {
  int n = 0;
  std::vector<double> re, im;
  explicit RootsOfUnity(int size) : n(size), re(size), im(size) {
    for (int r = 0; r < size; ++r)
      phaseFactor(twoPi / size, r, re[r], im[r]);
  }
  // The residue of m n' modulo n, for any integer index m.
  int residue(long long m, long long multiple) const {
    const long long r = (m % n + n) % n;
    return static_cast<int>(r * multiple % n);
  }
};

// The index box the rows of the table occupy.
struct RowBox {
  int hFirst = 0, hLast = -1, kFirst = 0, kLast = -1;
  int hCount() const { return hLast - hFirst + 1; }
  int kCount() const { return kLast - kFirst + 1; }
};

RowBox rowBox(const std::vector<TableRow>& rows) {
  RowBox box;
  if (rows.empty()) return box;
  box = {rows[0].hFirst, rows[0].hLast, rows[0].k, rows[0].k};
  for (const TableRow& row : rows) {
    box.hFirst = std::min(box.hFirst, row.hFirst);
    box.hLast = std::max(box.hLast, row.hLast);
    box.kFirst = std::min(box.kFirst, row.k);
    box.kLast = std::max(box.kLast, row.k);
  }
  return box;
}

// re[i] += a[i] c + b[i] s, im[i] += a[i] s - b[i] c: one row's entries times
// e^{i phi} with c + i s = e^{i phi}, C = A - iB.
TELVA_VECTOR_CLONES
void addRowWithSine(const double* a, const double* b, int n, double c, double s, double* re,
                    double* im) {
  for (int i = 0; i < n; ++i) {
    re[i] += a[i] * c + b[i] * s;
    im[i] += a[i] * s - b[i] * c;
  }
}

TELVA_VECTOR_CLONES
void addRowCosine(const double* a, int n, double c, double s, double* re, double* im) {
  for (int i = 0; i < n; ++i) {
    re[i] += a[i] * c;
    im[i] += a[i] * s;
  }
}

// (tr + i ti) += (xr + i xi)(c + i s) along a row.
TELVA_VECTOR_CLONES
void addRotated(const double* xr, const double* xi, int n, double c, double s, double* tr,
                double* ti) {
  for (int i = 0; i < n; ++i) {
    tr[i] += xr[i] * c - xi[i] * s;
    ti[i] += xr[i] * s + xi[i] * c;
  }
}

// A complex vector indexed along h, and the residue of its index modulo the
// grid size along the axis it is summed over.
struct Term {
  int residue;
  const double* re;
  const double* im;
};

} // namespace

std::size_t gridScratchBytes(int hmax, int kmax, const GridSize& grid) {
  const std::size_t h = 2 * std::size_t(hmax) + 1;
  const std::size_t kBins = std::min(2 * std::size_t(kmax) + 1, std::size_t(grid.n2));
  const std::size_t doubles = 2 * (planesPerGroup * kBins * h + h + std::size_t(grid.n1));
  return doubles * sizeof(double);
}

std::vector<double> gridPotentials(const CoefficientTable& table, double volume,
                                   const GridSize& grid, int threads,
                                   const GridProgress& progress) {
  std::vector<double> potentials(grid.nodes(), 0.0);
  if (grid.nodes() == 0) return potentials;
  const std::vector<TableRow>& rows = table.rows;
  const RowBox box = rowBox(rows);
  const RootsOfUnity roots1(grid.n1), roots2(grid.n2), roots3(grid.n3);
  const int hCount = std::max(box.hCount(), 0), kCount = std::max(box.kCount(), 0);
  // Rows k equal modulo n2 share a bin from the start when there are more
  // rows than nodes along y; otherwise each row has a bin of its own.
  const bool foldK = kCount > grid.n2;
  const int kBins = foldK ? grid.n2 : kCount;
  auto binOf = [&](int k) { return foldK ? roots2.residue(k, 1) : k - box.kFirst; };
  std::vector<int> binResidue(kBins);
  std::vector<char> binUsed(kBins, 0);
  for (int k = box.kFirst; k <= box.kLast; ++k) {
    binResidue[binOf(k)] = roots2.residue(k, 1);
    binUsed[binOf(k)] = 1;
  }
  const int groups = (grid.n3 + planesPerGroup - 1) / planesPerGroup;
  std::atomic<int> planesDone{0};
  std::mutex progressLock;

  parallelFor(
      groups,
      [&](int group) {
        const int firstPlane = group * planesPerGroup;
        const int planes = std::min(planesPerGroup, grid.n3 - firstPlane);
        const std::size_t planeSize = std::size_t(kBins) * hCount;
        // Sums over l (and over k of one bin), in the table's order of rows:
        // s[(plane kBins + bin) hCount + h - hFirst].
        std::vector<double> sRe(planes * planeSize, 0.0), sIm(planes * planeSize, 0.0);
        for (const TableRow& row : rows) {
          const std::size_t at = table.index(row.hFirst, row.k, row.l);
          const std::size_t offset = std::size_t(binOf(row.k)) * hCount + (row.hFirst - box.hFirst);
          for (int p = 0; p < planes; ++p) {
            const int r = roots3.residue(row.l, firstPlane + p);
            double* re = sRe.data() + p * planeSize + offset;
            double* im = sIm.data() + p * planeSize + offset;
            if (table.B.empty())
              addRowCosine(table.A.data() + at, row.length(), roots3.re[r], roots3.im[r], re, im);
            else
              addRowWithSine(table.A.data() + at, table.B.data() + at, row.length(), roots3.re[r],
                             roots3.im[r], re, im);
          }
        }
        std::vector<double> tRe(hCount), tIm(hCount), uRe(grid.n1), uIm(grid.n1);
        std::vector<Term> terms;
        for (int p = 0; p < planes; ++p) {
          const int plane = firstPlane + p;
          terms.clear();
          for (int bin = 0; bin < kBins; ++bin)
            if (binUsed[bin])
              terms.push_back({binResidue[bin],
                               sRe.data() + p * planeSize + std::size_t(bin) * hCount,
                               sIm.data() + p * planeSize + std::size_t(bin) * hCount});
          for (int j = 0; j < grid.n2; ++j) {
            // The sum over k at y = j/n2, for every h.
            std::fill(tRe.begin(), tRe.end(), 0.0);
            std::fill(tIm.begin(), tIm.end(), 0.0);
            for (const Term& t : terms) {
              const int r = int(std::int64_t(t.residue) * j % grid.n2);
              addRotated(t.re, t.im, hCount, roots2.re[r], roots2.im[r], tRe.data(), tIm.data());
            }
            // Folded over h modulo n1, then the sum over h at every x = i/n1.
            std::fill(uRe.begin(), uRe.end(), 0.0);
            std::fill(uIm.begin(), uIm.end(), 0.0);
            const int bins = std::min(hCount, grid.n1);
            const int firstBin = roots1.residue(box.hFirst, 1);
            for (int h = 0; h < hCount; ++h) {
              const int m = (firstBin + h) % grid.n1;
              uRe[m] += tRe[h];
              uIm[m] += tIm[h];
            }
            for (int i = 0; i < grid.n1; ++i) {
              double sum = 0;
              int m = firstBin;
              for (int b = 0; b < bins; ++b, m = m + 1 == grid.n1 ? 0 : m + 1) {
                const int r = int(std::int64_t(m) * i % grid.n1);
                sum = sum + (uRe[m] * roots1.re[r] - uIm[m] * roots1.im[r]);
              }
              // The doubling accounts for the half of reciprocal space the
              // table omits.
              potentials[grid.index(i, j, plane)] = ((sum + sum) / pi) / volume;
            }
          }
        }
        const int done = planesDone += planes;
        if (progress) {
          std::lock_guard<std::mutex> lock(progressLock);
          progress(done, grid.n3);
        }
      },
      threads);
  return potentials;
}

} // namespace telva
