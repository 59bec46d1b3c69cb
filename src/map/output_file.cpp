#include "map/output_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "map/map_fault.hpp"

namespace telva {

void refuseOutput(const std::string& path, const std::string& why) {
  throw Fault{mapFaults::output, "cannot write " + path + ": " + why};
}

OutputFile::OutputFile(std::string target) : target_(std::move(target)) {
  namespace fs = std::filesystem;
  const fs::path path(target_);
  if (!path.has_filename()) refuseOutput(target_, "it names a folder, not a file");
  std::error_code error;
  if (fs::is_directory(path, error)) refuseOutput(target_, "it is a folder");
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string name = ".";
  name += path.filename().string();
  name += ".XXXXXX";
  scratch_ = (folder / name).string();
  const int fd = mkstemp(scratch_.data());
  if (fd < 0) {
    const std::string why = std::strerror(errno);
    scratch_.clear();
    refuseOutput(target_, why);
  }
  stream_ = fdopen(fd, "wb");
  if (!stream_) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    std::remove(scratch_.c_str());
    scratch_.clear();
    refuseOutput(target_, why);
  }
}

OutputFile::~OutputFile() {
  if (stream_) std::fclose(stream_);
  if (!committed_ && !scratch_.empty()) std::remove(scratch_.c_str());
}

void OutputFile::close() {
  if (!stream_) return;
  const bool lost = std::ferror(stream_) != 0;
  const int flushed = std::fflush(stream_);
  const int error = errno;
  const int closed = std::fclose(stream_);
  stream_ = nullptr;
  if (lost || flushed != 0 || closed != 0)
    refuseOutput(target_, lost ? "the data could not all be written" : std::strerror(error));
}

void OutputFile::commit() {
  close();
  // mkstemp makes the file private; give it the permissions of a new file.
  const mode_t mask = umask(0);
  umask(mask);
  chmod(scratch_.c_str(), 0666 & ~mask);
  if (std::rename(scratch_.c_str(), target_.c_str()) != 0)
    refuseOutput(target_, std::strerror(errno));
  committed_ = true;
}

} // namespace telva
