// The two files of a run: the input file (unit 5), read record by record with
// one step back, and the listing file (unit 6), written line by line.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/fixed_column.hpp"

namespace telva {

inline constexpr int inputUnit = 5;
inline constexpr int listingUnit = 6;

// An open stream that is closed when its owner goes, errors unheeded (the
// listing is closed explicitly first, where a failed close is a fault).
struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using OwnedStream = std::unique_ptr<std::FILE, StreamCloser>;

class InputFile {
public:
  // Takes ownership of an open stream; `path` names it in diagnostics.
  InputFile(std::FILE* stream, std::string path) : stream_(stream), path_(std::move(path)) {}

  // The next record, without its line end (a line feed, or a carriage return
  // and line feed); nullopt at the end of the file. A final record without a
  // line feed is still a record.
  std::optional<std::string> readRecord();
  // Makes the record read last the next one to be read again.
  void stepBack();
  const std::string& path() const { return path_; }

private:
  OwnedStream stream_;
  std::string path_;
  std::string last_;
  bool replay_ = false;
};

// Reads `valueCount` values through `layout`, taking as many records as the
// values need (the layout applied again from its start on each); a count of 0
// or less still reads, and ignores, one record. nullopt when the file ends
// before the values are complete. A malformed numeric field throws the input
// conversion fault.
std::optional<std::vector<Value>> readValues(InputFile& input, const Layout& layout,
                                             int valueCount);

class Listing {
public:
  // Takes ownership of an open stream; `path` names it in diagnostics.
  Listing(std::FILE* stream, std::string path) : stream_(stream), path_(std::move(path)) {}

  // Writes the lines of one write operation.
  void write(const Layout& layout, std::span<const Value> values = {});
  void write(const std::string& text);
  // Hands the lines written so far to the file; throws the write fault when
  // they could not be written.
  void flush();
  // Flushes and closes; throws the write fault when the data could not be
  // written. Closing a closed listing does nothing.
  void close();
  const std::string& path() const { return path_; }

private:
  OwnedStream stream_;
  std::string path_;
};

} // namespace telva
