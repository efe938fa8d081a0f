#pragma once

// Helpers for the tests that check the parsers against real executables,
// some of them built at test time, and against what independent tools
// (binutils, llvm, wabt) say about their structure.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "parsers/parser_test_support.h"

namespace lumo::testing {

/// The first of `candidates` that exists as a regular file.
inline std::optional<std::string> firstExisting(const std::vector<std::string>& candidates) {
  for (const std::string& path : candidates) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) return path;
  }
  return std::nullopt;
}

inline std::optional<Bytes> readWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

/// What `command` writes to standard output, or nothing when it cannot be run
/// or exits unsuccessfully. The output goes through a temporary file so only
/// the standard library is needed.
inline std::optional<std::string> commandOutput(const std::string& command) {
  // Unique across the test processes that ctest may run at once.
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path out =
      std::filesystem::temp_directory_path() /
      ("lumo_parsers_" + std::to_string(stamp) + "_" + std::to_string(std::random_device{}()) +
       "_" + std::to_string(counter++) + ".txt");
  const int status = std::system((command + " > \"" + out.string() + "\"").c_str());
  std::ifstream file(out);
  std::ostringstream text;
  text << file.rdbuf();
  file.close();
  std::error_code error;
  std::filesystem::remove(out, error);
  if (status != 0) return std::nullopt;
  return text.str();
}

/// The first of `names` that the shell finds on PATH.
inline std::optional<std::string> findTool(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (commandOutput("command -v " + name)) return name;
  }
  return std::nullopt;
}

/// Files that a test suite builds at test time with outside tools (a
/// compiler, a linker), in a temporary folder of its own. What stopped the
/// build, a missing tool or a step that failed, is kept as the reason for
/// the suite's tests to skip.
class BuiltFiles {
 public:
  /// Whether nothing has stopped the build; else failure() says what did.
  bool ok() const { return failure_.empty(); }
  const std::string& failure() const { return failure_; }
  void fail(std::string reason) { failure_ = std::move(reason); }

  /// Makes the folder: `stem`, an underscore and a random number, in the
  /// temporary folder.
  void makeFolder(const std::string& stem) {
    folder_ = std::filesystem::temp_directory_path() /
              (stem + "_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  void removeFolder() {
    std::error_code error;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
  }

  void write(const std::string& file, std::string_view text) const {
    std::ofstream(folder_ / file) << text;
  }
  std::string path(const std::string& file) const { return (folder_ / file).string(); }
  /// The folder quoted for the shell, with the slash that a file name
  /// follows in a command.
  std::string quotedFolder() const { return "\"" + folder_.string() + "\"/"; }

  /// Runs each command in turn, its output discarded; the first that fails
  /// stops the build.
  void run(const std::vector<std::string>& commands) {
    for (const std::string& command : commands) {
      if (!commandOutput(command + " 2>&1")) {
        fail("could not run: " + command);
        return;
      }
    }
  }

 private:
  std::filesystem::path folder_;
  std::string failure_;
};

/// The fixture of a suite whose SetUpTestSuite() builds its files into
/// files_: they are removed after the last test, and each test skips,
/// visibly, when they could not be built. `Suite` gives each suite files_
/// of its own.
template <typename Suite>
class BuiltFilesTest : public ::testing::Test {
 protected:
  static void TearDownTestSuite() { files_.removeFolder(); }

  void SetUp() override {
    if (!files_.ok()) GTEST_SKIP() << files_.failure();
  }

  static inline BuiltFiles files_;
};

inline std::vector<std::string> splitWords(std::string_view line) {
  std::istringstream stream{std::string(line)};
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

/// Where two masks of equal length first differ, and how many entries do, as
/// text short enough for a failure message on a megabyte-sized input.
inline std::string describeMismatch(const std::string& actual, const std::string& expected) {
  if (actual.size() != expected.size()) {
    return "sizes differ: " + std::to_string(actual.size()) + " vs " +
           std::to_string(expected.size());
  }
  std::size_t differing = 0, first = actual.size();
  for (std::size_t k = 0; k < actual.size(); ++k) {
    if (actual[k] == expected[k]) continue;
    if (differing++ == 0) first = k;
  }
  if (differing == 0) return "";
  std::ostringstream message;
  message << differing << " entries differ, the first at offset 0x" << std::hex << first
          << ": got '" << actual[first] << "', expected '" << expected[first] << "'";
  return message.str();
}

}  // namespace lumo::testing
