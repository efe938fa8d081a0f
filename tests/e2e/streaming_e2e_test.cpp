// Inputs of any size and kind: streams show lines as they arrive, files are
// read as they are, and structured formats work from standard input too.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "child_process.h"

namespace lumo::e2e {
namespace {

// Every line differs, so nothing collapses.
std::string countingBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

std::size_t countLines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Streaming, LinesOfASlowPipeShowBeforeItCloses) {
  // The writer keeps the pipe open until the first line has arrived; a dump
  // that waited for the end of its input would never show it.
  const std::string firstLine =
      "00000000 | 6865 6c6c 6f2c 2077 6f72 6c64 2c20 6d6f | hello, world, mo |\n";
  ChildResult r = runLumo(
      {.args = {"-"}, .stdinData = "hello, world, more", .holdStdinUntilOutput = firstLine.size()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.outputBeforeStdinClosed, firstLine.size());
  EXPECT_EQ(r.out, firstLine +
                       "00000010 | 7265                                    | re               |\n"
                       "File size: 18 bytes\n");
}

TEST(Streaming, StructuredFormatsFromStandardInputMatchTheFile) {
  struct RealFile {
    const char* path;
    const char* package;
  };
  const RealFile files[] = {{"/bin/true", "coreutils"},
                            {"/usr/lib/systemd/boot/efi/systemd-bootx64.efi", "systemd-boot-efi"}};
  const RealFile* missing = nullptr;
  for (const RealFile& file : files) {
    const char* path = file.path;
    if (::access(path, R_OK) != 0) {
      missing = &file;
      continue;
    }
    ChildResult fromFile = runLumo({.args = {"--color", path}});
    ChildResult fromPipe = runLumo({.args = {"--color", "-"}, .stdinData = readFile(path)});
    ASSERT_EQ(fromFile.status, 0) << path;
    EXPECT_EQ(fromPipe.status, 0) << path;
    EXPECT_TRUE(fromFile.out == fromPipe.out) << path << ": stdin and file dumps differ";
    // The structure shows: the header's style, not plain data's.
    EXPECT_NE(fromPipe.out.find("\x1b[31m"), std::string::npos) << path;
  }
  // The files that are there have been checked; a missing one is a skip.
  if (missing != nullptr) {
    GTEST_SKIP() << "no " << missing->path << " here; install the package " << missing->package;
  }
}

TEST(Streaming, MachOAndWasmFromStandardInputMatchTheFile) {
  // Structure far past the first bytes: a universal file's slice and a
  // wasm custom section after a large data section.
  std::string universal("\xca\xfe\xba\xbe\0\0\0\x01\x01\0\0\x0c\0\0\0\0\0\x02\0\0\0\0\0\x20", 24);
  universal.resize(0x20000, '\0');
  universal += std::string("\xcf\xfa\xed\xfe", 4) + std::string(28, '\0');
  std::string wasm("\0asm\x01\0\0\0\x0b\xf0\xa2\x04", 12);  // a data section of 70000 bytes
  wasm += std::string(70000, 'd') + std::string("\0\x05\x04name", 7);
  TempDir dir;
  struct Case {
    const char* name;
    const std::string& bytes;
    const char* line;   // a line far into the input
    const char* style;  // the style that its structure gives it
  };
  for (const Case& c : {Case{"universal", universal, "\n00020000 ", "\x1b[31m"},
                        Case{"wasm", wasm, "\n00011170 ", "\x1b[35m"}}) {
    const std::string path = dir.write(c.name, c.bytes);
    ChildResult fromFile = runLumo({.args = {"--color", path}});
    ChildResult fromPipe = runLumo({.args = {"--color", "-"}, .stdinData = c.bytes});
    ASSERT_EQ(fromFile.status, 0) << c.name;
    EXPECT_EQ(fromPipe.status, 0) << c.name;
    EXPECT_TRUE(fromFile.out == fromPipe.out) << c.name << ": stdin and file dumps differ";
    const std::size_t at = fromPipe.out.find(c.line);
    ASSERT_NE(at, std::string::npos) << c.name;
    const std::string line = fromPipe.out.substr(at, fromPipe.out.find('\n', at + 1) - at);
    EXPECT_NE(line.find(c.style), std::string::npos) << c.name;
  }
}

TEST(Streaming, ZipFromStandardInputMatchesTheFile) {
  // A stored member of 70000 bytes, so the central directory and end record
  // that find it lie far past the first window. Little-endian fields.
  const auto le = [](std::uint64_t value, int width) {
    std::string bytes;
    for (int k = 0; k < width; ++k) bytes += static_cast<char>((value >> (8 * k)) & 0xff);
    return bytes;
  };
  std::string zip = std::string("PK\3\4", 4) + std::string(14, '\0') + le(70000, 4) + le(70000, 4) +
                    le(1, 2) + le(0, 2) + "a" + std::string(70000, 'd');
  const std::size_t central = zip.size();
  zip += std::string("PK\1\2", 4) + std::string(16, '\0') + le(70000, 4) + le(70000, 4) + le(1, 2) +
         std::string(12, '\0') + le(0, 4) + "a";
  const std::size_t end = zip.size();
  zip += std::string("PK\5\6", 4) + le(0, 4) + le(1, 2) + le(1, 2) + le(end - central, 4) +
         le(central, 4) + le(0, 2);
  TempDir dir;
  const std::string path = dir.write("member.zip", zip);
  ChildResult fromFile = runLumo({.args = {"--color", path}});
  ChildResult fromPipe = runLumo({.args = {"--color", "-"}, .stdinData = zip});
  ASSERT_EQ(fromFile.status, 0);
  EXPECT_EQ(fromPipe.status, 0);
  EXPECT_TRUE(fromFile.out == fromPipe.out) << "stdin and file dumps differ";
  // The end record at 0x111be is c1, red.
  const std::size_t at = fromPipe.out.find("\n000111b0 ");
  ASSERT_NE(at, std::string::npos);
  const std::string line = fromPipe.out.substr(at, fromPipe.out.find('\n', at + 1) - at);
  EXPECT_NE(line.find("\x1b[31m"), std::string::npos);
  ChildResult section = runLumo({.args = {"--section", "a", "--raw", "-"}, .stdinData = zip});
  EXPECT_EQ(section.status, 0);
  // Raw hex of the member's data alone: blank cells before its first byte.
  std::string hex;
  for (char ch : section.out)
    if (ch != ' ' && ch != '\n') hex += ch;
  std::string expected;
  for (int k = 0; k < 70000; ++k) expected += "64";
  EXPECT_TRUE(hex == expected) << "the section is not the member's data";
}

TEST(Streaming, ForcedParserOnAShortStream) {
  ChildResult r = runLumo({.args = {"--parser", "elf", "-"}, .stdinData = "\x7f"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: <stdin> does not match parser elf\n");
  EXPECT_EQ(r.out, "");
}

TEST(Streaming, FilesThatReportNoSizeAreDumpedWhole) {
  // The kernel reports size 0 for this file; its content is lumo's argv.
  ChildResult r = runLumo({.args = {"/proc/self/cmdline", "--no-offset"}});
  ASSERT_EQ(r.status, 0);
  TempDir dir;
  const std::string copy =
      dir.write("cmdline", std::string(LUMO_BINARY) + '\0' + "/proc/self/cmdline" + '\0' +
                               "--no-offset" + '\0');
  ChildResult expected = runLumo({.args = {copy, "--no-offset"}});
  EXPECT_EQ(r.out, expected.out);
}

TEST(Streaming, UnreadableInputIsReported) {
  ChildResult r = runLumo({.args = {"/proc/self/mem"}});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: Cannot read /proc/self/mem\n");
}

TEST(Streaming, AFileThatShrinksWhileDumpedGivesADumpAndFooterThatAgree) {
  TempDir dir;
  const std::string path = dir.write("shrinking", countingBytes(16 << 20));
  constexpr std::size_t kKept = (2 << 20) + 5;
  bool truncated = false;
  ChildResult r = runLumo({.args = {path}, .onOutput = [&](const std::string&) {
                             if (!truncated) truncated = ::truncate(path.c_str(), kKept) == 0;
                           }});
  ASSERT_TRUE(truncated);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  // Every shown byte is counted by the footer, whatever the file's size was
  // when the dump began.
  const std::size_t footer = r.out.rfind("File size: ");
  ASSERT_NE(footer, std::string::npos);
  const std::size_t lines = countLines(r.out.substr(0, footer));
  const std::uint64_t size = std::stoull(r.out.substr(footer + 11));
  EXPECT_EQ((size + 15) / 16, lines);
  EXPECT_LE(size, 16u << 20);
  EXPECT_GE(size, kKept);
}

}  // namespace
}  // namespace lumo::e2e
