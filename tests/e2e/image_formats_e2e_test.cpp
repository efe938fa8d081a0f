// The image and compressed formats read from standard input give the same
// dump, legend and sections as from a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "child_process.h"

namespace lumo::e2e {
namespace {

std::string bigEndian32(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

// A PNG chunk; its CRC is not checked by lumo, so any four bytes do.
std::string pngChunk(const std::string& type, const std::string& data) {
  return bigEndian32(static_cast<std::uint32_t>(data.size())) + type + data + "CRC!";
}

std::string bigPng() {
  return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", std::string(13, '\1')) +
         pngChunk("IDAT", std::string(70000, 'x')) +
         pngChunk("tEXt", std::string("Title\0lumo", 10)) + pngChunk("IEND", "");
}

// One gzip member with a stored name; its data need not inflate.
std::string bigGzip() {
  return std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03notes.txt\0", 20) + std::string(70000, 'z') +
         std::string("CRC!SIZE");
}

// A comment, then one image whose data is one long run of sub-blocks.
std::string bigGif() {
  std::string gif = std::string("GIF89a\x02\0\x02\0\0\0\0", 13) + "\x21\xfe\x02hi" +
                    std::string(1, '\0') + std::string("\x2c\0\0\0\0\x02\0\x02\0\0\x02", 11);
  for (int k = 0; k < 300; ++k) gif += "\xff" + std::string(255, 'g');
  return gif + std::string("\0;", 2);
}

std::string jpegSegment(char code, const std::string& payload) {
  const std::size_t length = payload.size() + 2;
  return std::string{'\xff', code, static_cast<char>(length >> 8), static_cast<char>(length)} +
         payload;
}

// Two scans longer than a read of the pipe, with stuffed bytes and restart
// markers, between segments; then data after EOI.
std::string bigJpeg() {
  std::string scan;
  for (int k = 0; k < 150000; ++k) {
    scan += static_cast<char>(k % 13 == 0 ? 0xff : k * 7 % 200);
    if (k % 13 == 0) scan += k % 1300 == 0 ? '\xd1' : '\0';
  }
  return std::string("\xff\xd8", 2) + jpegSegment('\xe0', std::string("JFIF\0\1\1", 7)) +
         jpegSegment('\xdb', std::string(65, 'q')) + jpegSegment('\xda', std::string(6, '\1')) +
         scan + jpegSegment('\xc4', "huff") + jpegSegment('\xda', std::string(6, '\2')) + scan +
         std::string(
             "\xff\xd9"
             "after",
             7);
}

TEST(ImageFormats, StandardInputMatchesTheFile) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> args;  // before the input
  };
  const Case cases[] = {
      {"png", bigPng(), {"--color"}},
      {"png", bigPng(), {"--legend"}},
      {"png", bigPng(), {"--section", "tEXt"}},
      {"jpeg", bigJpeg(), {"--color"}},
      {"jpeg", bigJpeg(), {"--legend"}},
      {"jpeg", bigJpeg(), {"--section", "scan 1"}},
      {"jpeg", bigJpeg(), {"--section", "APP0"}},
      {"gzip", bigGzip(), {"--color"}},
      {"gzip", bigGzip(), {"--legend"}},
      {"gzip", bigGzip(), {"--section", "notes.txt"}},
      {"gif", bigGif(), {"--color"}},
      {"gif", bigGif(), {"--legend"}},
      {"gif", bigGif(), {"--section", "image 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.args.back());
    const std::string path = dir.write(c.name, c.bytes);
    std::vector<std::string> fileArgs = c.args, pipeArgs = c.args;
    fileArgs.push_back(path);
    pipeArgs.emplace_back("-");
    const ChildResult fromFile = runLumo({.args = fileArgs});
    const ChildResult fromPipe = runLumo({.args = pipeArgs, .stdinData = c.bytes});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(fromPipe.status, 0);
    EXPECT_TRUE(fromFile.out == fromPipe.out) << "stdin and file dumps differ";
  }
}

TEST(ImageFormats, SectionShowsTheChunkData) {
  TempDir dir;
  const std::string path = dir.write("png", bigPng());
  // The tEXt chunk's data starts after the signature, two chunks and its
  // own length and type: 8 + 25 + 70012 + 8 = 0x111a5.
  const ChildResult raw = runLumo({.args = {"--raw", "--section", "tEXt", path}});
  ASSERT_EQ(raw.status, 0) << raw.err;
  std::string hex;
  for (char ch : raw.out) {
    if (ch != ' ' && ch != '\n') hex += ch;
  }
  EXPECT_EQ(hex, "5469746c65006c756d6f");
  const ChildResult dump = runLumo({.args = {"--section", "tEXt", path}});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(dump.out.substr(0, 11), "000111a0 | ") << dump.out;
  EXPECT_NE(dump.out.find("Bytes 0x111a5-0x111ae (10 bytes)"), std::string::npos) << dump.out;
}

TEST(ImageFormats, JpegScanLinesShowBeforeThePipeCloses) {
  // The scan reaches far past what is written: a dump that waited for the
  // scan's end would show nothing while the writer holds the pipe open.
  const std::string jpeg = bigJpeg();
  TempDir dir;
  const ChildResult whole = runLumo({.args = {"--color", dir.write("i.jpg", jpeg)}});
  ASSERT_EQ(whole.status, 0);
  // The first 64 lines: a kilobyte, most of it the first scan's data.
  std::size_t end = 0;
  for (int line = 0; line < 64; ++line) end = whole.out.find('\n', end) + 1;
  const std::string firstLines = whole.out.substr(0, end);
  const ChildResult r = runLumo({.args = {"--color", "-"},
                                 .stdinData = jpeg.substr(0, 100000),
                                 .holdStdinUntilOutput = firstLines.size()});
  EXPECT_EQ(r.status, 0);
  EXPECT_GE(r.outputBeforeStdinClosed, firstLines.size());
  EXPECT_EQ(r.out.substr(0, firstLines.size()), firstLines);
}

}  // namespace
}  // namespace lumo::e2e
