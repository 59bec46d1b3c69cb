// A map file is written whole or not at all: its scratch file goes when the
// writing fails or is abandoned, and an earlier file of the same name stays
// as it was.
#include "map/output_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "base/fault.hpp"
#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;

std::size_t entries(const fs::path& folder) {
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

TEST(OutputFile, CommitRenamesTheWholeFileIntoPlace) {
  test::TempDir dir;
  {
    OutputFile file(dir / "m.cube");
    EXPECT_EQ(entries(dir.path()), 1u); // the scratch file only
    std::fputs("all of it\n", file.stream());
    file.commit();
  }
  EXPECT_EQ(test::readFile(dir / "m.cube"), "all of it\n");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(OutputFile, AbandonedOrFailedWritesLeaveNothingAndKeepTheOldFile) {
  test::TempDir dir;
  test::writeFile(dir / "m.cube", "old\n");
  { // abandoned: a fault elsewhere before the commit
    OutputFile file(dir / "m.cube");
    std::fputs("half", file.stream());
  }
  EXPECT_EQ(test::readFile(dir / "m.cube"), "old\n");
  EXPECT_EQ(entries(dir.path()), 1u);
  { // the data cannot be written: the descriptor is gone under the stream
    OutputFile file(dir / "m.cube");
    std::fputs("lost", file.stream());
    ::close(fileno(file.stream()));
    EXPECT_THROW(file.commit(), Fault);
  }
  EXPECT_EQ(test::readFile(dir / "m.cube"), "old\n");
  EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(OutputFile, FolderThatDoesNotTakeTheFileIsRefusedAtOnce) {
  test::TempDir dir;
  for (const std::string& path : {dir / "no/such/folder/m.cube", dir.path().string()}) {
    try {
      OutputFile file(path);
      ADD_FAILURE() << path << " taken";
    } catch (const Fault& fault) {
      EXPECT_NE(fault.text.find("cannot write " + path), std::string::npos) << fault.text;
    }
  }
  EXPECT_EQ(entries(dir.path()), 0u);
}

} // namespace
} // namespace telva
