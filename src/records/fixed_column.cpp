#include "records/fixed_column.hpp"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace telva {

namespace {

// Blanks in a numeric field are ignored wherever they stand; a blank is the
// space character only.
std::string withoutBlanks(std::string_view text) {
  std::string kept;
  for (char ch : text)
    if (ch != ' ') kept += ch;
  return kept;
}

bool isDigit(char ch) {
  return ch >= '0' && ch <= '9';
}

// Digits of an exponent, saturated far beyond any double's range.
long exponentValue(std::string_view digits) {
  long value = 0;
  for (char ch : digits) {
    value = value * 10 + (ch - '0');
    if (value > 1'000'000'000) value = 1'000'000'000;
  }
  return value;
}

std::string rightAligned(std::string text, int width) {
  if (static_cast<int>(text.size()) > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

std::string nonFiniteText(double value) {
  if (std::isnan(value)) return "NaN";
  return value < 0 ? "-Infinity" : "Infinity";
}

} // namespace

std::optional<std::int32_t> parseIntegerField(std::string_view text) {
  const std::string s = withoutBlanks(text);
  if (s.empty()) return 0;
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (i == s.size()) return std::nullopt;
  std::int64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) return std::nullopt;
    magnitude = magnitude * 10 + (s[i] - '0');
    if (magnitude > 2147483648LL) return std::nullopt;
  }
  const std::int64_t value = s[0] == '-' ? -magnitude : magnitude;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<double> parseFixedField(std::string_view text, int impliedDecimals) {
  const std::string s = withoutBlanks(text);
  if (s.empty()) return 0.0;
  std::size_t i = 0;
  const bool negative = s[0] == '-';
  if (s[0] == '+' || s[0] == '-') ++i;

  // Mantissa: digits holding at most one decimal point, at least one digit.
  std::string mantissa;
  bool point = false;
  int digits = 0;
  for (; i < s.size(); ++i) {
    if (isDigit(s[i])) {
      ++digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    mantissa += s[i];
  }
  if (digits == 0) return std::nullopt;

  // Exponent: E or D (either case) with an optionally signed integer, or a
  // sign directly followed by an integer.
  long exponent = 0;
  if (i < s.size()) {
    const char mark = s[i];
    if (mark == 'E' || mark == 'e' || mark == 'D' || mark == 'd')
      ++i;
    else if (mark != '+' && mark != '-')
      return std::nullopt;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
    const std::size_t start = i;
    while (i < s.size() && isDigit(s[i]))
      ++i;
    if (i == start || i != s.size()) return std::nullopt;
    exponent = exponentValue(std::string_view(s).substr(start, i - start));
    if (negativeExponent) exponent = -exponent;
  }
  // Without a decimal point the digits are scaled by the implied decimals.
  if (!point) exponent -= impliedDecimals;

  // One correctly rounded conversion of the whole decimal number.
  const std::string number = (negative ? "-" : "") + mantissa + "e" + std::to_string(exponent);
  return std::strtod(number.c_str(), nullptr);
}

RecordRead readFields(std::string_view line, const Layout& layout, int wanted) {
  RecordRead read;
  std::size_t column = 0; // 0-based; the record is padded with blanks beyond its end
  auto columns = [&](std::size_t width) {
    std::string text(width, ' ');
    if (column < line.size()) line.substr(column, width).copy(text.data(), width);
    return text;
  };
  for (const Field& field : layout) {
    if (static_cast<int>(read.values.size()) >= wanted && field.holdsValue()) break;
    switch (field.kind) {
    case FieldKind::skip:
      column += field.width;
      break;
    case FieldKind::text:
      read.values.emplace_back(columns(field.width));
      column += field.width;
      break;
    case FieldKind::integer:
    case FieldKind::fixedPoint: {
      std::string text = columns(field.width);
      // A comma ends a numeric field early and is passed over.
      const std::size_t comma = text.find(',');
      if (comma != std::string::npos) {
        text.resize(comma);
        column += comma + 1;
      } else {
        column += field.width;
      }
      if (field.kind == FieldKind::integer) {
        const auto value = parseIntegerField(text);
        if (!value) return {std::move(read.values), true};
        read.values.emplace_back(std::int64_t{*value});
      } else {
        const auto value = parseFixedField(text, field.decimals);
        if (!value) return {std::move(read.values), true};
        read.values.emplace_back(*value);
      }
      break;
    }
    case FieldKind::scientific:
    case FieldKind::literal:
    case FieldKind::recordEnd:
      assert(!"field kind not used for reading");
      break;
    }
  }
  return read;
}

std::string formatInteger(std::int64_t value, int width) {
  return rightAligned(std::to_string(value), width);
}

std::string formatFixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) return rightAligned(nonFiniteText(value), width);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  // The 0 before the point is left out when the field has no room for it.
  if (static_cast<int>(text.size()) > width) {
    const std::size_t zero = text[0] == '-' ? 1 : 0;
    if (text.compare(zero, 2, "0.") == 0) text.erase(zero, 1);
  }
  return rightAligned(text, width);
}

std::string formatScientific(double value, int width, int decimals) {
  if (!std::isfinite(value)) return rightAligned(nonFiniteText(value), width);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*E", decimals, value);
  std::string text = buffer;
  // Exponents of three digits are written without the letter: 1.000000-100.
  const std::size_t mark = text.find('E');
  if (text.size() - mark == 5) text.erase(mark, 1);
  return rightAligned(text, width);
}

std::string formatRecord(const Layout& layout, std::span<const Value> values) {
  std::string out;
  std::size_t next = 0;
  bool anyValueField = false;
  for (const Field& f : layout)
    anyValueField = anyValueField || f.holdsValue();
  assert(anyValueField || values.empty());
  while (true) {
    bool stopped = false;
    for (const Field& field : layout) {
      if (field.holdsValue() && next == values.size()) {
        stopped = true;
        break;
      }
      switch (field.kind) {
      case FieldKind::literal:
        out += field.literal;
        break;
      case FieldKind::skip:
        out.append(field.width, ' ');
        break;
      case FieldKind::recordEnd:
        out += '\n';
        break;
      case FieldKind::text: {
        std::string text = std::get<std::string>(values[next++]);
        if (field.width > 0) text.resize(field.width, ' ');
        out += text;
        break;
      }
      case FieldKind::integer:
        out += formatInteger(std::get<std::int64_t>(values[next++]), field.width);
        break;
      case FieldKind::fixedPoint:
        out += formatFixed(std::get<double>(values[next++]), field.width, field.decimals);
        break;
      case FieldKind::scientific:
        out += formatScientific(std::get<double>(values[next++]), field.width, field.decimals);
        break;
      }
    }
    if (stopped || next == values.size() || !anyValueField) break;
    out += '\n';
  }
  out += '\n';
  return out;
}

} // namespace telva
