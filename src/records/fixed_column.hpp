// Fixed-column records: every line of the input file is read, and every line
// of the listing written, through a layout, an ordered list of fields of fixed
// width. This module holds the rules of each kind of field, for reading and
// for writing; the other modules only hand it their layouts as data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace telva {

enum class FieldKind { text, integer, fixedPoint, scientific, skip, literal, recordEnd };

struct Field {
  FieldKind kind;
  int width = 0;    // 0 for a written text field: the value's own width
  int decimals = 0; // fixed point: decimals written, or implied when read
  std::string_view literal{};

  bool holdsValue() const {
    return kind == FieldKind::text || kind == FieldKind::integer || kind == FieldKind::fixedPoint ||
           kind == FieldKind::scientific;
  }
};

constexpr Field textField(int width = 0) {
  return {FieldKind::text, width};
}
constexpr Field integerField(int width) {
  return {FieldKind::integer, width};
}
constexpr Field fixedField(int width, int decimals) {
  return {FieldKind::fixedPoint, width, decimals};
}
constexpr Field scientificField(int width, int decimals) {
  return {FieldKind::scientific, width, decimals};
}
constexpr Field skip(int columns) {
  return {FieldKind::skip, columns};
}
constexpr Field literal(std::string_view text) {
  return {FieldKind::literal, 0, 0, text};
}
constexpr Field recordEnd() {
  return {FieldKind::recordEnd};
}

using Layout = std::vector<Field>;
using Value = std::variant<std::string, std::int64_t, double>;

// ---- Reading ----

// The text of one numeric field as it stands in the record. nullopt when the
// text breaks the field rules (the input conversion fault).
std::optional<std::int32_t> parseIntegerField(std::string_view text);
std::optional<double> parseFixedField(std::string_view text, int impliedDecimals);

// The values of one record, read through a layout: text fields as strings,
// integer fields as 64-bit integers, fixed-point fields as doubles; skips
// pass over their columns. `bad` tells that a numeric field broke the field
// rules (the values before it are kept).
struct RecordRead {
  std::vector<Value> values;
  bool bad = false;
};
// Reads the values of `line` through `layout`, at most `wanted` of them.
RecordRead readFields(std::string_view line, const Layout& layout, int wanted);

// ---- Writing ----

std::string formatInteger(std::int64_t value, int width);
std::string formatFixed(double value, int width, int decimals);
std::string formatScientific(double value, int width, int decimals);

// The text of a write operation: starts a new line, writes the fields from
// column 1, repeats the layout on a new line while values remain, stops at the
// first value field that has no value left, and ends its last line.
std::string formatRecord(const Layout& layout, std::span<const Value> values = {});

} // namespace telva
