#include <limits>
#include <optional>

#include "parsers/alternating_slot.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kPreambleSize = 8;  // "\0asm" and the version
constexpr std::uint8_t kCustomSectionId = 0;
// An unsigned 32-bit LEB128 number takes at most five bytes.
constexpr std::size_t kMaxLeb32Bytes = 5;

// Every paint of this parser goes through here.
class WasmPainter {
 public:
  explicit WasmPainter(Colormap& colormap) : colormap_(colormap) {}
  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot) const {
    colormap_.paintRegion(start, length, slot);
  }

 private:
  Colormap& colormap_;
};

// Nothing when the input ends inside the number, when it runs past its
// maximum length, or when its value needs more than 32 bits.
std::optional<std::uint32_t> readLeb32(InputCursor& cursor) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < kMaxLeb32Bytes; ++k) {
    const Result<ByteSpan> byte = cursor.readExact(1);
    if (!byte) return std::nullopt;
    value |= std::uint64_t{(*byte)[0] & 0x7fu} << (7 * k);
    if (((*byte)[0] & 0x80u) == 0) {
      if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
      return static_cast<std::uint32_t>(value);
    }
  }
  return std::nullopt;
}

// A custom section's contents begin with its name: a LEB128 length and the
// bytes. Only what lies inside the section is painted.
void paintCustomName(InputCursor& cursor, std::uint64_t contents, std::uint64_t size,
                     const WasmPainter& painter) {
  const std::uint64_t end = contents + size;
  const std::optional<std::uint32_t> length = readLeb32(cursor);
  if (!length || cursor.position() > end) return;
  const std::uint64_t name_end = std::min(cursor.position() + *length, end);
  painter.paint(contents, name_end - contents, kC4);
}

}  // namespace

void colorizeWasm(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  const WasmPainter painter(colormap);
  painter.paint(0, kPreambleSize, kC1);
  InputCursor cursor(input);
  if (!cursor.skip(kPreambleSize)) return;
  // Each section takes at least two bytes, so the walk is linear.
  for (std::uint64_t index = 0; cursor.position() < input.size(); ++index) {
    const std::uint64_t start = cursor.position();
    const Result<ByteSpan> id = cursor.readExact(1);
    if (!id) return;
    const std::uint8_t section_id = (*id)[0];
    const std::optional<std::uint32_t> size = readLeb32(cursor);
    if (!size) return;
    const std::uint64_t contents = cursor.position();
    painter.paint(start, contents - start, alternatingSlot(kC2, index));
    painter.paint(contents, *size, alternatingSlot(kC2Alt, index));
    if (section_id == kCustomSectionId) paintCustomName(cursor, contents, *size, painter);
    // `contents` lies inside the input and the size has 32 bits: no wrap.
    cursor.seek(contents + *size);
  }
}

}  // namespace lumo
