// Hostile input and failing files: values at the edges of the double range,
// counts beyond the capacities, bytes that are not text, lines of a megabyte,
// a read that fails, a closed standard input, and a file of position records
// far larger than memory needs to be. Every run ends in a listing that holds
// what was written before its end and a status that tells how it ended.
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.hpp"

namespace telva {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::runInProcess;
using test::TempDir;
using test::writeFile;

const std::string lattice = "      5.0      5.0      5.0     90.0     90.0     90.0\n";
const std::string identity = "        0.0 1 0        0.0 2 0        0.0 3 0\n";
const std::string sodium = "Na        1.0      1.0      0.0      0.0      0.0\n";
const std::string chlorine = "Cl       -1.0      1.0      0.5      0.5      0.5\n";
const std::string position = "     0.25     0.25     0.25\n";

// Two ions in a cube, with the records a case replaces.
struct Crystal {
  std::string radius = "  1.00  1.50\n";
  std::string counts = "  1  2  0\n";
  std::string cell = lattice;
  std::string operation = identity;
  std::string first = sodium;
  std::string positions = position;

  std::string text() const {
    return "Two ions in a cube\n" + radius + counts + cell + operation + first + chlorine +
           positions;
  }
};

// Fields of one width, each right-aligned in it, as one record.
std::string fields(int width, const std::vector<std::string>& values) {
  std::string record;
  for (const std::string& value : values)
    record += std::string(width - std::min<int>(width, value.size()), ' ') + value;
  return record + "\n";
}

std::string diagnostic(int number, const std::string& text, const std::string& path) {
  return "telva: severe (" + std::to_string(number) + "): " + text + ", unit 5, file " + path +
         "\n";
}

struct HostileFixture : testing::Test, test::CrystalFiles {};

// ---- Values at and beyond the edges ----

TEST_F(HostileFixture, AdversarialValuesEndInAStatusAndNeverInANaNAtANormalEnd) {
  const std::string notFinite =
      "result is not a finite number: a value of the input is too large or too small";
  struct Case {
    const char* name;
    Crystal crystal;
    int status;
    std::string message; // the diagnostic's text; empty for statuses 0 and 1
  };
  auto with = [](auto change) {
    Crystal crystal;
    change(crystal);
    return crystal;
  };
  auto radius = [&](const std::string& r, const std::string& qmax) {
    return with([&](Crystal& c) { c.radius = fields(6, {r, qmax}); });
  };
  auto cell = [&](std::vector<std::string> values) {
    return with([&](Crystal& c) { c.cell = fields(9, values); });
  };
  auto translation = [&](const std::string& t) {
    return with([&](Crystal& c) { c.operation = fields(11, {t}) + c.operation.substr(11); });
  };
  auto first = [&](std::vector<std::string> values) {
    return with([&](Crystal& c) { c.first = "Na       " + fields(9, values); });
  };
  auto positions = [&](std::vector<std::string> values) {
    return with([&](Crystal& c) { c.positions = position + fields(9, values); });
  };
  const std::vector<Case> cases = {
      {"R 1E308: the form factor is inf/inf", radius("1.E308", "1.50"), 67, notFinite},
      {"R 1E-308: x^7 underflows to 0", radius("1.-308", "1.50"), 67, notFinite},
      {"R the least denormal", radius("5.-324", "1.50"), 67, notFinite},
      {"R 1E-99999 is zero", radius(".1-999", "1.50"), 66,
       "radius of an ionic sphere must be a positive number"},
      {"R 1E99999 is infinite", radius("1E9999", "1.50"), 66,
       "radius of an ionic sphere must be a positive number"},
      {"qmax 1E308: the index limits saturate", radius("1.00", "1.E308"), 1, ""},
      {"qmax 1E99999", radius("1.00", "1E9999"), 66,
       "reciprocal-space range must be a finite number"},
      {"qmax -1E308: no reflection", radius("1.00", "-1.308"), 0, ""},
      {"qmax denormal", radius("1.00", "5.-324"), 0, ""},
      {"negative counts read one record each", with([](Crystal& c) {
         c.counts = " -9-99  0\n";
         c.first = "";
       }),
       0, ""},
      {"gamma a hundred-thousandth of a degree from flat",
       cell({"5.0", "5.0", "5.0", "90.0", "90.0", "179.99999"}), 0, ""},
      {"a cosine a ten-millionth from one", cell({"5.0", "5.0", "5.0", ".9999999", "0.", "0."}), 0,
       ""},
      {"angles summing to within 1E-5 degrees of flat",
       cell({"5.0", "5.0", "5.0", "60.0", "60.0", "119.99999"}), 0, ""},
      {"alpha 180 degrees", cell({"5.0", "5.0", "5.0", "180.0", "90.0", "90.0"}), 66,
       "lattice parameters describe no cell"},
      {"reciprocal edge 1E-300: the direct edge is 1E300",
       cell({"1.-300", "0.2", "0.2", "90.0", "90.0", "90.0"}), 1, ""},
      {"edges 1E300", cell({"1.E300", "1.E300", "1.E300", "90.0", "90.0", "90.0"}), 1, ""},
      {"edge 1E99999", cell({"1.E9999", "5.0", "5.0", "90.0", "90.0", "90.0"}), 66,
       "lattice parameters describe no cell"},
      {"translation 1E99999", translation("1.E99999"), 66,
       "translation of a symmetry operation must be a finite number"},
      {"axis codes outside -3..3 name no term",
       with([](Crystal& c) { c.operation = "        0.099-9        0.0 2 4        0.0 3-4\n"; }), 0,
       ""},
      {"charge 1E99999", first({"1.E99999", "1.0", "0.0", "0.0", "0.0"}), 66,
       "charge of an atom must be a finite number"},
      {"charge 1E300: the structure sums overflow", first({"1.E300", "1.0", "0.0", "0.0", "0.0"}),
       67, notFinite},
      {"charge denormal", first({"4.9-324", "1.0", "0.0", "0.0", "0.0"}), 0, ""},
      {"W -1E99999", first({"1.0", "-1.E99999", "0.0", "0.0", "0.0"}), 66,
       "W of an atom must be a finite number"},
      {"atom coordinate 1E99999", first({"1.0", "1.0", "0.0", "1.E99999", "0.0"}), 66,
       "coordinates of an atom must be finite numbers"},
      {"atom coordinate 1E300: its phases mean nothing but stay finite",
       first({"1.0", "1.0", "0.0", "1.E300", "0.0"}), 0, ""},
      {"position 1E99999", positions({"1.E99999", "0.0", "0.0"}), 66,
       "coordinates of a position must be finite numbers"},
      {"position 1E300: every distance overflows", positions({"1.E300", "0.0", "0.0"}), 67,
       notFinite},
      {"position denormal", positions({"1.-320", "1.-320", "-1.-320"}), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = run(c.crystal.text());
    EXPECT_EQ(result.status, c.status);
    if (c.status == 0) {
      EXPECT_EQ(result.err, "");
    } else if (c.status == 1) {
      EXPECT_EQ(result.err, "1\n");
    } else {
      EXPECT_EQ(result.err, diagnostic(c.status, c.message, input));
    }
    if (c.status <= 1) {
      EXPECT_EQ(readFile(listing).find("NaN"), std::string::npos);
    }
  }
}

// The listing of a run that ends at a fault is the listing of the same run
// without the records from the failing one on, plus the failing line where it
// was computed.
TEST_F(HostileFixture, FaultsAtPositionsKeepEveryLineListedBeforeThem) {
  const std::string good = position + "      0.1      0.2      0.3\n";
  Crystal crystal;
  crystal.positions = good;
  ASSERT_EQ(run(crystal.text()).status, 0);
  const std::string before = readFile(listing);

  // Far more records than one batch, so that the fault falls in a later one.
  std::string many;
  for (int i = 0; i < 600; ++i)
    many += good;
  crystal.positions = many;
  ASSERT_EQ(run(crystal.text()).status, 0);
  const std::string manyListed = readFile(listing);

  crystal.positions = many + "   1E9999      0.0      0.0\n" + good;
  auto result = run(crystal.text());
  EXPECT_EQ(result.status, 66);
  EXPECT_EQ(readFile(listing), manyListed);

  crystal.positions = good + "    1E300      0.0      0.0\n" + good;
  result = run(crystal.text());
  EXPECT_EQ(result.status, 67);
  const std::string faulted = readFile(listing);
  ASSERT_TRUE(faulted.starts_with(before)) << faulted;
  const std::string rest = faulted.substr(before.size());
  EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 1) << rest;
  EXPECT_TRUE(rest.starts_with("  *********")) << rest;
}

// A site potential that is not finite is listed with every site before the
// run ends; no position is read.
TEST_F(HostileFixture, NonFiniteSitePotentialsAreListedThenEndTheRun) {
  Crystal crystal;
  crystal.radius = "1E-3081.50\n";
  const auto result = run(crystal.text());
  EXPECT_EQ(result.status, 67);
  const std::string listed = readFile(listing);
  EXPECT_NE(listed.find(" Na "), std::string::npos);
  EXPECT_NE(listed.find(" Cl "), std::string::npos);
  EXPECT_TRUE(listed.ends_with("NaN MJ/mol\n\n")) << listed;
  EXPECT_EQ(listed.find("arbitrary positions"), std::string::npos);
}

// ---- Bytes and lines ----

TEST_F(HostileFixture, LinesOfAMegabyteAreReadByTheirColumns) {
  const Crystal plain;
  ASSERT_EQ(run(plain.text()).status, 0);
  const std::string expected = readFile(listing);

  const std::string megabyte(1 << 20, 'x');
  const std::string text = "Two ions in a cube" + std::string(54, ' ') + megabyte + "\n" +
                           plain.radius + plain.counts + plain.cell + plain.operation +
                           sodium.substr(0, sodium.size() - 1) + "     " + megabyte + "\n" +
                           chlorine + "     0.25     0.25     0.25 " + megabyte + "\n";
  const auto result = run(text);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile(listing), expected);
}

