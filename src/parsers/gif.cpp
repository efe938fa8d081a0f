#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/byte_order.h"
#include "parsers/forward_walk.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kHeaderSize = 13;  // signature, version, logical screen descriptor
constexpr std::uint64_t kDescriptorSize = 10;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2c;
constexpr std::uint8_t kTrailer = 0x3b;
constexpr std::uint8_t kCommentLabel = 0xfe;
// Extensions and images together. An animation has two blocks a frame, so a
// real file stays far below; a crafted one of millions of empty extensions
// then costs no more than such an animation.
constexpr std::uint64_t kMaxBlocks = 262144;

std::string_view extensionName(std::uint8_t label) {
  switch (label) {
    case 0x01: return "plain text";
    case 0xf9: return "graphic control";
    case kCommentLabel: return "comment";
    case 0xff: return "application";
    default: return {};
  }
}

// The size of a color table that the packed byte announces, or 0.
std::uint64_t colorTableSize(std::uint8_t packed) {
  return (packed & 0x80) ? 3 * (std::uint64_t{2} << (packed & 0x07)) : 0;
}

// "extension 2 (comment)", "local color table of image 0": `kind`, the
// number and the detail in parentheses, if any.
auto numbered(std::string_view kind, std::uint64_t index, std::string_view detail = {}) {
  return [kind, index, detail](Label& label) {
    label.kind = kind;
    label.index = index;
    label.detail = detail;
  };
}

struct Counts {
  std::uint64_t extensions = 0;
  std::uint64_t images = 0;
  std::uint64_t comments = 0;
};

// The sub-blocks of one extension or image, which may run far past the
// bytes in memory: they are painted in pieces as the walk passes them.
struct SubBlocks {
  std::uint64_t start = 0;       // the first byte (an image's LZW code size)
  std::uint64_t piece = 0;       // the first byte not painted yet
  std::uint64_t next = 0;        // the next size byte
  std::uint64_t after_size = 0;  // after the size byte before `next`
  PaletteSlot slot = kNormalAlt;
  std::string_view what;  // "data of image", "sub-blocks of extension"
  std::uint64_t index = 0;
  std::string_view section;  // the name --section knows it by, numbered: "image"
  std::uint64_t section_index = 0;
};

// The walk over a whole input and over a stream alike, so that both get the
// same colors: a block is walked once its first bytes are in memory, or the
// input has ended.
class GifWalk final : public ForwardWalk {
 public:
  std::uint64_t advance(const StreamView& view, Colormap& colormap) override {
    return step(view, view.end(), view.ended(), colormap);
  }

  // Walks on over the bytes before `end` (all of them: `ended`); returns
  // the offset before which every byte is painted for good.
  std::uint64_t step(const RandomAccess& input, std::uint64_t end, bool ended, Colormap& colormap) {
    InputCursor cursor(input);
    const Painter painter(colormap);
    for (;;) {
      std::optional<std::uint64_t> wait;
      switch (phase_) {
        case Phase::Header: wait = header(cursor, end, ended, painter); break;
        case Phase::Blocks: wait = block(cursor, end, ended, painter); break;
        case Phase::ImageData: wait = imageData(cursor, end, ended, painter); break;
        case Phase::SubBlocks: wait = subBlocks(cursor, end, ended, painter); break;
        case Phase::Done: return std::numeric_limits<std::uint64_t>::max();
      }
      if (wait) return *wait;
    }
  }

 private:
  enum class Phase : std::uint8_t { Header, Blocks, ImageData, SubBlocks, Done };

  // Each step returns where the walk waits for more bytes, or nothing when
  // it goes on (in another phase, or done).
  std::optional<std::uint64_t> header(InputCursor& cursor, std::uint64_t end, bool ended,
                                      const Painter& painter) {
    if (!started_) {
      painter.fill(kNormalAlt);
      painter.paint(0, kHeaderSize, kC1, titled("GIF header and logical screen descriptor"));
      started_ = true;
    }
    if (!ended && end < kHeaderSize) return 0;
    cursor.seek(0);
    const Result<ByteSpan> header = cursor.readExact(kHeaderSize);
    if (!header) {
      painter.stop(0, LabelText() << "input ends inside the header");
      return stop();
    }
    const std::uint64_t table = colorTableSize((*header)[10]);
    painter.paintSelectable(kHeaderSize, table, kC1Alt, [&](Label& label) {
      label.kind = "global color table";
      if (table > 0) label.select = label.kind;
    });
    if (ended && kHeaderSize + table > end) {
      painter.stop(0,
                   LabelText() << "global color table claims " << table << " bytes, past the end");
    }
    // A table cut short leaves no block to read after it.
    next_ = kHeaderSize + table;
    phase_ = Phase::Blocks;
    return std::nullopt;
  }

