// WebAssembly, PNG, gzip and GIF on a pipe are colored as they stream: the
// dump equals the file's, lines show before the input ends, and nothing is
// spilled.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "child_process.h"
#include "parsers/wasm_test_bytes.h"

namespace lumo::e2e {
namespace {

using testing::leb128;

const std::string kHome = "HOME=/nonexistent/lumo-test-home";

std::string section(std::uint8_t id, const std::string& contents) {
  return static_cast<char>(id) + leb128(contents.size()) + contents;
}

std::string customSection(const std::string& name, const std::string& rest) {
  return section(0, leb128(name.size()) + name + rest);
}

// Sections that straddle the stream's buffer (a data section of 300000
// bytes, larger than one read), a custom name with control bytes, runs of
// identical lines, many small sections and a damaged end.
std::string streamedModule() {
  std::string wasm("\0asm\x01\0\0\0", 8);
  wasm += section(1, std::string(40, '\x60'));
  wasm += customSection("name\x1b[31m", std::string(100, 'n'));
  std::string data;
  for (std::size_t i = 0; i < 300000; ++i) data += static_cast<char>(i % 7 == 0 ? i % 251 : 'd');
  wasm += section(11, data);
  for (int k = 0; k < 5000; ++k) wasm += section(static_cast<std::uint8_t>(1 + k % 12), "ab");
  wasm += customSection(std::string(200, 'x'), "");  // a name past the cap
  wasm += section(10, std::string(64, '\0'));
  wasm += "\x0a\xff\xff";  // a size that never ends
  return wasm;
}

std::string le16(std::size_t value) {
  return {static_cast<char>(value & 0xff), static_cast<char>((value >> 8) & 0xff)};
}

std::string be32(std::size_t value) {
  return {static_cast<char>((value >> 24) & 0xff), static_cast<char>((value >> 16) & 0xff),
          static_cast<char>((value >> 8) & 0xff), static_cast<char>(value & 0xff)};
}

// A chunk larger than one read of the stream, many small ones, a type with
// control bytes, and bytes after IEND.
std::string streamedPng() {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  png += be32(13) + "IHDR" + std::string(13, '\1') + "CRC!";
  png += be32(300000) + "IDAT" + std::string(300000, 'x') + "CRC!";
  for (int k = 0; k < 3000; ++k) png += be32(3) + "tEXt" + std::string("a\0b", 3) + "CRC!";
  png += be32(2) + "t\x1b[m" + "zz" + "CRC!";
  return png + be32(0) + "IEND" + "CRC!" + std::string(40, 'a');
}

std::string gzipHeader(char flags, const std::string& fields) {
  return std::string("\x1f\x8b\x08", 3) + flags + std::string(6, '\0') + fields;
}

// One member with every header field and a stored name; its data runs to
// the end, so its trailer is the stream's last eight bytes.
std::string streamedGzip() {
  const std::string extra = "AB" + le16(4) + "abcd";
  const std::string fields = le16(extra.size()) + extra + "notes.txt" + '\0' + "note" + '\0' + "HC";
  std::string data;
  for (std::size_t i = 0; i < 300000; ++i) data += static_cast<char>(i % 5 == 0 ? i % 251 : 'z');
  return gzipHeader('\x1e', fields) + data + "CRC!SIZE";
}

// BGZF members, each sized by its "BC" subfield, then an ordinary member.
std::string streamedBgzf() {
  std::string out;
  for (int k = 0; k < 40; ++k) {
    const std::string data(static_cast<std::size_t>(k % 8 == 0 ? 60000 : 7 * k), 'b');
    out += gzipHeader('\x04', le16(6) + "BC" + le16(2) + le16(12 + 6 + data.size() + 8 - 1)) +
           data + "CRC!SIZE";
  }
  return out + gzipHeader('\0', "") + std::string(5000, 'r') + "CRC!SIZE";
}

// A comment, images whose data runs across reads, and a trailer.
std::string streamedGif() {
  std::string gif = std::string("GIF89a\x02\0\x02\0\x81\0\0", 13) + std::string(12, 'c');
  gif += std::string("\x21\xfe\x03hey\0", 7);
  for (int k = 0; k < 3; ++k) {
    gif += std::string("\x2c\0\0\0\0\x02\0\x02\0\x80", 10) + std::string(6, 't') + '\x02';
    for (int b = 0; b < 500 * k + 3; ++b) gif += '\xff' + std::string(255, static_cast<char>(b));
    gif += '\0';
  }
  return gif + ";" + std::string(30, 'z');
}

struct Streamed {
  const char* name;
  std::string bytes;
};

std::vector<Streamed> streamedFormats() {
  return {{"png", streamedPng()},
          {"gzip", streamedGzip()},
          {"bgzf", streamedBgzf()},
          {"gif", streamedGif()}};
}

// Each format on a pipe, whole and in pieces of 61 bytes, in windows
// that end inside a trailer; a stream cut short too.
TEST(Forward, ImageAndCompressedFormatsOnAPipeDumpLikeTheFile) {
  TempDir dir;
  // dd writes the file to lumo's pipe 61 bytes at a time.
  const std::string pieces = "f=$1; shift; dd bs=61 status=none <\"$f\" | \"$0\" \"$@\" -";
  struct Case {
    std::vector<std::string> flags;
    bool cut;     // the stream ends five bytes early
    bool pieces;  // fed 61 bytes at a time
  };
  for (const Streamed& input : streamedFormats()) {
    const std::string whole = dir.write(input.name, input.bytes);
    const std::string cutBytes = input.bytes.substr(0, input.bytes.size() - 5);
    const std::string cut = dir.write(std::string(input.name) + ".cut", cutBytes);
    // A window of six bytes before the last eight (a trailer's).
    const std::string last = std::to_string(input.bytes.size() - 14);
    const Case cases[] = {
        {{"--color"}, false, true},
        {{"--color"}, true, true},
        {{"--color", "--no-skip-lines"}, false, false},
        {{"--color", "--skip", "33", "--length", "70000"}, false, false},
        {{"--color", "--skip", last, "--length", "12"}, false, true},
        {{"--color", "--skip", last, "--length", "12"}, true, false},
    };
    for (const Case& c : cases) {
      const std::string path = c.cut ? cut : whole;
      const std::string shown =
          input.name + std::string(c.cut ? " cut " : " ") + ::testing::PrintToString(c.flags);
      std::vector<std::string> fileArgs = c.flags;
      fileArgs.push_back(path);
      const ChildResult fromFile = runLumo({.args = fileArgs});
      std::vector<std::string> pipeArgs = c.flags;
      pipeArgs.emplace_back("-");
      std::vector<std::string> pieceArgs = {"-c", pieces, LUMO_BINARY, path};
      pieceArgs.insert(pieceArgs.end(), c.flags.begin(), c.flags.end());
      const ChildResult fromPipe =
          c.pieces ? runChild("/bin/sh", {.args = pieceArgs, .env = {kHome, "PATH=/usr/bin:/bin"}})
                   : runLumo({.args = pipeArgs, .stdinData = c.cut ? cutBytes : input.bytes});
      EXPECT_EQ(fromPipe.status, fromFile.status) << shown;
      EXPECT_EQ(fromPipe.err, fromFile.err) << shown;
      EXPECT_TRUE(fromPipe.out == fromFile.out) << shown << ": stdin and file dumps differ";
    }
  }
}

TEST(Forward, GzipLinesShowBeforeThePipeCloses) {
  // A member whose data runs on: only its last eight bytes wait for the end.
  const std::string gzip = gzipHeader('\0', "") + std::string(100000, 'd');
  TempDir dir;
  const ChildResult whole = runLumo({.args = {"--color", dir.write("m.gz", gzip)}});
  ASSERT_EQ(whole.status, 0);
  const std::string firstLine = whole.out.substr(0, whole.out.find('\n') + 1);
  const ChildResult r = runLumo({.args = {"--color", "-"},
                                 .stdinData = gzip.substr(0, 200),
                                 .holdStdinUntilOutput = firstLine.size()});
  EXPECT_EQ(r.status, 0);
  EXPECT_GE(r.outputBeforeStdinClosed, firstLine.size());
  EXPECT_EQ(r.out.substr(0, firstLine.size()), firstLine);
}

TEST(Forward, WasmOnAPipeDumpsLikeTheFile) {
  TempDir dir;
  const std::string wasm = streamedModule();
  const std::string path = dir.write("module.wasm", wasm);
  const std::vector<std::vector<std::string>> flagSets = {
      {"--color"},
      {"--color", "--no-skip-lines"},
      {"--color", "--skip", "100"},
      {"--color", "--skip", "33", "--length", "5000"},
      {"--color", "--skip", "299990", "--length", "40", "--no-size"},
      {"--color", "--skip", "1000000"},
      {"--color", "--length", "0"},
      {"--color", "--legend", "--skip", "300100", "--length", "300"},
      {"--color", "--section", "name\\x1b[31m"},
      {"--legend", "--no-color", "--length", "64"},
  };
  for (const std::vector<std::string>& flags : flagSets) {
    std::vector<std::string> fileArgs = flags;
    fileArgs.push_back(path);
    std::vector<std::string> pipeArgs = flags;
    pipeArgs.emplace_back("-");
    const ChildResult fromFile = runLumo({.args = fileArgs});
    const ChildResult fromPipe = runLumo({.args = pipeArgs, .stdinData = wasm});
    const std::string shown = ::testing::PrintToString(flags);
    EXPECT_EQ(fromPipe.status, fromFile.status) << shown;
    EXPECT_EQ(fromPipe.err, fromFile.err) << shown;
    EXPECT_TRUE(fromPipe.out == fromFile.out) << shown << ": stdin and file dumps differ";
  }
}

TEST(Forward, WasmLinesShowBeforeThePipeCloses) {
  // The first section reaches far past what is written: a dump that waited
  // for the whole module (or for the section's end) would show nothing
  // while the writer holds the pipe open.
  const std::string wasm =
      std::string("\0asm\x01\0\0\0", 8) + section(11, std::string(100000, 'd'));
  TempDir dir;
  const ChildResult whole = runLumo({.args = {"--color", dir.write("m.wasm", wasm)}});
  ASSERT_EQ(whole.status, 0);
  const std::string firstLine = whole.out.substr(0, whole.out.find('\n') + 1);
  const ChildResult r = runLumo({.args = {"--color", "-"},
                                 .stdinData = wasm.substr(0, 200),
                                 .holdStdinUntilOutput = firstLine.size()});
  EXPECT_EQ(r.status, 0);
  EXPECT_GE(r.outputBeforeStdinClosed, firstLine.size());
  EXPECT_EQ(r.out.substr(0, firstLine.size()), firstLine);
}

TEST(Forward, StreamsMakeNoTemporaryFile) {
  TempDir input;
  TempDir temporary;
  std::vector<Streamed> inputs = streamedFormats();
  inputs.push_back({"wasm", streamedModule()});
  // lumo reads a fifo that stays open until its open files are listed: a
  // spill file (unlinked, but open) shows there under TMPDIR. The legend
  // still reads the stream whole first, which shows that the check sees it.
  const std::string script =
      "mkfifo \"$2/in\"; \"$0\" \"$3\" - <\"$2/in\" >/dev/null & pid=$!; exec 3>\"$2/in\";"
      " cat \"$1\" >&3; ls -l /proc/$pid/fd >&2; exec 3>&-; wait $pid; rm \"$2/in\"";
  struct Case {
    const char* flag;
    bool spills;
  };
  for (const Streamed& streamed : inputs) {
    const std::string path = input.write(streamed.name, streamed.bytes);
    for (const Case& c : {Case{"--color", false}, Case{"--legend", true}}) {
      const ChildResult r =
          runChild("/bin/sh", {.args = {"-c", script, LUMO_BINARY, path, input.path(), c.flag},
                               .env = {kHome, "PATH=/usr/bin:/bin", "TMPDIR=" + temporary.path()}});
      EXPECT_EQ(r.status, 0) << streamed.name << ' ' << c.flag;
      EXPECT_EQ(r.err.find(temporary.path()) != std::string::npos, c.spills)
          << streamed.name << ' ' << c.flag << r.err;
    }
  }
}

}  // namespace
}  // namespace lumo::e2e
