// Faults from outside the program: standard output that fails in every way
// while a large dump is under way, and configuration files that are huge,
// deeply nested or binary. Each run must end quickly with exactly the
// specified output, never hang or die by a signal.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

// A guard against runs that never end, not a measure of speed: a run takes
// seconds even under the sanitizers on a loaded machine, while a quadratic
// scan of a few MiB would take hours.
constexpr auto kHangGuard = std::chrono::minutes(3);

// Every line differs, so nothing collapses and the dump is large.
std::string countingBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

struct TimedResult {
  ChildResult result;
  std::chrono::steady_clock::duration elapsed;
};

TimedResult timedRun(const ChildSpec& spec) {
  const auto start = std::chrono::steady_clock::now();
  ChildResult result = runLumo(spec);
  return {std::move(result), std::chrono::steady_clock::now() - start};
}

TEST(OutputFaults, EveryWriteFailureOfALargeDumpEndsTheRun) {
  TempDir dir;
  const std::string input = countingBytes(6 << 20);
  const std::string path = dir.write("big", input);
  struct Case {
    const char* name;
    Sink out;
    std::string err;
  } cases[] = {
      {"full disk", Sink::DevFull, "error: Error writing to stdout: NoSpaceLeft\n"},
      {"closed", Sink::Closed, "error: Error writing to stdout: NotOpenForWriting\n"},
      {"reader gone before the first line", Sink::EarlyClose, "error: Broken pipe\n"},
  };
  for (const Case& c : cases) {
    // From a file, and streamed from a pipe that still has megabytes to
    // deliver when the write fails.
    for (const ChildSpec& spec : {ChildSpec{.args = {path}, .out = c.out},
                                  ChildSpec{.args = {"-"}, .stdinData = input, .out = c.out},
                                  ChildSpec{.args = {"--color", path}, .out = c.out}}) {
      const TimedResult run = timedRun(spec);
      const std::string what = std::string(c.name) + ", " + spec.args[0];
      EXPECT_EQ(run.result.signal, 0) << what;
      EXPECT_EQ(run.result.status, 1) << what;
      EXPECT_EQ(run.result.err, c.err) << what;
      EXPECT_EQ(run.result.out, "") << what;
      EXPECT_LT(run.elapsed, kHangGuard) << what;
    }
  }
}

TEST(OutputFaults, ReaderGoneAfterOneLineOfAStreamedInput) {
  const std::string input = countingBytes(6 << 20);
  const std::string firstLine =
      "00000000 | 0001 0203 0405 0607 0809 0a0b 0c0d 0e0f | ................ |\n";
  const TimedResult run = timedRun(
      {.args = {"-"}, .stdinData = input, .out = Sink::EarlyClose, .closeAfter = firstLine.size()});
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.err, "error: Broken pipe\n");
  EXPECT_EQ(run.result.out, firstLine);  // and no footer
  EXPECT_LT(run.elapsed, kHangGuard);
}

TEST(OutputFaults, FooterAloneOnAFailingOutput) {
  // An empty input writes only the footer, at the final flush.
  for (const auto& [out, err] :
       {std::pair{Sink::DevFull, "error: Error writing to stdout: NoSpaceLeft\n"},
        std::pair{Sink::Closed, "error: Error writing to stdout: NotOpenForWriting\n"},
        std::pair{Sink::EarlyClose, "error: Broken pipe\n"}}) {
    ChildResult r = runLumo({.args = {"-"}, .out = out});
    EXPECT_EQ(r.status, 1) << err;
    EXPECT_EQ(r.err, err);
  }
}

class ConfigFaults : public ::testing::Test {
 protected:
  TimedResult run(const std::string& config) {
    dir_.write("lumo/config.ziggy", config);
    return timedRun({.args = {input_, "--no-size"},
                     .env = {"XDG_CONFIG_HOME=" + dir_.path(), "HOME=/nonexistent"}});
  }
  std::string path() const { return dir_.path() + "/lumo/config.ziggy"; }
  // The report of an `unexpected` problem at line:col.
  std::string unexpected(const std::string& position, const std::string& message) const {
    return "error: " + path() + ":" + position + "\nunexpected " + message +
           "\n\nerror: Invalid config found\n";
  }