  std::optional<std::uint64_t> block(InputCursor& cursor, std::uint64_t end, bool ended,
                                     const Painter& painter) {
    // Extensions and images together; the trailer ends the walk anyway.
    if (blocks_ == kMaxBlocks) {
      if (next_ < end) {
        painter.stop(next_, LabelText() << "after " << kMaxBlocks << " blocks");
      }
      return stop();
    }
    if (!ended && next_ >= end) return end;
    if (!ended && end - next_ < kDescriptorSize) return next_;
    const std::uint64_t start = next_;
    cursor.seek(start);
    const Result<ByteSpan> introducer = cursor.readExact(1);
    if (!introducer) return stop();
    ++blocks_;
    const std::uint8_t kind = (*introducer)[0];
    if (kind == kTrailer) {
      painter.paint(start, 1, kC1, titled("GIF trailer"));
      return stop();
    }
    if (kind == kExtensionIntroducer) {
      const Result<ByteSpan> label = cursor.readExact(1);
      if (!label) {
        painter.stop(start, LabelText() << "input ends inside extension " << counts_.extensions
                                        << "'s label");
        return stop();
      }
      const std::uint8_t name = (*label)[0];
      const std::uint64_t k = counts_.extensions++;
      painter.paint(start, 2, alternatingSlot(kC2, k),
                    numbered("extension", k, extensionName(name)));
      sub_ = SubBlocks{.start = start + 2,
                       .piece = start + 2,
                       .next = start + 2,
                       .after_size = 0,
                       .slot = alternatingSlot(kC2Alt, k),
                       .what = "sub-blocks of extension",
                       .index = k,
                       .section = {},
                       .section_index = 0};
      if (name == kCommentLabel) {
        sub_.section = "comment";
        sub_.section_index = counts_.comments++;
      }
      phase_ = Phase::SubBlocks;
      return std::nullopt;
    }
    if (kind != kImageSeparator) {
      painter.stop(start, (LabelText() << "byte ").hex(kind)
                              << " where a block introducer should be");
      return stop();
    }
    const Result<ByteSpan> rest = cursor.readExact(kDescriptorSize - 1);
    if (!rest) {
      painter.stop(start, LabelText()
                              << "input ends inside image " << counts_.images << "'s descriptor");
      return stop();
    }
    const std::uint64_t width = loadLe16(*rest, 4);
    const std::uint64_t height = loadLe16(*rest, 6);
    const std::uint64_t table = colorTableSize((*rest)[8]);
    const std::uint64_t k = counts_.images++;
    painter.paint(start, kDescriptorSize, alternatingSlot(kC4, k), [&](Label& label) {
      label.kind = "image";
      label.index = k;
      label.part = "descriptor";
      label.detail = (label.scratch[0] << width << 'x' << height).view();
    });
    painter.paint(start + kDescriptorSize, table, alternatingSlot(kC4Accent, k),
                  numbered("local color table of image", k));
    const std::uint64_t data = start + kDescriptorSize + table;
    if (ended && data >= end) {
      painter.stop(start, data > end ? LabelText() << "local color table of image " << k
                                                   << " claims " << table << " bytes, past the end"
                                     : LabelText() << "input ends before the data of image " << k);
    }
    sub_ = SubBlocks{.start = data,
                     .piece = data,
                     .next = data,
                     .after_size = 0,
                     .slot = alternatingSlot(kC4Alt, k),
                     .what = "data of image",
                     .index = k,
                     .section = "image",
                     .section_index = k};
    phase_ = Phase::ImageData;
    return std::nullopt;
  }

