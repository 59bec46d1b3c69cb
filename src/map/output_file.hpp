// A file written whole or not at all: the data go to a scratch file beside
// the target, which is renamed over the target only when all of it has been
// written; a scratch file never outlives its owner.
#pragma once

#include <cstdio>
#include <string>

namespace telva {

class OutputFile {
public:
  // Creates the scratch file; the fault "cannot write PATH: why" when the
  // folder does not take it.
  explicit OutputFile(std::string target);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile(); // removes the scratch file unless committed

  const std::string& target() const { return target_; }
  const std::string& scratchPath() const { return scratch_; }
  // The scratch file open for writing, or nullptr once closed.
  std::FILE* stream() { return stream_; }
  // Closes the stream; the write fault when any of the data was lost.
  void close();
  // Closes and renames the scratch file over the target, with the usual
  // permissions.
  void commit();

private:
  std::string target_, scratch_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

// The fault for a file that cannot be written.
[[noreturn]] void refuseOutput(const std::string& path, const std::string& why);

} // namespace telva
