#include "cif/symmetry.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>

namespace telva {

namespace {

int reduceTranslation(int t) {
  t %= translationDenominator;
  return t < 0 ? t + translationDenominator : t;
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  out.append(text);
  out.push_back('\'');
  return out;
}

// One row of a triplet, "-y+1/2": coefficients of x, y, z and the translation
// in 24ths.
void parseRow(std::string_view row, std::string_view whole, std::array<int, 3>& coefficients,
              int& translation) {
  auto fail = [&](const std::string& why) -> void {
    throw CifError("symmetry operation " + quoted(whole) + " is not a coordinate triplet (" + why +
                   ")");
  };
  std::string s;
  for (char c : row)
    if (!std::isspace(static_cast<unsigned char>(c))) s += c;
  if (s.empty()) fail("an empty row");
  std::size_t i = 0;
  double shift = 0;
  bool anyTerm = false;
  while (i < s.size()) {
    int sign = 1;
    if (s[i] == '+' || s[i] == '-') {
      sign = s[i] == '-' ? -1 : 1;
      ++i;
    } else if (anyTerm) {
      fail("a term without a sign");
    }
    if (i >= s.size()) fail("a trailing sign");
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    if (c == 'x' || c == 'y' || c == 'z') {
      coefficients[c - 'x'] += sign;
      ++i;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      std::size_t end = i;
      while (end < s.size() && (std::isdigit(static_cast<unsigned char>(s[end])) || s[end] == '.'))
        ++end;
      const std::string number = s.substr(i, end - i);
      if (number == "." || std::count(number.begin(), number.end(), '.') > 1) fail("a bad number");
      double value = std::strtod(number.c_str(), nullptr);
      if (!std::isfinite(value)) fail("a number out of range");
      i = end;
      if (i < s.size() && s[i] == '/') {
        std::size_t denEnd = ++i;
        while (denEnd < s.size() && std::isdigit(static_cast<unsigned char>(s[denEnd])))
          ++denEnd;
        if (denEnd == i) fail("a fraction without a denominator");
        const double denominator = std::strtod(s.substr(i, denEnd - i).c_str(), nullptr);
        if (denominator == 0) fail("a zero denominator");
        value /= denominator;
        i = denEnd;
      }
      if (i < s.size() && s[i] == '*') fail("a multiplied term");
      shift += sign * value;
    } else {
      fail("an unexpected character " + quoted(std::string(1, s[i])));
    }
    anyTerm = true;
  }
  // A translation is a fraction of the cell; a huge one is a typing error
  // (and would not convert to a whole number of 24ths).
  if (!(std::abs(shift) <= 1000)) fail("a translation out of range");
  const double inTwentyFourths = shift * translationDenominator;
  const double nearest = std::round(inTwentyFourths);
  // Decimals such as 0.3333 or 0.1667 stand for thirds and sixths.
  if (std::abs(inTwentyFourths - nearest) > 0.01)
    fail("a translation that is not a whole number of 24ths of the cell");
  translation = static_cast<int>(nearest);
}

int determinant(const std::array<std::array<int, 3>, 3>& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

} // namespace

namespace {

double reduced(double v) {
  double r = v - std::floor(v);
  return r >= 1.0 ? 0.0 : r;
}

} // namespace

MatrixOp parseTriplet(std::string_view text) {
  MatrixOp op;
  op.text = std::string(text);
  std::size_t start = 0;
  for (int row = 0; row < 3; ++row) {
    const std::size_t comma = row < 2 ? text.find(',', start) : text.size();
    if (comma == std::string_view::npos || (row == 2 && text.find(',', start) != text.npos))
      throw CifError("symmetry operation " + quoted(text) +
                     " is not a coordinate triplet (it needs three rows separated by commas)");
    int shift = 0;
    parseRow(text.substr(start, comma - start), text, op.rotation[row], shift);
    op.translation[row] = reduceTranslation(shift);
    start = comma + 1;
  }
  return op;
}

MatrixOp identityOp() {
  MatrixOp op;
  op.rotation = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  op.text = "x,y,z";
  return op;
}

bool isIdentity(const MatrixOp& op) {
  return op == identityOp();
}

MatrixOp compose(const MatrixOp& a, const MatrixOp& b) {
  MatrixOp out;
  for (int i = 0; i < 3; ++i) {
    int t = a.translation[i];
    for (int j = 0; j < 3; ++j) {
      int r = 0;
      for (int k = 0; k < 3; ++k)
        r += a.rotation[i][k] * b.rotation[k][j];
      out.rotation[i][j] = r;
      t += a.rotation[i][j] * b.translation[j];
    }
    out.translation[i] = reduceTranslation(t);
  }
  out.text = a.text + " after " + b.text;
  return out;
}

MatrixOp negated(const MatrixOp& op) {
  MatrixOp out = op;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      out.rotation[i][j] = -op.rotation[i][j];
    out.translation[i] = reduceTranslation(-op.translation[i]);
  }
  out.text = "-(" + op.text + ")";
  return out;
}

std::vector<MatrixOp> normalisedGroup(std::vector<MatrixOp> ops) {
  std::vector<MatrixOp> unique;
  for (MatrixOp& op : ops) {
    for (int i = 0; i < 3; ++i)
      op.translation[i] = reduceTranslation(op.translation[i]);
    if (std::abs(determinant(op.rotation)) != 1)
      throw CifError("symmetry operation '" + op.text + "' is not a symmetry of the lattice");
    if (std::find(unique.begin(), unique.end(), op) == unique.end()) unique.push_back(op);
  }
  const auto identity = std::find_if(unique.begin(), unique.end(), isIdentity);
  if (identity == unique.end())
    throw CifError("the symmetry operations do not include the identity x,y,z");
  std::rotate(unique.begin(), identity, identity + 1);
  for (const MatrixOp& a : unique)
    for (const MatrixOp& b : unique)
      if (std::find(unique.begin(), unique.end(), compose(a, b)) == unique.end())
        throw CifError("the symmetry operations do not form a group: '" + a.text + "' after '" +
                       b.text + "' is not among them (is a centring translation missing?)");
  return unique;
}

WrittenOperations chooseWrittenOperations(const std::vector<MatrixOp>& group) {
  MatrixOp inversion = negated(identityOp());
  WrittenOperations written;
  written.inversionAtOrigin = std::find(group.begin(), group.end(), inversion) != group.end();
  if (!written.inversionAtOrigin) {
    written.ops = group;
    return written;
  }
  for (const MatrixOp& op : group) {
    const MatrixOp companion = negated(op);
    if (std::find(written.ops.begin(), written.ops.end(), companion) == written.ops.end())
      written.ops.push_back(op);
  }
  return written;
}

SymOp toAxisCodeRows(const MatrixOp& op) {
  SymOp out;
  static const std::string axes[3] = {"x'", "y'", "z'"};
  static const std::string terms[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    std::vector<AxisCode> codes;
    for (int j = 0; j < 3; ++j) {
      const int c = op.rotation[i][j];
      if (c == 0) continue;
      if (c != 1 && c != -1)
        throw CifError("symmetry operation '" + op.text + "': its row for " + axes[i] +
                       " has the coefficient " + std::to_string(c) + " on " + terms[j] +
                       ", and a row holds only terms +x, -x, +y, -y, +z, -z");
      codes.push_back(c * (j + 1));
    }
    if (codes.size() > 2)
      throw CifError("symmetry operation '" + op.text + "': its row for " + axes[i] +
                     " has three terms, and a row holds at most two");
    codes.resize(2, 0);
    out.rows[i].translation =
        static_cast<double>(op.translation[i]) / static_cast<double>(translationDenominator);
    out.rows[i].code1 = codes[0];
    out.rows[i].code2 = codes[1];
  }
  return out;
}

Position apply(const MatrixOp& op, const Position& p) {
  const double v[3] = {p.x, p.y, p.z};
  double out[3];
  for (int i = 0; i < 3; ++i)
    out[i] = static_cast<double>(op.translation[i]) / translationDenominator +
             op.rotation[i][0] * v[0] + op.rotation[i][1] * v[1] + op.rotation[i][2] * v[2];
  return {out[0], out[1], out[2]};
}

std::vector<Position> distinctImages(const std::vector<MatrixOp>& group, const Position& p,
                                     const CellGeometry& cell, double toleranceA) {
  std::vector<Position> images;
  for (const MatrixOp& op : group) {
    Position image = apply(op, p);
    image = {reduced(image.x), reduced(image.y), reduced(image.z)};
    const bool seen = std::any_of(images.begin(), images.end(), [&](const Position& q) {
      return nearestImageDistance(cell, image, q) < toleranceA;
    });
    if (!seen) images.push_back(image);
  }
  return images;
}

} // namespace telva