TEST_F(HostileFixture, BinaryAndNulBytesAreTextInTextFieldsAndErrorsInNumbers) {
  const std::string title = std::string("\x00\x01\x7f\x80\xff\xfe title \x00 end", 19);
  const std::string label = std::string("\xff\x00\x80Na\x00\x01\x02", 8);
  Crystal crystal;
  crystal.first = label + sodium.substr(8);
  std::string text = crystal.text();
  text.replace(0, text.find('\n'), title);
  auto result = run(text);
  EXPECT_EQ(result.status, 0);
  const std::string listed = readFile(listing);
  EXPECT_NE(listed.find(" " + title + std::string(72 - title.size(), ' ') + "\n"),
            std::string::npos);
  EXPECT_NE(listed.find(" " + label + " "), std::string::npos);

  for (const std::string& field : {std::string("  1.0\x00  1.50", 12),
                                   std::string("  \xa0"
                                               "1.0  1.50"),
                                   std::string("  1.0\x1a  1.50"), std::string("  1.0\r  1.50")}) {
    SCOPED_TRACE(field);
    Crystal bad;
    bad.radius = field + "\n";
    result = run(bad.text());
    EXPECT_EQ(result.status, 64);
    EXPECT_EQ(result.err, diagnostic(64, "input conversion error", input));
  }
}

