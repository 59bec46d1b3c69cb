#include "order/supercell.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>

namespace telva {

namespace {

double reducedCoordinate(double v) {
  v -= std::floor(v);
  return v >= 1 ? 0 : v;
}

std::array<std::array<double, 3>, 3> metric(const std::array<double, 6>& c) {
  const double deg = std::numbers::pi / 180;
  const double ca = std::cos(c[3] * deg), cb = std::cos(c[4] * deg), cg = std::cos(c[5] * deg);
  return {{{c[0] * c[0], c[0] * c[1] * cg, c[0] * c[2] * cb},
           {c[0] * c[1] * cg, c[1] * c[1], c[1] * c[2] * ca},
           {c[0] * c[2] * cb, c[1] * c[2] * ca, c[2] * c[2]}}};
}

} // namespace

int determinant(const IntMatrix& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

IntMatrix diagonalMatrix(int a, int b, int c) {
  IntMatrix m{};
  m[0][0] = a;
  m[1][1] = b;
  m[2][2] = c;
  return m;
}

IntMatrix parseSupercellMatrix(const std::string& text) {
  const std::string usage = "--supercell takes auto, AxBxC (as 2x2x1) or nine integers (the "
                            "rows of the supercell vectors in parent lattice vectors), not '" +
                            text + "'";
  std::vector<long> values;
  std::string spaced = text;
  const bool byAxes = text.find('x') != std::string::npos || text.find('X') != std::string::npos;
  for (char& c : spaced)
    if (c == ',' || c == 'x' || c == 'X') c = ' ';
  std::istringstream in(spaced);
  std::string word;
  while (in >> word) {
    std::size_t used = 0;
    long v = 0;
    try {
      v = std::stol(word, &used);
    } catch (const std::exception&) {
      throw commandLineError(usage);
    }
    if (used != word.size() || v < -1000 || v > 1000) throw commandLineError(usage);
    values.push_back(v);
  }
  if (values.size() == 1 && !byAxes) values = {values[0], values[0], values[0]};
  if (values.size() == 3) return diagonalMatrix(int(values[0]), int(values[1]), int(values[2]));
  if (values.size() != 9 || byAxes) throw commandLineError(usage);
  IntMatrix m{};
  for (int i = 0; i < 9; ++i)
    m[i / 3][i % 3] = int(values[i]);
  return m;
}

std::string matrixText(const IntMatrix& m) {
  if (m[0][1] == 0 && m[0][2] == 0 && m[1][0] == 0 && m[1][2] == 0 && m[2][0] == 0 && m[2][1] == 0)
    return std::to_string(m[0][0]) + "x" + std::to_string(m[1][1]) + "x" + std::to_string(m[2][2]);
  std::string text;
  for (const auto& row : m)
    for (int v : row)
      text += std::string(text.empty() ? "" : " ") + std::to_string(v);
  return text;
}

std::array<double, 6> supercellCell(const std::array<double, 6>& parentCell, const IntMatrix& m) {
  const auto g = metric(parentCell);
  double s[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l)
          s[i][j] += m[i][k] * g[k][l] * m[j][l];
  const double a = std::sqrt(s[0][0]), b = std::sqrt(s[1][1]), c = std::sqrt(s[2][2]);
  const double deg = 180 / std::numbers::pi;
  return {a,
          b,
          c,
          std::acos(s[1][2] / (b * c)) * deg,
          std::acos(s[0][2] / (a * c)) * deg,
          std::acos(s[0][1] / (a * b)) * deg};
}

std::array<std::array<double, 3>, 3> cartesianRows(const std::array<double, 6>& c) {
  const double deg = std::numbers::pi / 180;
  const double ca = std::cos(c[3] * deg), cb = std::cos(c[4] * deg), cg = std::cos(c[5] * deg);
  const double sg = std::sin(c[5] * deg);
  const double cx = c[2] * cb, cy = c[2] * (ca - cb * cg) / sg;
  const double cz = std::sqrt(std::max(0.0, c[2] * c[2] - cx * cx - cy * cy));
  return {{{c[0], 0, 0}, {c[1] * cg, c[1] * sg, 0}, {cx, cy, cz}}};
}

Position toSupercell(const Supercell& s, const Position& p) {
  const double d = s.determinant;
  const double v[3] = {p.x, p.y, p.z};
  double out[3];
  for (int j = 0; j < 3; ++j)
    out[j] = reducedCoordinate(
        (v[0] * s.adjugate[0][j] + v[1] * s.adjugate[1][j] + v[2] * s.adjugate[2][j]) / d);
  return {out[0], out[1], out[2]};
}

Supercell buildSupercell(const DisorderedCrystal& crystal, const IntMatrix& matrix) {
  Supercell s;
  s.matrix = matrix;
  s.determinant = determinant(matrix);
  if (s.determinant <= 0)
    throw commandLineError("the supercell matrix " + matrixText(matrix) + " has the determinant " +
                           std::to_string(s.determinant) +
                           "; it must be positive (right-handed supercell vectors)");
  const IntMatrix& m = matrix;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      // adj[i][j] = cofactor[j][i]
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      s.adjugate[i][j] = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
    }
  s.cell = supercellCell(crystal.cell, matrix);
  // The translations n with n adj / det in [0, 1)^3, searched in the box of
  // the supercell's corners.
  int lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (int corner = 0; corner < 8; ++corner)
    for (int k = 0; k < 3; ++k) {
      int v = 0;
      for (int r = 0; r < 3; ++r)
        if (corner >> r & 1) v += m[r][k];
      lo[k] = std::min(lo[k], v);
      hi[k] = std::max(hi[k], v);
    }
  for (int a = lo[0]; a <= hi[0]; ++a)
    for (int b = lo[1]; b <= hi[1]; ++b)
      for (int c = lo[2]; c <= hi[2]; ++c) {
        bool inside = true;
        for (int j = 0; j < 3 && inside; ++j) {
          const long u =
              long(a) * s.adjugate[0][j] + long(b) * s.adjugate[1][j] + long(c) * s.adjugate[2][j];
          inside = u >= 0 && u < s.determinant;
        }
        if (inside) s.translations.push_back({a, b, c});
      }
  for (int p = 0; p < static_cast<int>(crystal.positions.size()); ++p)
    for (const Position& image : crystal.positions[p].images)
      for (const auto& n : s.translations) {
        SupercellSite site;
        site.position = p;
        site.parent = {image.x + n[0], image.y + n[1], image.z + n[2]};
        site.fractional = toSupercell(s, site.parent);
        s.sites.push_back(site);
      }
  return s;
}

} // namespace telva
