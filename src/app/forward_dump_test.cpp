#include "app/forward_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/registry.h"
#include "parsers/wasm_test_bytes.h"

namespace lumo {
namespace {

using testing::leb128;

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

// How a stream arrives and what of it is shown.
struct StreamCase {
  std::vector<std::size_t> pieces;
  std::size_t buffer = 0;  // 0: the smallest buffer the dump allows
  DumpWindow window{};
};

// Streams `bytes` through the format's forward walk as `c` says and checks
// the dump against that of the whole input's colormap.
void expectStreamDumpedAsFile(const Format& format, const std::vector<std::uint8_t>& bytes,
                              const StreamCase& c) {
  SCOPED_TRACE(::testing::Message() << "pieces " << c.pieces[0] << " buffer " << c.buffer
                                    << " window " << c.window.start);
  Options options;
  options.color = true;
  PieceStream stream(bytes, c.pieces);
  std::unique_ptr<ForwardWalk> walk = format.forward();
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
  EXPECT_TRUE(sink.text == fileDump(format, bytes, options, c.window));
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
    append(jpeg, jpegSegment(0xda, std::string("\x01\x01\x00\x00\x3f\x00", 6)));
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

std::string le16(std::size_t value) {
  return {static_cast<char>(value & 0xff), static_cast<char>((value >> 8) & 0xff)};
}

std::string be32(std::size_t value) {
  return {static_cast<char>((value >> 24) & 0xff), static_cast<char>((value >> 16) & 0xff),
          static_cast<char>((value >> 8) & 0xff), static_cast<char>(value & 0xff)};
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Chunks larger than the smallest buffer, many small ones, and bytes after
// IEND.
std::vector<std::uint8_t> png() {
  std::string out("\x89PNG\r\n\x1a\n", 8);
  for (int k = 0; k < 60; ++k) {
    const std::string data(static_cast<std::size_t>(k % 9 == 0 ? 10000 + k : k), 'p');
    out += be32(data.size()) + (k % 2 == 0 ? "IDAT" : "tEXt") + data + "CRC!";
  }
  return bytesOf(out + be32(0) + "IEND" + "CRC!" + std::string(100, 'a'));
}

std::string gzipHeader(char flags, const std::string& fields) {
  return std::string("\x1f\x8b\x08", 3) + flags + std::string(6, '\0') + fields;
}

// One member with every header field, whose data runs to the end: its
// trailer is the last eight bytes.
std::vector<std::uint8_t> gzip() {
  const std::string extra = "AB" + le16(3000) + std::string(3000, 'e');
  const std::string fields =
      le16(extra.size()) + extra + std::string(5000, 'n') + '\0' + "comment" + '\0' + "HC";
  return bytesOf(gzipHeader('\x1e', fields) + std::string(12000, 'd') + "CRC!SIZE");
}

// BGZF members, each sized by its extra field, then a member cut short.
std::vector<std::uint8_t> bgzf() {
  std::string out;
  for (int k = 0; k < 30; ++k) {
    const std::string data(static_cast<std::size_t>(k % 5 == 0 ? 10000 : 3 * k), 'b');
    const std::size_t size = 12 + 6 + data.size() + 8;
    out += gzipHeader('\x04', le16(6) + "BC" + le16(2) + le16(size - 1)) + data + "CRC!SIZE";
  }
  return bytesOf(out + gzipHeader('\x08', "cut"));
}

// A comment, images whose data straddles the buffer, and a trailer.
std::vector<std::uint8_t> gif() {
  std::string out = std::string("GIF89a\x02\0\x02\0\x81\0\0", 13) + std::string(12, 'c');
  out += std::string("\x21\xfe\x03hey\0", 7);
  for (int k = 0; k < 4; ++k) {
    out += std::string("\x2c\0\0\0\0\x02\0\x02\0\x80", 10) + std::string(6, 't') + '\x02';
    for (int b = 0; b < 40 * k + 3; ++b) out += '\xff' + std::string(255, static_cast<char>(b));
    out += '\0';
  }
  return bytesOf(out + ";" + std::string(50, 'z'));
}

// Every stream of these formats is dumped as its file: in any pieces, with
// any buffer, in any window, and cut short anywhere (a trailer that is the
// last bytes of whatever arrived).
TEST(ForwardDump, FormatsInAnyPiecesMatchTheirWholeColormap) {
  struct Input {
    const char* name;
    const Format& format;
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> cuts;
    std::vector<StreamCase> windows;  // beside the cases every input gets
  };
  const std::vector<std::size_t> uncut = {0};
  const std::vector<std::size_t> cuts = {0, 4, 5003};
  const Input inputs[] = {
      {"wasm",
       kWasmFormat,
       module(),
       uncut,
       {{{4096}, 0, {.start = 20033, .length = 33}},
        {{333}, 0, {.start = 100000, .length = 1}},
        {{1000}, 0, {.start = 10 << 20}}}},
      {"jpeg", kJpegFormat, jpegImage(), uncut, {{{4096}, 0, {.start = 100033, .length = 33}}}},
      {"png", kPngFormat, png(), cuts, {{{333}, 0, {.start = 60000, .length = 1}}}},
      {"gzip", kGzipFormat, gzip(), cuts, {{{333}, 0, {.start = 60000, .length = 1}}}},
      {"bgzf", kGzipFormat, bgzf(), cuts, {{{333}, 0, {.start = 60000, .length = 1}}}},
      {"gif", kGifFormat, gif(), cuts, {{{333}, 0, {.start = 60000, .length = 1}}}},
  };
  const StreamCase every[] = {
      {{1 << 20}, kDumpChunkBytes, {}},
      {{1}, 0, {}},
      {{7, 139, 3, 4096}, 0, {}},
      {{16, 17}, 9000, {.start = 5, .length = 70000}},
  };
  for (const Input& input : inputs) {
    for (const std::size_t cut : input.cuts) {
      SCOPED_TRACE(::testing::Message() << input.name << " cut " << cut);
      const std::vector<std::uint8_t> bytes(input.bytes.begin(),
                                            input.bytes.end() - static_cast<std::ptrdiff_t>(cut));
      for (const StreamCase& c : every) expectStreamDumpedAsFile(input.format, bytes, c);
      for (const StreamCase& c : input.windows) expectStreamDumpedAsFile(input.format, bytes, c);
    }
  }
}

}  // namespace
}  // namespace lumo