TEST_F(HostileFixture, OnlyACarriageReturnBeforeALineFeedEndsALine) {
  const Crystal crystal;
  ASSERT_EQ(run(crystal.text()).status, 0);
  const std::string expected = readFile(listing);

  // Without its final line feed, and with CR LF, the same file.
  std::string text = crystal.text();
  EXPECT_EQ(run(text.substr(0, text.size() - 1)).status, 0);
  EXPECT_EQ(readFile(listing), expected);
  std::string crlf;
  for (char ch : text)
    crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  EXPECT_EQ(run(crlf.substr(0, crlf.size() - 2)).status, 0);
  EXPECT_EQ(readFile(listing), expected);

  // Carriage returns alone end nothing: the whole file is its title.
  std::string cr = text;
  std::replace(cr.begin(), cr.end(), '\n', '\r');
  auto result = run(cr);
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.err, diagnostic(24, "end-of-file during read", input));

  // A carriage return inside the title is part of it.
  result = run("Two ions\r in a cube" + text.substr(text.find('\n')));
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(readFile(listing).find(" Two ions\r in a cube "), std::string::npos);
}

// ---- Files that fail ----

TEST_F(HostileFixture, AListingThatCannotBeWrittenOutranksTheInputsFault) {
  // The file ends inside the head: the lines written before that fault are
  // lost on the full disk, and the lost listing is the fault told.
  writeFile(input, "Two ions in a cube\n  1.00  1.50\n");
  const auto result = runInProcess({input, "/dev/full"});
  EXPECT_EQ(result.status, 38);
  EXPECT_EQ(result.err, "telva: severe (38): write failure, unit 6, file /dev/full\n");
}

