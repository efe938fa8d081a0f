#include <cstdint>
#include <optional>
#include <string_view>

#include "colormap/alternating_slot.h"
#include "parsers/byte_order.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"
#include "parsers/windowed_access.h"

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

// Moves the cursor past the sub-blocks at its position and their
// terminator; false when the input ends first (the cursor is then at the
// end of what was read).
bool skipSubBlocks(InputCursor& cursor) {
  for (;;) {
    const Result<ByteSpan> size = cursor.readExact(1);
    if (!size) return false;
    if ((*size)[0] == 0) return true;
    if (!cursor.skip((*size)[0])) return false;
  }
}

// The one place where a paint is made with or without its label: `what`,
// the number, and `detail` in parentheses when there is one.
void paintPart(Colormap& colormap, std::uint64_t start, std::uint64_t length, PaletteSlot slot,
               std::string_view what, std::uint64_t index, std::string_view after = {},
               std::string_view detail = {}) {
  if (!colormap.keepsNames()) {
    colormap.paint(start, length, slot);
    return;
  }
  LabelText label;
  label << what << index << after;
  if (!detail.empty()) label << " (" << detail << ')';
  colormap.paint(start, length, slot, label.view());
}

void addNumberedSection(Colormap& colormap, std::string_view what, std::uint64_t index,
                        std::uint64_t start, std::uint64_t length) {
  if (!colormap.keepsNames()) return;
  LabelText name;
  name << what << index;
  colormap.addSection(name.view(), start, length, length > 0);
}

struct Counts {
  std::uint64_t extensions = 0;
  std::uint64_t images = 0;
  std::uint64_t comments = 0;
};

// An extension at the cursor, after its introducer; false when the walk ends.
bool paintExtension(InputCursor& cursor, Colormap& colormap, Counts& counts) {
  const std::uint64_t start = cursor.position() - 1;
  const Result<ByteSpan> label = cursor.readExact(1);
  if (!label) return false;
  const std::uint8_t kind = (*label)[0];
  const std::uint64_t k = counts.extensions++;
  paintPart(colormap, start, 2, alternatingSlot(kC2, k), "extension ", k, {}, extensionName(kind));
  const bool whole = skipSubBlocks(cursor);
  const std::uint64_t length = cursor.position() - (start + 2);
  paintPart(colormap, start + 2, whole ? length : UINT64_MAX, alternatingSlot(kC2Alt, k),
            "sub-blocks of extension ", k);
  if (kind == kCommentLabel)
    addNumberedSection(colormap, "comment ", counts.comments++, start + 2, length);
  return whole;
}

// An image at the cursor, after its separator; false when the walk ends.
bool paintImage(InputCursor& cursor, Colormap& colormap, Counts& counts) {
  const std::uint64_t start = cursor.position() - 1;
  const Result<ByteSpan> rest = cursor.readExact(kDescriptorSize - 1);
  if (!rest) return false;
  const std::uint64_t width = loadLe16(*rest, 4);
  const std::uint64_t height = loadLe16(*rest, 6);
  const std::uint64_t table = colorTableSize((*rest)[8]);
  const std::uint64_t k = counts.images++;
  LabelText size;
  if (colormap.keepsNames()) size << width << 'x' << height;
  paintPart(colormap, start, kDescriptorSize, alternatingSlot(kC4, k), "image ", k, " descriptor",
            size.view());
  paintPart(colormap, start + kDescriptorSize, table, alternatingSlot(kC4Accent, k),
            "local color table of image ", k);
  if (!cursor.skip(table)) return false;
  const std::uint64_t data = cursor.position();
  // The LZW minimum code size, then the sub-blocks.
  const bool whole = cursor.skip(1) && skipSubBlocks(cursor);
  const std::uint64_t length = cursor.position() - data;
  paintPart(colormap, data, whole ? length : UINT64_MAX, alternatingSlot(kC4Alt, k),
            "data of image ", k);
  addNumberedSection(colormap, "image ", k, data, length);
  return whole;
}

}  // namespace

void colorizeGif(const RandomAccess& input, Colormap& colormap) {
  const WindowedAccess windowed(input);
  colormap.fill(kNormalAlt);
  colormap.paint(0, kHeaderSize, kC1, "GIF header and logical screen descriptor");
  InputCursor cursor(windowed);
  const Result<ByteSpan> header = cursor.readExact(kHeaderSize);
  if (!header) return;
  const std::uint64_t table = colorTableSize((*header)[10]);
  colormap.paint(kHeaderSize, table, kC1Alt, "global color table");
  if (colormap.keepsNames() && table > 0)
    colormap.addSection("global color table", kHeaderSize, table, true);
  if (!cursor.skip(table)) return;
  Counts counts;
  for (std::uint64_t block = 0; block < kMaxBlocks; ++block) {
    const Result<ByteSpan> introducer = cursor.readExact(1);
    if (!introducer) return;
    const std::uint8_t kind = (*introducer)[0];
    if (kind == kTrailer) {
      colormap.paint(cursor.position() - 1, 1, kC1, "GIF trailer");
      return;
    }
    const bool more = kind == kExtensionIntroducer ? paintExtension(cursor, colormap, counts)
                      : kind == kImageSeparator    ? paintImage(cursor, colormap, counts)
                                                   : false;
    if (!more) return;
  }
}

const Format kGifFormat{
    .name = "gif",
    .description = "GIF images",
    .prefix = 6,
    .matches =
        [](ByteSpan start) { return startsWith(start, "GIF87a") || startsWith(start, "GIF89a"); },
    .need = InputNeed::Anywhere,
    .colorize = colorizeGif,
};

}  // namespace lumo