  // An image's data begins with the LZW minimum code size, after its local
  // color table; a table cut short ends the walk unpainted.
  std::optional<std::uint64_t> imageData(InputCursor& cursor, std::uint64_t end, bool ended,
                                         const Painter& painter) {
    if (!ended && sub_.start >= end) return end;
    if (sub_.start > end) return stop();
    cursor.seek(sub_.start);
    if (!cursor.skip(1) || (ended && sub_.start == end)) {
      finish(painter, false, sub_.start);
      return stop();
    }
    sub_.next = sub_.start + 1;
    phase_ = Phase::SubBlocks;
    return std::nullopt;
  }

  // Passes the sub-blocks in memory and their terminator; the walk ends
  // where the input ends first.
  std::optional<std::uint64_t> subBlocks(InputCursor& cursor, std::uint64_t end, bool ended,
                                         const Painter& painter) {
    for (;;) {
      if (sub_.next >= end) {
        if (ended) {
          if (sub_.next == end) {
            painter.stop(sub_.start, LabelText()
                                         << "input ends inside " << sub_.what << ' ' << sub_.index);
          }
          // A stream cut short inside the last sub-block: where a file's
          // walk would have stopped, after its size byte.
          finish(painter, false, sub_.next > end ? sub_.after_size : sub_.next);
          return stop();
        }
        // Every byte before the next size byte is the structure's.
        painter.paint(sub_.piece, sub_.next - sub_.piece, sub_.slot);
        sub_.piece = sub_.next;
        return end;
      }
      cursor.seek(sub_.next);
      const Result<ByteSpan> size = cursor.readExact(1);
      if (!size) {
        finish(painter, false, sub_.next);
        return stop();
      }
      if ((*size)[0] == 0) {
        finish(painter, true, sub_.next + 1);
        next_ = sub_.next + 1;
        phase_ = Phase::Blocks;
        return std::nullopt;
      }
      // A sub-block that the input's end cuts short ends the walk.
      if (ended && (*size)[0] > end - (sub_.next + 1)) {
        painter.stop(sub_.next, LabelText() << "a sub-block of " << sub_.what << ' ' << sub_.index
                                            << " claims " << std::uint64_t{(*size)[0]}
                                            << " bytes, past the end");
        finish(painter, false, sub_.next + 1);
        return stop();
      }
      sub_.after_size = sub_.next + 1;
      sub_.next += 1 + std::uint64_t{(*size)[0]};
    }
  }

  // The rest of the sub-blocks' paint: up to `position` when they ended
  // whole, else to the end of the input; and their section ("image 0"),
  // which is that paint when it is the whole of them.
  void finish(const Painter& painter, bool whole, std::uint64_t position) {
    const auto describe = numbered(sub_.what, sub_.index);
    const auto select = [&](Label& label) {
      label.select = (label.scratch[1] << sub_.section << ' ' << sub_.section_index).view();
    };
    if (!sub_.section.empty() && whole && sub_.piece == sub_.start) {
      painter.paintSelectable(sub_.piece, position - sub_.piece, sub_.slot, [&](Label& label) {
        describe(label);
        select(label);
      });
      return;
    }
    painter.paint(sub_.piece, whole ? position - sub_.piece : UINT64_MAX, sub_.slot, describe);
    if (sub_.section.empty()) return;
    painter.mark(sub_.start, position - sub_.start, position > sub_.start, [&](Label& label) {
      select(label);
      label.kind = "section";
      label.name = label.select;
    });
  }

  std::optional<std::uint64_t> stop() {
    phase_ = Phase::Done;
    return std::nullopt;
  }

  Phase phase_ = Phase::Header;
  bool started_ = false;
  std::uint64_t next_ = 0;  // where the next block begins
  std::uint64_t blocks_ = 0;
  Counts counts_;
  SubBlocks sub_;
};

}  // namespace

void colorizeGif(const RandomAccess& input, Colormap& colormap) {
  GifWalk().step(input, input.size(), true, colormap);
}

std::unique_ptr<ForwardWalk> makeGifForwardWalk() { return std::make_unique<GifWalk>(); }

const Format kGifFormat{
    .name = "gif",
    .description = "GIF images",
    .prefix = 6,
    .matches =
        [](ByteSpan start) { return startsWith(start, "GIF87a") || startsWith(start, "GIF89a"); },
    // Blocks follow one another, so the image can be coloured as it flows.
    .need = InputNeed::Forward,
    .colorize = colorizeGif,
    .forward = makeGifForwardWalk,
};

}  // namespace lumo
