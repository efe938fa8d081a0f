#include "app/forward_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/registry.h"

namespace lumo {
namespace {

// Delivers its bytes in pieces whose sizes cycle through `pieces`.
class PieceStream final : public InputStream {
 public:
  PieceStream(const std::vector<std::uint8_t>& bytes, std::vector<std::size_t> pieces)
      : bytes_(bytes), pieces_(std::move(pieces)) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override {
    const std::size_t piece = pieces_[next_++ % pieces_.size()];
    const std::size_t n = std::min({count, piece, bytes_.size() - at_});
    if (n > 0) std::memcpy(out, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  bool mayWait() const override { return true; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::vector<std::size_t> pieces_;
  std::size_t next_ = 0;
  std::size_t at_ = 0;
};

void append(std::vector<std::uint8_t>& out, const std::string& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::string leb128(std::size_t value) {
  std::string out;
  do {
    const auto low = static_cast<char>(value & 0x7f);
    value >>= 7;
    out += static_cast<char>(value != 0 ? (low | 0x80) : low);
  } while (value != 0);
  return out;
}

// Sections larger than the smallest buffer, custom sections whose names
// straddle reads, runs of identical lines inside and across sections, and
// a size that runs past the end.
std::vector<std::uint8_t> module() {
  std::vector<std::uint8_t> wasm;
  append(wasm, std::string("\0asm\x01\0\0\0", 8));
  for (int k = 0; k < 40; ++k) {
    const std::string name(static_cast<std::size_t>(k * 7 % 150), static_cast<char>('a' + k % 26));
    const std::string body =
        leb128(name.size()) + name + std::string(static_cast<std::size_t>(k % 5), 'z');
    append(wasm, '\0' + leb128(body.size()) + body);
    const std::string data(static_cast<std::size_t>(k % 4 == 0 ? 20000 + k : k), '\0');
    append(wasm, static_cast<char>(1 + k % 12) + leb128(data.size()) + data);
  }
  append(wasm, std::string("\x0b\xff\xff\x03", 4));
  append(wasm, std::string(500, 'q'));
  return wasm;
}

std::string fileDump(const Format& format, const std::vector<std::uint8_t>& bytes,
                     const Options& options, DumpWindow window) {
  Result<Colormap> colormap = buildColormap(bytes, &format);
  EXPECT_TRUE(colormap.ok());
  const std::size_t from =
      static_cast<std::size_t>(std::min<std::uint64_t>(window.start, bytes.size()));
  MemoryStream stream(std::span<const std::uint8_t>(bytes).subspan(from));
  StringSink sink;
  OutputBuffer out(sink);
  window.start = from;
  EXPECT_TRUE(writeDump(stream, colormap.value(), options, out, window).written.ok());
  EXPECT_TRUE(out.flush().ok());
  return sink.text;
}

TEST(ForwardDump, WasmInAnyPiecesAndBufferMatchesTheWholeColormap) {
  const std::vector<std::uint8_t> bytes = module();
  Options options;
  options.color = true;
  struct Case {
    std::vector<std::size_t> pieces;
    std::size_t buffer;
    DumpWindow window;
  };
  const Case cases[] = {
      {{1 << 20}, kDumpChunkBytes, {}},
      {{1}, 0, {}},  // the smallest buffer the dump allows
      {{7, 139, 3, 4096}, 0, {}},
      {{16, 17}, 9000, {.start = 5, .length = 70000}},
      {{4096}, 0, {.start = 20033, .length = 33}},
      {{333}, 0, {.start = 100000, .length = 1}},
      {{1000}, 0, {.start = 10 << 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pieces " << c.pieces[0] << " buffer " << c.buffer
                                    << " window " << c.window.start);
    PieceStream stream(bytes, c.pieces);
    std::unique_ptr<ForwardWalk> walk = kWasmFormat.forward();
    ASSERT_NE(walk, nullptr);
    StringSink sink;
    OutputBuffer out(sink);
    const LineFormatter formatter(effectiveOptions(options), options.palette);
    const ForwardDumpResult result =
        writeForwardDump(stream, *walk, formatter, out, c.window, true, c.buffer);
    ASSERT_TRUE(result.dump.written.ok());
    ASSERT_TRUE(result.dump.read.ok());
    ASSERT_TRUE(out.flush().ok());
    EXPECT_EQ(result.total, bytes.size());
    EXPECT_TRUE(sink.text == fileDump(kWasmFormat, bytes, options, c.window));
  }
}

// A segment whose length field counts `payload` and itself.
std::string jpegSegment(std::uint8_t code, const std::string& payload) {
  const std::size_t length = payload.size() + 2;
  return std::string{'\xff', static_cast<char>(code), static_cast<char>(length >> 8),
                     static_cast<char>(length)} +
         payload;
}

// A payload larger than the smallest buffer, fill bytes and segments that
// straddle reads, and scans far longer than the buffer with stuffed bytes,
// restart markers and runs of identical lines; then data after EOI.
std::vector<std::uint8_t> jpegImage() {
  std::vector<std::uint8_t> jpeg;
  append(jpeg, "\xff\xd8");
  append(jpeg, jpegSegment(0xe1, "Exif" + std::string(60000, '\0')));
  for (int k = 0; k < 300; ++k) {
    append(jpeg, std::string(static_cast<std::size_t>(k % 3), '\xff'));
    append(jpeg, jpegSegment(static_cast<std::uint8_t>(0xdb + k % 2),
                             std::string(static_cast<std::size_t>(k % 70), 'q')));
  }
  for (int scan = 0; scan < 3; ++scan) {
    append(jpeg, jpegSegment(0xda, "\x01\x01\x00\x00\x3f\x00"));
    std::string data;
    for (int k = 0; k < 40000; ++k) {
      data += static_cast<char>(k * 7 % 251);
      if (k % 97 == 0) data += std::string("\xff\x00", 2);
      if (k % 5000 == 0) {
        data += '\xff';
        data += static_cast<char>(0xd0 + k / 5000 % 8);
      }
      if (k % 10000 == 0) data += std::string(100, '\0');
    }
    append(jpeg, data);
    append(jpeg, jpegSegment(0xc4, std::string(30, 'h')));
  }
  append(jpeg, "\xff\xff\xd9");
  append(jpeg, std::string(500, 'q'));
  return jpeg;
}

TEST(ForwardDump, JpegInAnyPiecesAndBufferMatchesTheWholeColormap) {
  const std::vector<std::uint8_t> bytes = jpegImage();
  Options options;
  options.color = true;
  struct Case {
    std::vector<std::size_t> pieces;
    std::size_t buffer;
    DumpWindow window;
  };
  const Case cases[] = {
      {{1 << 20}, kDumpChunkBytes, {}},
      {{1}, 0, {}},
      {{7, 139, 3, 4096}, 0, {}},
      {{16, 17}, 9000, {.start = 5, .length = 70000}},
      {{4096}, 0, {.start = 100033, .length = 33}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pieces " << c.pieces[0] << " buffer " << c.buffer
                                    << " window " << c.window.start);
    PieceStream stream(bytes, c.pieces);
    std::unique_ptr<ForwardWalk> walk = kJpegFormat.forward();
    ASSERT_NE(walk, nullptr);
    StringSink sink;
    OutputBuffer out(sink);
    const LineFormatter formatter(effectiveOptions(options), options.palette);
    const ForwardDumpResult result =
        writeForwardDump(stream, *walk, formatter, out, c.window, true, c.buffer);
    ASSERT_TRUE(result.dump.written.ok());
    ASSERT_TRUE(result.dump.read.ok());
    ASSERT_TRUE(out.flush().ok());
    EXPECT_EQ(result.total, bytes.size());
    EXPECT_TRUE(sink.text == fileDump(kJpegFormat, bytes, options, c.window));
  }
}

}  // namespace
}  // namespace lumo
