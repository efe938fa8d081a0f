// An ELF or PE stream is read whole before its dump, into a spill file in
// the temporary folder, or into memory where no spill file can be made.
// Either way the dump is the file's own, the folder is left as it was, and
// an endless stream never fills the disk.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kHome = "HOME=/nonexistent/lumo-test-home";

// A 4 MiB tmpfs of the test's own, unmounted at the end.
class SmallTmpfs {
 public:
  explicit SmallTmpfs(unsigned long flags = 0) : path_(dir_.path() + "/tmpfs") {
    fs::create_directory(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", flags, "size=4m") == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
  bool mounted_ = false;
};

#define SKIP_UNLESS_MOUNTED(tmpfs) \
  if (!(tmpfs).mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here"

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// `size` bytes from the start of the lumo binary: a real ELF header and
// program headers, always at hand.
std::string elfOnDisk(const TempDir& dir, std::size_t size = 256 << 10) {
  std::string bytes = readFile(LUMO_BINARY);
  bytes.resize(size, 'z');
  return dir.write("elf", bytes);
}

// Compares the dump of `path` from a pipe, with `temporaryFolder` as TMPDIR,
// with its dump as a file.
void expectPipeDumpsLikeTheFile(const std::string& path, const std::string& temporaryFolder) {
  ChildResult fromFile = runLumo({.args = {"--color", path}});
  ChildResult fromPipe = runLumo({.args = {"--color", "-"},
                                  .stdinData = readFile(path),
                                  .env = {kHome, "TMPDIR=" + temporaryFolder}});
  ASSERT_EQ(fromFile.status, 0) << path;
  EXPECT_EQ(fromPipe.err, "") << temporaryFolder;
  EXPECT_EQ(fromPipe.status, 0) << temporaryFolder;
  EXPECT_TRUE(fromFile.out == fromPipe.out)
      << path << " from a pipe, TMPDIR=" << temporaryFolder << ": the dumps differ";
}

class RealBinaryOnAPipe : public testing::TestWithParam<const char*> {};

TEST_P(RealBinaryOnAPipe, DumpsLikeTheFileAndLeavesNothingBehind) {
  const std::string path = GetParam();
  if (::access(path.c_str(), R_OK) != 0) GTEST_SKIP() << path << " is not on this machine";
  TempDir temporary;
  expectPipeDumpsLikeTheFile(path, temporary.path());
  EXPECT_EQ(entries(temporary.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Spill, RealBinaryOnAPipe,
                         testing::Values("/bin/ls",
                                         "/usr/lib/systemd/boot/efi/systemd-bootx64.efi"));

TEST(Spill, NoFileIsVisibleInTheTemporaryFolderWhileTheStreamIsCopied) {
  TempDir temporary;
  // The listing runs once lumo has taken in far more than a pipe holds, so
  // its copy exists by then.
  ChildResult r = runChild(
      "/bin/sh", {.args = {"-c",
                           "(printf '\\177ELF'; head -c 4000000 /dev/zero; ls -A \"$TMPDIR\" >&2)"
                           " | \"$0\" - >/dev/null",
                           LUMO_BINARY},
                  .env = {kHome, "PATH=/usr/bin:/bin", "TMPDIR=" + temporary.path()}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(Spill, WithoutAUsableTemporaryFolderTheStreamIsHeldInMemory) {
  TempDir dir;
  const std::string elf = elfOnDisk(dir);
  const std::string aFile = dir.write("not-a-folder", "x");
  for (const std::string& folder : {dir.path() + "/missing", aFile, std::string("/proc")}) {
    expectPipeDumpsLikeTheFile(elf, folder);
  }
}

TEST(Spill, AReadOnlyTemporaryFolderHoldsTheStreamInMemory) {
  SmallTmpfs tmpfs(MS_RDONLY);
  SKIP_UNLESS_MOUNTED(tmpfs);
  TempDir dir;
  expectPipeDumpsLikeTheFile(elfOnDisk(dir), tmpfs.path());
}

TEST(Spill, ASmallTemporaryFolderHoldsTheCopyAndAFullOneLeavesItToMemory) {
  TempDir dir;
  const std::string elf = elfOnDisk(dir);
  for (bool full : {false, true}) {
    SmallTmpfs tmpfs;
    SKIP_UNLESS_MOUNTED(tmpfs);
    std::vector<std::string> before;
    if (full) {
      // Writes until the tmpfs has no room left.
      std::ofstream(tmpfs.path() + "/filler", std::ios::binary) << std::string(5 << 20, 'x');
      before.emplace_back("filler");
    }
    expectPipeDumpsLikeTheFile(elf, tmpfs.path());
    EXPECT_EQ(entries(tmpfs.path()), before) << (full ? "full" : "empty");
  }
}

TEST(Spill, ACopyThatCannotBeWrittenFurtherGoesOnInMemory) {
  TempDir dir;
  TempDir temporary;
  const std::string elf = elfOnDisk(dir, 2 << 20);
  // A file size limit makes the writes of the copy fail part way, with
  // room left on the disk.
  ChildResult fromPipe = runChild(
      "/bin/sh", {.args = {"-c", "trap '' XFSZ; ulimit -f 1024; cat \"$1\" | \"$0\" --color -",
                           LUMO_BINARY, elf},
                  .env = {kHome, "PATH=/usr/bin:/bin", "TMPDIR=" + temporary.path()}});
  ChildResult fromFile = runLumo({.args = {"--color", elf}});
  EXPECT_EQ(fromPipe.err, "");
  EXPECT_EQ(fromPipe.status, 0);
  EXPECT_TRUE(fromFile.out == fromPipe.out) << "the dumps differ";
  EXPECT_EQ(entries(temporary.path()), std::vector<std::string>{});
}

TEST(Spill, AStreamPastHalfTheFreeSpaceFailsAsOutOfMemory) {
  TempDir dir;
  // Only colors need the whole stream. The finite stream would fit in
  // memory. Were the copy not bounded, the endless one would fill the tmpfs
  // and go on in memory without end, so it runs only once the finite one
  // showed the bound.
  const std::string elf = elfOnDisk(dir, 3 << 20);
  for (const std::string command :
       {"cat \"$1\" | \"$0\" --color -", "(printf 'MZ'; cat /dev/zero) | \"$0\" --color -"}) {
    SmallTmpfs tmpfs;
    SKIP_UNLESS_MOUNTED(tmpfs);
    ChildResult r =
        runChild("/bin/sh", {.args = {"-c", command, LUMO_BINARY, elf},
                             .env = {kHome, "PATH=/usr/bin:/bin", "TMPDIR=" + tmpfs.path()}});
    ASSERT_EQ(r.err, "error: Out of memory\n") << command;
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.out, "") << command;
    EXPECT_EQ(entries(tmpfs.path()), std::vector<std::string>{}) << command;
  }
}

TEST(Spill, AFolderTooFullForTheFirstBytesStillBoundsTheStream) {
  TempDir dir;
  // As above, the endless stream runs only once the finite one showed the
  // bound: unbounded, it would grow in memory without end.
  const std::string elf = elfOnDisk(dir, 3 << 20);
  for (const std::string command :
       {"cat \"$1\" | \"$0\" --color -", "(printf 'MZ'; cat /dev/zero) | \"$0\" --color -"}) {
    SmallTmpfs tmpfs;
    SKIP_UNLESS_MOUNTED(tmpfs);
    // One page stays free: the spill file is made, but its room is less
    // than the first read of the pipe, so writing those bytes fails.
    std::ofstream(tmpfs.path() + "/filler", std::ios::binary) << std::string((4 << 20) - 4096, 'x');
    ChildResult r =
        runChild("/bin/sh", {.args = {"-c", command, LUMO_BINARY, elf},
                             .env = {kHome, "PATH=/usr/bin:/bin", "TMPDIR=" + tmpfs.path()}});
    ASSERT_EQ(r.err, "error: Out of memory\n") << command;
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.out, "") << command;
    EXPECT_EQ(entries(tmpfs.path()), std::vector<std::string>{"filler"}) << command;
  }
}

}  // namespace
}  // namespace lumo::e2e
