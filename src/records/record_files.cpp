#include "records/record_files.hpp"

#include <cerrno>
#include <sys/types.h>

#include "base/fault.hpp"

namespace telva {

std::optional<std::string> InputFile::readRecord() {
  if (replay_) {
    replay_ = false;
    return last_;
  }
  char* buffer = nullptr;
  std::size_t capacity = 0;
  errno = 0;
  const ssize_t length = getline(&buffer, &capacity, stream_.get());
  if (length < 0) {
    std::free(buffer);
    if (std::ferror(stream_.get()))
      throw Fault{faults::openFailure, unitText("open failure", inputUnit, path_)};
    return std::nullopt;
  }
  std::string record(buffer, static_cast<std::size_t>(length));
  std::free(buffer);
  // A carriage return before the line feed (or at the end of the file)
  // belongs to the line end.
  if (!record.empty() && record.back() == '\n') record.pop_back();
  if (!record.empty() && record.back() == '\r') record.pop_back();
  last_ = record;
  return record;
}

void InputFile::stepBack() {
  replay_ = true;
}

std::optional<std::vector<Value>> readValues(InputFile& input, const Layout& layout,
                                             int valueCount) {
  std::vector<Value> values;
  do {
    const auto record = input.readRecord();
    if (!record) return std::nullopt;
    RecordRead read = readFields(*record, layout, valueCount - static_cast<int>(values.size()));
    if (read.bad)
      throw Fault{faults::conversionError,
                  unitText("input conversion error", inputUnit, input.path())};
    for (Value& v : read.values)
      values.push_back(std::move(v));
  } while (static_cast<int>(values.size()) < valueCount);
  return values;
}

void Listing::write(const Layout& layout, std::span<const Value> values) {
  write(formatRecord(layout, values));
}

void Listing::write(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stream_.get()) != text.size())
    throw Fault{faults::writeFailure, unitText("write failure", listingUnit, path_)};
}

void Listing::flush() {
  if (stream_ && std::fflush(stream_.get()) != 0)
    throw Fault{faults::writeFailure, unitText("write failure", listingUnit, path_)};
}

void Listing::close() {
  std::FILE* stream = stream_.release();
  if (!stream) return;
  if (std::fclose(stream) != 0)
    throw Fault{faults::writeFailure, unitText("write failure", listingUnit, path_)};
}

} // namespace telva
