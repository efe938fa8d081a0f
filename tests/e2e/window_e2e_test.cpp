// --skip, --length, --section and --legend, end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

// One line of digits, three identical lines of zeros (they collapse), "tail".
const std::string kInput = "0123456789abcdef" + std::string(48, '\0') + "tail";

const std::string kDigits =
    "00000000 | 3031 3233 3435 3637 3839 6162 6364 6566 | 0123456789abcdef |\n";
const std::string kZeros = " | 0000 0000 0000 0000 0000 0000 0000 0000 | ................ |\n";
const std::string kTail =
    "00000040 | 7461 696c                               | tail             |\n";

struct WindowCase {
  const char* name;
  std::vector<std::string> flags;
  std::string out;
};

void PrintTo(const WindowCase& c, std::ostream* out) { *out << c.name; }

class WindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowTest, ShowsTheWindowWithAbsoluteOffsets) {
  TempDir dir;
  ChildSpec spec{.args = {dir.write("in.bin", kInput)}};
  spec.args.insert(spec.args.end(), GetParam().flags.begin(), GetParam().flags.end());
  const ChildResult r = runLumo(spec);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowTest,
    ::testing::Values(
        WindowCase{"Start",
                   {"--skip", "0", "--length", "16"},
                   kDigits + "Bytes 0x0-0xf (16 bytes) of 68 bytes\n"},
        WindowCase{"MiddleOfALine",
                   {"--skip", "3", "--length", "4"},
                   "00000000 |        33 3435 36                       |    3456          |\n"
                   "Bytes 0x3-0x6 (4 bytes) of 68 bytes\n"},
        WindowCase{"End", {"--skip", "0x40"}, kTail + "Bytes 0x40-0x43 (4 bytes) of 68 bytes\n"},
        WindowCase{
            "NegativeSkip", {"--skip", "-4"}, kTail + "Bytes 0x40-0x43 (4 bytes) of 68 bytes\n"},
        WindowCase{"NegativeSkipBeyondTheStart",
                   {"--skip", "-1000", "--length", "0x12"},
                   kDigits +
                       "00000010 | 0000                                    | ..               |\n"
                       "Bytes 0x0-0x11 (18 bytes) of 68 bytes\n"},
        WindowCase{"SkipPastTheEnd", {"--skip", "100"}, "No bytes at 0x64 of 68 bytes\n"},
        WindowCase{"SkipToTheEnd", {"--skip", "68"}, "No bytes at 0x44 of 68 bytes\n"},
        WindowCase{"SkipFarPastTheEnd",
                   {"--skip", "1MiB", "--length", "16"},
                   "No bytes at 0x100000 of 68 bytes\n"},
        WindowCase{"LengthZero", {"--length", "0"}, "No bytes at 0x0 of 68 bytes\n"},
        // Nothing shown, so the legend has nothing to explain: no heading.
        WindowCase{
            "LegendOfNothing", {"--length", "0", "--legend"}, "No bytes at 0x0 of 68 bytes\n"},
        WindowCase{
            "LegendPastTheEnd", {"--skip", "100", "--legend"}, "No bytes at 0x64 of 68 bytes\n"},
        WindowCase{"LengthPastTheEnd",
                   {"--skip", "0x40", "--length", "1GiB"},
                   kTail + "Bytes 0x40-0x43 (4 bytes) of 68 bytes\n"},
        WindowCase{"SecondValueCounts",
                   {"--skip", "0", "--skip", "0x40", "--length", "9"},
                   kTail + "Bytes 0x40-0x43 (4 bytes) of 68 bytes\n"},
        WindowCase{"CollapsesInsideTheWindow",
                   {"--skip", "0x10", "--length", "0x30"},
                   "00000010" + kZeros + "... 1 lines skipped ...\n00000030" + kZeros +
                       "Bytes 0x10-0x3f (48 bytes) of 68 bytes\n"},
        WindowCase{"StartsInsideACollapsedRun",
                   {"--skip", "0x14", "--length", "0x20"},
                   "00000010 |           0000 0000 0000 0000 0000 0000 |     ............ |\n"
                   "00000020" +
                       kZeros +
                       "00000030 | 0000 0000                               | ....             |\n"
                       "Bytes 0x14-0x33 (32 bytes) of 68 bytes\n"},
        WindowCase{"Raw",
                   {"--skip", "3", "--length", "4", "--raw"},
                   "       33 3435 36                       \n"},
        WindowCase{"RawWithLegend",
                   {"--skip", "0x40", "--legend", "--raw"},
                   "7461 696c                               \n"},
        WindowCase{"NoOffset",
                   {"--skip", "3", "--length", "20", "--no-offset"},
                   "|        33 3435 3637 3839 6162 6364 6566 |    3456789abcdef |\n"
                   "| 0000 0000 0000 00                       | .......          |\n"
                   "Bytes 0x3-0x16 (20 bytes) of 68 bytes\n"},
        WindowCase{"NoAscii",
                   {"--skip", "3", "--length", "20", "--no-ascii"},
                   "00000000 |        33 3435 3637 3839 6162 6364 6566 |\n"
                   "00000010 | 0000 0000 0000 00                       |\n"
                   "Bytes 0x3-0x16 (20 bytes) of 68 bytes\n"},
        WindowCase{"LegendOfPlainData",
                   {"--skip", "2", "--length", "3", "--legend", "--no-offset", "--no-ascii"},
                   "|      3233 34                            |\n"
                   "Legend:\n  printable ASCII bytes\n  other bytes\n"
                   "Bytes 0x2-0x4 (3 bytes) of 68 bytes\n"},
        WindowCase{"LegendWithoutAWindowKeepsTheSizeLine",
                   {"--legend", "--skip-lines", "--length", "16", "--no-size"},
                   kDigits + "Legend:\n  printable ASCII bytes\n  other bytes\n"}),
    [](const ::testing::TestParamInfo<WindowCase>& param_info) { return param_info.param.name; });

