#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/byte_order.h"
#include "parsers/forward_walk.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kSignatureSize = 8;
constexpr std::uint64_t kChunkHeaderSize = 8;  // length and type
constexpr std::uint64_t kCrcSize = 4;
// Lengths of 2^31 and more are invalid: such a chunk is damage.
constexpr std::uint32_t kMaxChunkLength = 0x7fffffff;
// Real files have a few hundred chunks at most (even a 1 GiB image cut into
// 8 KiB IDAT chunks has 131072); a crafted file of millions of empty chunks
// would cost three paints each.
constexpr std::uint64_t kMaxChunks = 262144;

// One chunk as the walk found it; `type` holds its four type bytes.
struct PngChunk {
  std::uint64_t index = 0;
  std::uint64_t start = 0;  // the length field
  std::uint32_t length = 0;
  std::array<char, 4> type{};
};

std::string_view typeOf(const PngChunk& c) { return {c.type.data(), c.type.size()}; }

// The chunk's header, data and CRC; with names, labelled and its data
// selectable by the chunk's type (a type that several chunks have is
// ambiguous, and each is reachable by its number).
void paintChunk(const Painter& painter, const PngChunk& c) {
  const std::uint64_t data = c.start + kChunkHeaderSize;
  const std::uint64_t crc = data + c.length;
  // "chunk 3 IHDR", and its parts "data of chunk 3 IHDR"...
  const auto part = [&](std::string_view kind) {
    return [&c, kind](Label& label) {
      label.kind = kind;
      label.index = c.index;
      label.name = typeOf(c);
    };
  };
  painter.paint(c.start, kChunkHeaderSize, alternatingSlot(kC2, c.index), part("chunk"));
  painter.paintSelectable(data, c.length, alternatingSlot(kC2Alt, c.index), [&](Label& label) {
    part("data of chunk")(label);
    // A type with a NUL byte cannot be given on a command line: it is no choice.
    if (label.name.find('\0') == std::string_view::npos) label.select = label.name;
  });
  painter.paint(crc, kCrcSize, alternatingSlot(kC2Accent, c.index), part("CRC of chunk"));
}

// The walk over a whole input and over a stream alike, so that both get the
// same colors: a chunk is walked once its header is in memory, or the input
// has ended.
class PngWalk final : public ForwardWalk {
 public:
  std::uint64_t advance(const StreamView& view, Colormap& colormap) override {
    return step(view, view.end(), view.ended(), colormap);
  }

  // Walks on over the bytes before `end` (all of them: `ended`); returns
  // the offset before which every byte is painted for good.
  std::uint64_t step(const RandomAccess& input, std::uint64_t end, bool ended, Colormap& colormap) {
    const Painter painter(colormap);
    if (next_ == 0) {
      painter.fill(kNormalAlt);
      painter.paint(0, kSignatureSize, kC1, titled("PNG signature"));
      next_ = kSignatureSize;
    }
    InputCursor cursor(input);
    // Each chunk takes at least twelve bytes, so the walk is linear in the
    // input; it stops after kMaxChunks, after IEND, or at the first chunk
    // whose header is cut short or whose length is invalid.
    while (!done_ && index_ < kMaxChunks) {
      // A chunk that begins past the bytes in memory waits for them.
      if (!ended && next_ >= end) return end;
      if (!ended && end - next_ < kChunkHeaderSize) return next_;
      PngChunk c{.index = index_, .start = next_};
      cursor.seek(next_);
      const Result<ByteSpan> header = cursor.readExact(kChunkHeaderSize);
      if (!header) {
        if (next_ < input.size()) {
          painter.stop(next_, LabelText() << "input ends inside chunk " << index_ << "'s header");
        }
        break;
      }
      c.length = static_cast<std::uint32_t>(loadUnsigned(*header, {0, 4}, ByteOrder::Big));
      if (c.length > kMaxChunkLength) {
        painter.stop(next_, LabelText() << "chunk " << index_ << " claims "
                                        << std::uint64_t{c.length} << " bytes, 2^31 or more");
        break;
      }
      for (std::size_t k = 0; k < c.type.size(); ++k) {
        c.type[k] = static_cast<char>((*header)[4 + k]);
      }
      paintChunk(painter, c);
      if (typeOf(c) == "IEND") break;
      // The start lies inside the input and the length has 31 bits: no wrap.
      next_ = c.start + kChunkHeaderSize + c.length + kCrcSize;
      if (next_ > input.size()) {
        painter.stop(c.start, LabelText() << "chunk " << index_ << " claims "
                                          << std::uint64_t{c.length} << " bytes, past the end");
      }
      ++index_;
    }
    if (!done_ && index_ == kMaxChunks && next_ < input.size()) {
      painter.stop(next_, LabelText() << "after " << kMaxChunks << " chunks");
    }
    // The walk is over: nothing it paints changes any more.
    done_ = true;
    return std::numeric_limits<std::uint64_t>::max();
  }

 private:
  std::uint64_t next_ = 0;  // where the next chunk begins; 0 before the signature
  std::uint64_t index_ = 0;
  bool done_ = false;
};

}  // namespace

void colorizePng(const RandomAccess& input, Colormap& colormap) {
  PngWalk().step(input, input.size(), true, colormap);
}

std::unique_ptr<ForwardWalk> makePngForwardWalk() { return std::make_unique<PngWalk>(); }

const Format kPngFormat{
    .name = "png",
    .description = "PNG images",
    .prefix = 8,
    .matches = [](ByteSpan start) { return startsWith(start, "\x89PNG\r\n\x1a\n"); },
    // Chunks follow one another, so the image can be coloured as it flows.
    .need = InputNeed::Forward,
    .colorize = colorizePng,
    .forward = makePngForwardWalk,
};

}  // namespace lumo
