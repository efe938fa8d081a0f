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

std::string fileDump(const std::vector<std::uint8_t>& bytes, const Options& options,
                     DumpWindow window) {
  Result<Colormap> colormap = buildColormap(bytes, &kWasmFormat);
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
    SCOPED_TRACE(::testing::Message() << "pieces " << c.pieces[0] << " buffer " << c.buffer
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
    EXPECT_TRUE(sink.text == fileDump(bytes, options, c.window));
  }
}

}  // namespace
}  // namespace lumo