TEST(Window, OnStandardInput) {
  ChildResult r = runLumo({.args = {"-", "--skip", "3", "--length", "4"}, .stdinData = kInput});
  EXPECT_EQ(r.status, 0);
  // A stream is not read past the window, so its total is not known.
  EXPECT_EQ(r.out,
            "00000000 |        33 3435 36                       |    3456          |\n"
            "Bytes 0x3-0x6 (4 bytes)\n");
  r = runLumo({.args = {"-", "--skip", "0x40"}, .stdinData = kInput});
  EXPECT_EQ(r.out, kTail + "Bytes 0x40-0x43 (4 bytes)\n");
  // A skip to or past the end reads the stream to its end, so it knows the
  // total and names it, as for a file; the offset named is the one asked for.
  r = runLumo({.args = {"-", "--skip", "100"}, .stdinData = kInput});
  EXPECT_EQ(r.out, "No bytes at 0x64 of 68 bytes\n");
  r = runLumo({.args = {"-", "--skip", "68", "--length", "4"}, .stdinData = kInput});
  EXPECT_EQ(r.out, "No bytes at 0x44 of 68 bytes\n");
  r = runLumo({.args = {"-", "--skip", "-4"}, .stdinData = kInput});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: `--skip` from the end needs a file, not <stdin>\n");
}

// A plain file of size 0 has a size like any other file; files under /proc
// that report size 0 but have bytes are still read to their end.
TEST(Window, AnEmptyFileHasASizeAndAProcFileIsReadWhole) {
  TempDir dir;
  const std::string empty = dir.write("empty", "");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "File size: 0 bytes\n"},
      {{"--skip", "-16"}, "No bytes at 0x0 of 0 bytes\n"},
      {{"--skip", "1"}, "No bytes at 0x1 of 0 bytes\n"},
      {{"--length", "3"}, "No bytes at 0x0 of 0 bytes\n"},
  };
  for (const auto& [flags, out] : cases) {
    ChildSpec spec{.args = flags};
    spec.args.push_back(empty);
    const ChildResult r = runLumo(spec);
    EXPECT_EQ(r.err, "") << testing::PrintToString(flags);
    EXPECT_EQ(r.status, 0) << testing::PrintToString(flags);
    EXPECT_EQ(r.out, out) << testing::PrintToString(flags);
  }

  // The kernel's version line is the same read by the test and by lumo.
  const std::string copy = dir.write("version", readFile("/proc/version"));
  ASSERT_FALSE(readFile(copy).empty());
  const ChildResult fromProc = runLumo({.args = {"/proc/version"}});
  EXPECT_EQ(fromProc.status, 0);
  EXPECT_EQ(fromProc.out, runLumo({.args = {copy}}).out);
  // lumo's own status starts with its name and runs to far more than the
  // first read of a stream (over 32 lines of 16 bytes).
  const ChildResult status = runLumo({.args = {"/proc/self/status"}});
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.out.rfind(
                "00000000 | 4e61 6d65 3a09 6c75 6d6f 0a55 6d61 736b | Name:.lumo.Umask |\n", 0),
            0u)
      << status.out;
  EXPECT_GT(std::count(status.out.begin(), status.out.end(), '\n'), 32) << status.out;
}

