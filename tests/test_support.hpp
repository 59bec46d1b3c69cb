// Helpers shared by the tests: scratch folders, whole-file reading and
// writing, and running the program in-process or as its own binary.
#pragma once

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "listing/run.hpp"

namespace telva::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "telva-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  // The path of `name` inside the folder, as a string.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
  fs::path path_;
};

// The names of the case folders under `dir`, sorted.
inline std::vector<std::string> caseFolders(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  if (!file) throw std::runtime_error("cannot write " + path);
}

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// Lines joined with a line feed after each, the shape of every listing.
inline std::string lines(std::initializer_list<std::string> texts) {
  std::string joined;
  for (const std::string& text : texts)
    joined += text + '\n';
  return joined;
}

struct RunResult {
  int status = -1;
  std::string out; // standard output (the path prompt)
  std::string err; // standard error (diagnostics)
};

// Runs the program in-process with `stdinText` as standard input.
inline RunResult runInProcess(const std::vector<std::string>& args,
                              const std::string& stdinText = "") {
  std::istringstream in(stdinText);
  std::ostringstream out, err;
  RunResult result;
  result.status = telva::run(args, in, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

// Runs `binary` with `args` in the folder `workDir`, standard input from
// /dev/null; standard output and error are caught in files of that folder.
inline RunResult runBinary(const std::string& binary, const std::vector<std::string>& args,
                           const fs::path& workDir) {
  const std::string outPath = (workDir / ".stdout").string();
  const std::string errPath = (workDir / ".stderr").string();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(workDir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int waitStatus = 0;
  if (waitpid(child, &waitStatus, 0) != child) throw std::runtime_error("waitpid failed");
  RunResult result;
  result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  fs::remove(outPath);
  fs::remove(errPath);
  return result;
}

// An input file and a listing in a scratch folder, and a run of the program
// in-process on the input written with `content`.
struct CrystalFiles {
  TempDir dir;
  std::string input = dir / "crystal.inp";
  std::string listing = dir / "crystal.lst";

  RunResult run(const std::string& content) {
    writeFile(input, content);
    return runInProcess({input, listing});
  }
};

} // namespace telva::test