TEST_F(HostileFixture, AReadThatFailsIsAnOpenFailure) {
  // Reading the start of a process' memory fails with an I/O error.
  const std::string memory = "/proc/self/mem";
  const auto result = runInProcess({memory, listing});
  EXPECT_EQ(result.status, 30);
  EXPECT_EQ(result.err, diagnostic(30, "open failure", memory));
  EXPECT_EQ(readFile(listing).find("Radius"), std::string::npos);
}

TEST_F(HostileFixture, AnInputWithoutReadPermissionIsAnOpenFailure) {
  writeFile(input, Crystal().text());
  fs::permissions(input, fs::perms::none);
  fs::permissions(dir.path(), fs::perms::all);
  // The superuser reads whatever the permissions say: the run then drops to
  // an unprivileged user in a child process of its own.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(101);
    const auto result = runInProcess({input, dir / "listing.lst"});
    _exit(result.err == diagnostic(30, "open failure", input) ? result.status : 102);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 30);
  EXPECT_FALSE(fs::exists(dir / "listing.lst"));
}

struct ChildRun {
  int status = -1;
  std::string out, err;
  long maxResidentKb = 0;
};

// Runs the program binary in `workDir` with standard input closed (not
// empty: closed), and standard error too when `closeErr` is set, catching
// its output, its status and its peak memory.
ChildRun runClosedStdin(const std::vector<std::string>& args, const fs::path& workDir,
                        bool closeErr = false) {
  const std::string outPath = (workDir / ".stdout").string();
  const std::string errPath = (workDir / ".stderr").string();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || chdir(workDir.c_str()) != 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    close(0);
    if (closeErr) close(2);
    std::vector<char*> argv{const_cast<char*>(TELVA_BINARY)};
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(TELVA_BINARY, argv.data());
    _exit(127);
  }
  int waitStatus = 0;
  struct rusage usage {};
  if (wait4(child, &waitStatus, 0, &usage) != child) throw std::runtime_error("wait4 failed");
  ChildRun result;
  result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  result.maxResidentKb = usage.ru_maxrss;
  return result;
}

TEST_F(HostileFixture, ClosedStandardInputAtThePromptIsTheEndOfFileFault) {
  writeFile(input, Crystal().text());
  const std::string prompt = "File name missing or blank - please enter file name\nUNIT ";
  auto result = runClosedStdin({}, dir.path());
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.out, prompt + "5? ");
  EXPECT_EQ(result.err, "telva: severe (24): end-of-file during read, unit 5, file stdin\n");

  result = runClosedStdin({"crystal.inp"}, dir.path());
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.out, prompt + "6? ");
  EXPECT_EQ(result.err, "telva: severe (24): end-of-file during read, unit 6, file stdin\n");
  EXPECT_FALSE(fs::exists(dir / "crystal.lst"));
}

TEST_F(HostileFixture, ClosedStandardErrorKeepsTheDiagnosticOutOfTheListing) {
  writeFile(input, "Two ions in a cube\n");
  const auto result = runClosedStdin({"crystal.inp", "crystal.lst"}, dir.path(), true);
  EXPECT_EQ(result.status, 24);
  const std::string listed = readFile(listing);
  EXPECT_TRUE(listed.ends_with(" Two ions in a cube" + std::string(54, ' ') + "\n")) << listed;
}

#if !defined(__SANITIZE_ADDRESS__)
// Peak memory of a run over n position records, in kilobytes.
long peakMemoryOverPositions(const TempDir& dir, int n) {
  Crystal crystal;
  crystal.radius = "  1.00  0.50\n";
  crystal.positions = "";
  {
    std::ofstream file(dir / "many.inp", std::ios::binary | std::ios::trunc);
    std::string text = crystal.text();
    file << text;
    for (int i = 0; i < n; ++i)
      file << "     0.25     0.25" << (i % 2 ? "     0.25\n" : "     0.75\n");
  }
  const ChildRun result = runClosedStdin({"many.inp", "many.lst"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(fs::file_size(dir / "many.lst") > std::uintmax_t(80) * n, true);
  fs::remove(dir / "many.lst");
  return result.maxResidentKb;
}
#endif

TEST_F(HostileFixture, AHugeFileOfPositionsRunsInConstantMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine";
#else
  const long small = peakMemoryOverPositions(dir, 10'000);
  // 28 MB of records, listed as 80 MB.
  const long large = peakMemoryOverPositions(dir, 1'000'000);
  EXPECT_LT(large - small, 8 * 1024)
      << "peak " << small << " kB for 10,000 records, " << large << " kB for 1,000,000";
#endif
}

} // namespace
} // namespace telva