// A skip on a stream is dropped in large blocks whatever the window's
// length; the bytes after it are exactly those of the input.
TEST(Window, LongSkipOnStandardInput) {
  std::string input(300000, '\0');
  std::mt19937 random(7);
  for (char& byte : input) byte = static_cast<char>(random());
  for (const char* length : {"1", "16", "100"}) {
    SCOPED_TRACE(length);
    const ChildResult fromStream = runLumo(
        {.args = {"-", "--skip", "200001", "--length", length, "--no-size"}, .stdinData = input});
    TempDir dir;
    const ChildResult fromFile = runLumo({.args = {dir.write("in.bin", input), "--skip", "200001",
                                                   "--length", length, "--no-size"}});
    EXPECT_EQ(fromStream.status, 0);
    EXPECT_EQ(fromStream.out, fromFile.out);
  }
}

struct FlagError {
  const char* name;
  std::vector<std::string> args;
  std::string err;
};

void PrintTo(const FlagError& c, std::ostream* out) { *out << c.name; }

class WindowFlagErrorTest : public ::testing::TestWithParam<FlagError> {};

TEST_P(WindowFlagErrorTest, FailsWithOneLine) {
  TempDir dir;
  const std::string path = dir.write("in.bin", kInput);
  ChildSpec spec{.args = {path}};
  spec.args.insert(spec.args.end(), GetParam().args.begin(), GetParam().args.end());
  const ChildResult r = runLumo(spec);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  std::string expected = GetParam().err;
  if (const std::size_t at = expected.find("{path}"); at != std::string::npos) {
    expected.replace(at, 6, path);
  }
  EXPECT_EQ(r.err, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowFlagErrorTest,
    ::testing::Values(
        FlagError{
            "NotANumber", {"--skip", "12x"}, "error: `--skip` value `12x` is not a byte count\n"},
        FlagError{"UnknownUnit",
                  {"--length", "4KB"},
                  "error: `--length` value `4KB` is not a byte count\n"},
        FlagError{"Overflow",
                  {"--skip", "0x10000000000000000"},
                  "error: `--skip` value `0x10000000000000000` is not a byte count\n"},
        FlagError{
            "NegativeLength", {"--length", "-5"}, "error: `--length` value `-5` is negative\n"},
        FlagError{"FlagAsValue", {"--skip", "--raw"}, "error: `--skip` needs an offset\n"},
        FlagError{"SkipAtEnd", {"--skip"}, "error: `--skip` needs an offset\n"},
        FlagError{"LengthBeforeFlag",
                  {"--length", "--legend"},
                  "error: `--length` needs a number of bytes\n"},
        FlagError{"SectionAtEnd", {"--section"}, "error: `--section` needs a section name\n"},
        FlagError{
            "DashAsSectionName", {"--section", "-x"}, "error: {path} has no named sections\n"},
        FlagError{"LegendTwice",
                  {"--legend", "--legend"},
                  "error: `--legend` specified multiple times\n"},
        FlagError{
            "SectionOfPlainData", {"--section", ".text"}, "error: {path} has no named sections\n"}),
    [](const ::testing::TestParamInfo<FlagError>& param_info) { return param_info.param.name; });

std::string run(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  pclose(pipe);
  return text;
}

// .text of /bin/true as readelf -S -W reports it: --section shows exactly
// the window that --skip and --length give for it.
TEST(Window, SectionIsTheWindowReadelfReports) {
  const std::string file = "/bin/true";
  std::istringstream table(run("readelf -S -W " + file));
  std::string line;
  unsigned long long offset = 0, size = 0;
  bool found = false;
  while (std::getline(table, line)) {
    char name[64] = {};
    char type[64] = {};
    unsigned long long address = 0;
    const std::size_t close = line.find(']');
    if (close == std::string::npos) continue;
    if (std::sscanf(line.c_str() + close + 1, "%63s %63s %llx %llx %llx", name, type, &address,
                    &offset, &size) == 5 &&
        std::string(name) == ".text") {
      found = true;
      break;
    }
  }
  if (!found) GTEST_SKIP() << "readelf found no .text in " << file;
  char hex[64];
  std::snprintf(hex, sizeof hex, "0x%llx", offset);
  const std::string start = hex;
  std::snprintf(hex, sizeof hex, "0x%llx", offset + size - 1);
  const std::string last = hex;
  const std::string total = run("stat -c %s " + file);

  for (const std::vector<std::string>& mode :
       {std::vector<std::string>{}, {"--raw"}, {"--no-offset"}, {"--no-ascii"}, {"--color"}}) {
    ChildSpec bySection{.args = {file, "--section", ".text"}};
    ChildSpec byWindow{.args = {file, "--skip", start, "--length", std::to_string(size)}};
    bySection.args.insert(bySection.args.end(), mode.begin(), mode.end());
    byWindow.args.insert(byWindow.args.end(), mode.begin(), mode.end());
    const ChildResult a = runLumo(bySection);
    const ChildResult b = runLumo(byWindow);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out, b.out);
    if (mode.empty()) {
      std::string sizeLine = "\nBytes ";
      sizeLine += start;
      sizeLine += "-";
      sizeLine += last;
      sizeLine += " (" + std::to_string(size) + " bytes) of ";
      sizeLine += total.substr(0, total.size() - 1);
      sizeLine += " bytes";
      EXPECT_NE(a.out.find(sizeLine), std::string::npos) << a.out;
    }
  }
  // A skip past the section's end names the offset asked for.
  const ChildResult past = runLumo({.args = {file, "--section", ".text", "--skip", "1GiB"}});
  std::snprintf(hex, sizeof hex, "0x%llx", offset + (1ULL << 30));
  EXPECT_TRUE(past.out.starts_with("No bytes at " + std::string(hex) + " of " +
                                   total.substr(0, total.size() - 1) + " bytes"))
      << past.out;
  // Positions count inside the section.
  const ChildResult inside = runLumo({.args = {file, "--section", ".text", "--skip", "-16"}});
  std::snprintf(hex, sizeof hex, "0x%llx", offset + size - 16);
  EXPECT_NE(inside.out.find("Bytes " + std::string(hex) + "-" + last + " (16 bytes)"),
            std::string::npos);
}