  TempDir dir_;
  std::string input_ = dir_.write("hi.txt", "hi");
};

TEST_F(ConfigFaults, LongValidFilesAreReadWhole) {
  const std::string withoutOffset =
      "| 6869                                    | hi               |\n";
  std::string comments;
  for (int line = 0; line < 100000; ++line) comments += "// a comment line of some length\n";
  const std::string spaces(5 << 20, ' ');
  const std::string cases[] = {
      comments + ".show_offset = false",
      spaces + ".show_offset = false",
      // A zero byte ends the document; whatever follows is never read.
      ".show_offset = false\n" + std::string(1, '\0') + countingBytes(3 << 20),
  };
  for (const std::string& config : cases) {
    const TimedResult r = run(config);
    EXPECT_EQ(r.result.status, 0);
    EXPECT_EQ(r.result.err, "");
    EXPECT_EQ(r.result.out, withoutOffset);
    EXPECT_LT(r.elapsed, kHangGuard);
  }
}

TEST_F(ConfigFaults, LongInvalidFilesReportTheirPosition) {
  std::string comments;
  for (int line = 0; line < 100000; ++line) comments += "// a comment line of some length\n";
  const std::string spaces(5 << 20, ' ');
  struct Case {
    std::string config;
    std::string err;
  } cases[] = {
      {comments + ".show_offset = maybe",
       unexpected("100001:16", "'(identifier)', expected: 'true' or 'false'")},
      {spaces + "x",
       unexpected("1:" + std::to_string((5 << 20) + 2), "'EOF', expected: '.' or '}'")},
      {std::string(5 << 20, '.'), unexpected("1:2", "'.', expected: '(identifier)'")},
      // A binary file: its first byte is no token.
      {"\x7f"
       "ELF" +
           countingBytes(4 << 20),
       unexpected("1:1", "'(invalid)', expected: '.' or '}'")},
  };
  for (const Case& c : cases) {
    const TimedResult r = run(c.config);
    EXPECT_EQ(r.result.status, 1);
    EXPECT_EQ(r.result.out, "");
    EXPECT_EQ(r.result.err, c.err);
    EXPECT_LT(r.elapsed, kHangGuard);
  }
}

TEST_F(ConfigFaults, DeepNestingIsRejectedAtTheFirstLevelTooMany) {
  // The schema has two levels; the parser follows the schema, never the
  // text, so nesting costs no stack.
  const std::string braces(100000, '{');
  struct Case {
    std::string config;
    std::string err;
  } cases[] = {
      {braces, unexpected("1:2", "'{', expected: '.' or '}'")},
      {std::string(100000, '['), unexpected("1:1", "'[', expected: '.' or '}'")},
      {".palette = " + braces, unexpected("1:13", "'{', expected: '.' or '}'")},
      {".color = " + braces, unexpected("1:10", "'{', expected: 'true' or 'false'")},
      {".palette = { .normal = @color(" + std::string(100000, '(') + ")) }",
       unexpected("1:31", "'(', expected: '(string)'")},
  };
  for (const Case& c : cases) {
    const TimedResult r = run(c.config);
    EXPECT_EQ(r.result.signal, 0);
    EXPECT_EQ(r.result.status, 1);
    EXPECT_EQ(r.result.err, c.err);
    EXPECT_LT(r.elapsed, kHangGuard);
  }

  // Brace-less palettes nest no deeper: the inner key is unknown.
  std::string chained;
  for (int level = 0; level < 10000; ++level) chained += ".palette = ";
  const TimedResult r = run(chained + "null");
  EXPECT_EQ(r.result.err, "error: " + path() +
                              ":1:13\nunknown field 'palette'\n"
                              "error: Invalid config found\n");
}

}  // namespace
}  // namespace lumo::e2e
