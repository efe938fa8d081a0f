// A colored dump ended by a signal leaves the terminal usable: whatever was
// cut off, the last bytes written are a string terminator and a reset, and
// the process still ends by the signal.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

using std::chrono::milliseconds;

const std::string kTerminalRestore = "\x1b\\\x1b[0m";

// Random bytes color almost every byte on its own, so a cut lands inside an
// escape sequence more often than not. Large enough that the dump is still
// running when the last delay of the table has passed.
std::string randomBytes(std::size_t size) {
  std::mt19937_64 generator(15);
  std::string bytes(size, '\0');
  for (std::size_t at = 0; at + 8 <= size; at += 8) {
    const std::uint64_t word = generator();
    for (std::size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>(word >> (8 * i));
  }
  return bytes;
}

class Interrupt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // SIGQUIT would leave a core file behind.
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    directory_ = new TempDir;
    path_ = new std::string(directory_->write("random.bin", randomBytes(std::size_t{48} << 20)));
  }
  static void TearDownTestSuite() {
    delete path_;
    delete directory_;
  }

  // What the same dump writes to a pipe with --color, up to `size` bytes.
  static std::string dumpPrefix(std::size_t size) {
    return runLumo({.args = {*path_, "--color"}, .out = Sink::EarlyClose, .closeAfter = size}).out;
  }

  static inline TempDir* directory_ = nullptr;
  static inline std::string* path_ = nullptr;
};

struct InterruptCase {
  int signal;
  milliseconds delay;  // after the first output
};

TEST_F(Interrupt, ColoredDumpEndsWithTerminatorAndReset) {
  const InterruptCase cases[] = {
      {SIGINT, milliseconds(0)},  {SIGINT, milliseconds(1)},  {SIGINT, milliseconds(4)},
      {SIGINT, milliseconds(13)}, {SIGINT, milliseconds(40)}, {SIGINT, milliseconds(90)},
      {SIGTERM, milliseconds(7)}, {SIGHUP, milliseconds(22)}, {SIGQUIT, milliseconds(31)},
  };
  for (const InterruptCase& c : cases) {
    SCOPED_TRACE(std::string(::strsignal(c.signal)) + " after " + std::to_string(c.delay.count()) +
                 " ms");
    const ChildResult r = runLumo(
        {.args = {*path_}, .out = Sink::Terminal, .signal = c.signal, .signalDelay = c.delay});
    EXPECT_EQ(r.signal, c.signal);
    EXPECT_EQ(r.status, -1);
    ASSERT_TRUE(r.out.ends_with(kTerminalRestore))
        << "last bytes: " << testing::PrintToString(r.out.substr(r.out.size() - 40));
    // Before the restore, exactly what the dump writes, cut anywhere; after
    // the last complete line, nothing but the cut line and the restore.
    const std::string dumped = r.out.substr(0, r.out.size() - kTerminalRestore.size());
    EXPECT_EQ(r.out.find('\n', dumped.rfind('\n') + 1), std::string::npos);
    EXPECT_TRUE(dumpPrefix(dumped.size()) == dumped)
        << "the dump differs within its first " << dumped.size() << " bytes";
  }
}

TEST_F(Interrupt, SignalIgnoredAtStartStaysIgnored) {
  // As under nohup: the hang-up neither ends the dump nor adds anything.
  TempDir dir;
  const std::string path = dir.write("random.bin", randomBytes(std::size_t{1} << 20));
  const ChildResult r = runLumo({.args = {path},
                                 .out = Sink::Terminal,
                                 .signal = SIGHUP,
                                 .signalDelay = milliseconds(0),
                                 .ignoredSignals = {SIGHUP}});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.ends_with("File size: 1048576 bytes (1.00 MiB)\n"));
  EXPECT_EQ(r.out.find(kTerminalRestore), std::string::npos);
}

TEST_F(Interrupt, UncoloredDumpWritesNothingMore) {
  const ChildResult r = runLumo({.args = {*path_, "--no-color"},
                                 .out = Sink::Terminal,
                                 .signal = SIGINT,
                                 .signalDelay = milliseconds(5)});
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace lumo::e2e