TEST(Window, SectionErrorsAndSectionsWithoutBytes) {
  ChildResult r = runLumo({.args = {"/bin/true", "--section", ".bss"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "lumo: section .bss has no bytes in the file\n");
  r = runLumo({.args = {"/bin/true", "--section", "nope\x1b[31m"}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("error: no section named nope\\x1b[31m (sections: .interp, "))
      << r.err;
}

// The colors of a window are those of the same bytes in the whole dump:
// every whole line of a window is the whole dump's line, and the cells of a
// first line that starts inside a line are the same cells.
TEST(Window, ColorsEqualTheWholeDumpOnRealFiles) {
  std::mt19937_64 random(12);
  for (const char* file : {"/bin/true", "/usr/lib/systemd/boot/efi/systemd-bootx64.efi",
                           "/usr/lib/SYSLINUX.EFI/efi32/syslinux.efi"}) {
    SCOPED_TRACE(file);
    const ChildResult whole = runLumo({.args = {file, "--color", "--no-skip-lines", "--no-size"}});
    if (whole.status != 0) continue;  // not installed
    std::vector<std::string> lines;
    std::istringstream stream(whole.out);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    const std::uint64_t size = lines.size() * 16;
    for (int round = 0; round < 12; ++round) {
      const std::uint64_t start = random() % size;
      const std::uint64_t length = 1 + random() % 200;
      const ChildResult window =
          runLumo({.args = {file, "--color", "--no-skip-lines", "--no-size", "--skip",
                            std::to_string(start), "--length", std::to_string(length)}});
      ASSERT_EQ(window.status, 0);
      std::istringstream shown(window.out);
      std::size_t index = start / 16;
      for (std::string line; std::getline(shown, line); ++index) {
        ASSERT_LT(index, lines.size());
        if (line == lines[index]) continue;
        // A partial line: its colored cells, blanks trimmed, are found in
        // the whole line.
        const std::size_t open = line.find(" \x1b[");
        const std::size_t close = line.find("\x1b[2m|", open + 1);
        ASSERT_NE(open, std::string::npos) << line;
        std::string cells = line.substr(open + 1, close - open - 1);
        cells.erase(cells.find_last_not_of(' ') + 1);
        EXPECT_NE(lines[index].find(cells), std::string::npos)
            << "window at " << start << " length " << length << "\n"
            << line << "\n"
            << lines[index];
      }
    }
  }
}

}  // namespace
}  // namespace lumo::e2e
