// The spill file holds a copy of a stream, reads it back at any offset, and
// leaves nothing behind in the temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include "platform/windows_test_support.h"
#endif

namespace lumo::platform {
namespace {

namespace fs = std::filesystem;

// Points the temporary folder of this process at `folder` while it lives.
class TemporaryFolderAt {
 public:
  explicit TemporaryFolderAt(const fs::path& folder) {
#ifdef _WIN32
    wchar_t* previous = _wgetenv(kName);
    if (previous != nullptr) previous_ = previous;
    ::SetEnvironmentVariableW(kName, folder.c_str());
#else
    const char* previous = std::getenv(kName);
    if (previous != nullptr) previous_ = previous;
    ::setenv(kName, folder.c_str(), 1);
#endif
  }
  ~TemporaryFolderAt() {
#ifdef _WIN32
    ::SetEnvironmentVariableW(kName, previous_ ? previous_->c_str() : nullptr);
#else
    if (previous_) {
      ::setenv(kName, previous_->c_str(), 1);
    } else {
      ::unsetenv(kName);
    }
#endif
  }
  TemporaryFolderAt(const TemporaryFolderAt&) = delete;
  TemporaryFolderAt& operator=(const TemporaryFolderAt&) = delete;

 private:
#ifdef _WIN32
  static constexpr const wchar_t* kName = L"TMP";
  std::optional<std::wstring> previous_;
#else
  static constexpr const char* kName = "TMPDIR";
  std::optional<std::string> previous_;
#endif
};

// A fresh folder of this test's own, removed with its content.
class Folder {
 public:
  Folder() {
    path_ = fs::temp_directory_path() /
            ("lumo-spill-test-" + std::to_string(std::random_device()()) + "-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const fs::path& path() const { return path_; }
  bool empty() const { return fs::is_empty(path_); }

 private:
  fs::path path_;
};

std::vector<std::uint8_t> pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251 + seed) & 0xff);
  }
  return bytes;
}

TEST(SpillFile, HoldsWhatWasAppendedAndReadsItAtAnyOffset) {
  Folder folder;
  const TemporaryFolderAt redirected(folder.path());
  Result<SpillFile> spill = SpillFile::create();
  ASSERT_TRUE(spill.ok()) << failureName(spill.failure());
  const std::uint64_t room = spill->room();
  EXPECT_GT(room, 0u);

  const std::vector<std::uint8_t> first = pattern(70000, 1);
  const std::vector<std::uint8_t> second = pattern(12345, 2);
  ASSERT_TRUE(spill->append(first).ok());
  ASSERT_TRUE(spill->append(second).ok());
  EXPECT_EQ(spill->size(), first.size() + second.size());
  EXPECT_EQ(spill->room(), room - spill->size());
#ifndef _WIN32
  // The copy has no name, not even while it is written.
  EXPECT_TRUE(folder.empty());
#endif

  InputSource copy = std::move(*spill).toInput();
  ASSERT_TRUE(copy.seekable());
  ASSERT_EQ(copy.size(), first.size() + second.size());
  std::vector<std::uint8_t> read(second.size() + 20);
  // Across the seam of the two appends, past the end, and from the start.
  Result<std::size_t> got = copy.readAt(first.size() - 10, read.data(), read.size());
  ASSERT_TRUE(got.ok());
  ASSERT_EQ(*got, second.size() + 10);
  EXPECT_TRUE(std::equal(first.end() - 10, first.end(), read.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), read.begin() + 10));
  got = copy.readAt(0, read.data(), 100);
  ASSERT_TRUE(got.ok());
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + 100, read.begin()));
}

TEST(SpillFile, LeavesNothingBehind) {
  Folder folder;
  const TemporaryFolderAt redirected(folder.path());
  {
    Result<SpillFile> spill = SpillFile::create();
    ASSERT_TRUE(spill.ok());
    ASSERT_TRUE(spill->append(pattern(1000, 3)).ok());
    InputSource copy = std::move(*spill).toInput();
    Result<SpillFile> unread = SpillFile::create();
    ASSERT_TRUE(unread.ok());
    ASSERT_TRUE(unread->append(pattern(1000, 4)).ok());
#ifdef _WIN32
    // Windows names the files while they are open, in the folder given.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
#else
    EXPECT_TRUE(folder.empty());
#endif
  }
  EXPECT_TRUE(folder.empty());
}

TEST(SpillFile, CannotBeMadeWhereTheFolderIsMissingOrAFile) {
  Folder folder;
  std::ofstream(folder.path() / "file") << "x";
  for (const fs::path& where : {folder.path() / "missing", folder.path() / "file"}) {
    const TemporaryFolderAt redirected(where);
    Result<SpillFile> spill = SpillFile::create();
    EXPECT_FALSE(spill.ok()) << where;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace lumo::platform
