#include <algorithm>
#include <array>
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

constexpr std::uint64_t kHeaderSize = 10;
constexpr std::uint64_t kTrailerSize = 8;  // CRC-32 and ISIZE
constexpr std::uint64_t kHeaderCrcSize = 2;
constexpr std::uint8_t kFlagHeaderCrc = 0x02;
constexpr std::uint8_t kFlagExtra = 0x04;
constexpr std::uint8_t kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10;
// Names and comments longer than this are taken as damage: real ones are a
// file name or a line, and the scan for their NUL then stays short.
constexpr std::uint64_t kMaxTextScan = 65536;
// Longer names are cut in labels and section names.
constexpr std::uint64_t kNameCap = 128;
// A BGZF block holds at most 64 KiB of input, so a 1 GiB file of 8 KiB
// blocks has this many; a crafted file of millions of empty blocks then
// costs no more than such a file.
constexpr std::uint64_t kMaxMembers = 131072;

// A member's fields as its header gives them.
struct GzipMember {
  std::uint64_t index = 0;
  std::uint64_t start = 0;
  std::uint8_t flags = 0;
  std::optional<std::uint64_t> block_size;  // from a BGZF "BC" subfield
};

// A zero-terminated field: where it starts, its length with the NUL, and
// its first kNameCap bytes.
struct TextField {
  std::uint64_t start = 0;
  std::uint64_t length = 0;
  std::array<char, kNameCap> text{};
  std::size_t text_size = 0;
  std::string_view view() const { return {text.data(), text_size}; }
};

// Reads the zero-terminated field at the cursor and moves past it; nothing
// when no NUL comes within kMaxTextScan bytes or before the end.
std::optional<TextField> readText(InputCursor& cursor) {
  TextField field{.start = cursor.position()};
  while (field.length < kMaxTextScan) {
    const ByteSpan bytes = cursor.peekUpTo(InputCursor::kMaxRecord);
    if (bytes.empty()) return std::nullopt;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      if (bytes[k] == 0) {
        field.length += k + 1;
        cursor.seek(field.start + field.length);
        return field;
      }
      if (field.text_size < kNameCap) field.text[field.text_size++] = static_cast<char>(bytes[k]);
    }
    field.length += bytes.size();
    cursor.seek(field.start + field.length);
  }
  return std::nullopt;
}

// The total size of a BGZF block from the extra field at the cursor (after
// XLEN), whose `length` bytes lie in the input; nothing for other members.
std::optional<std::uint64_t> bgzfBlockSize(InputCursor& cursor, std::uint64_t length) {
  const std::uint64_t end = cursor.position() + length;
  // Each subfield takes at least four bytes, and XLEN is 16 bits: a short walk.
  while (cursor.position() + 4 <= end) {
    const Result<ByteSpan> head = cursor.readExact(4);
    if (!head) return std::nullopt;
    const std::uint16_t size = loadLe16(*head, 2);
    if ((*head)[0] == 'B' && (*head)[1] == 'C' && size == 2 && cursor.position() + 2 <= end) {
      const Result<ByteSpan> value = cursor.readExact(2);
      if (!value) return std::nullopt;
      return std::uint64_t{loadLe16(*value, 0)} + 1;
    }
    if (!cursor.skip(size)) return std::nullopt;
  }
  return std::nullopt;
}

// The one place where a paint is made with or without its label.
void paintPart(Colormap& colormap, std::uint64_t start, std::uint64_t length, PaletteSlot slot,
               const GzipMember& m, std::string_view what, std::string_view after = {},
               std::string_view detail = {}) {
  if (!colormap.keepsNames()) {
    colormap.paint(start, length, slot);
    return;
  }
  LabelText label;
  label << what << m.index << after;
  if (!detail.empty()) label << " (" << detail << ')';
  colormap.paint(start, length, slot, label.view());
}

// Paints one member; returns where the next one starts, or nothing when the
// walk ends with it.
std::optional<std::uint64_t> paintMember(InputCursor& cursor, Colormap& colormap,
                                         std::uint64_t input_size, GzipMember m) {
  const PaletteSlot header_slot = alternatingSlot(kC2, m.index);
  const PaletteSlot field_slot = alternatingSlot(kC2Accent, m.index);
  cursor.seek(m.start);
  const Result<ByteSpan> header = cursor.readExact(kHeaderSize);
  if (!header || (*header)[0] != 0x1f || (*header)[1] != 0x8b || (*header)[2] != 8) {
    return std::nullopt;
  }
  m.flags = (*header)[3];
  paintPart(colormap, m.start, kHeaderSize, header_slot, m, "gzip member ", " header");
  if (m.flags & kFlagExtra) {
    const std::uint64_t extra_start = cursor.position();
    const Result<ByteSpan> xlen = cursor.readExact(2);
    if (!xlen) return std::nullopt;
    const std::uint16_t length = loadLe16(*xlen, 0);
    const std::uint64_t extra_end = cursor.position() + length;
    if (extra_end > input_size) return std::nullopt;
    paintPart(colormap, extra_start, 2 + length, field_slot, m, "extra field in gzip member ");
    m.block_size = bgzfBlockSize(cursor, length);
    cursor.seek(extra_end);
  }
  std::optional<TextField> name;
  for (std::uint8_t flag : {kFlagName, kFlagComment}) {
    if (!(m.flags & flag)) continue;
    std::optional<TextField> text = readText(cursor);
    if (!text) return std::nullopt;
    if (flag == kFlagName) {
      paintPart(colormap, text->start, text->length, field_slot, m, "name in gzip member ", {},
                text->view());
      name = text;
    } else {
      paintPart(colormap, text->start, text->length, field_slot, m, "comment in gzip member ");
    }
  }
  if (m.flags & kFlagHeaderCrc) {
    paintPart(colormap, cursor.position(), kHeaderCrcSize, header_slot, m,
              "header CRC of gzip member ");
    if (!cursor.skip(kHeaderCrcSize)) return std::nullopt;
  }
  const std::uint64_t data = cursor.position();
  // Only a BGZF block says where it ends; any other member runs to the end
  // of the input, with its trailer in the last eight bytes.
  const bool sized = m.block_size && *m.block_size >= data - m.start + kTrailerSize;
  const std::uint64_t end = sized ? m.start + *m.block_size : input_size;
  const std::uint64_t trailer = end - std::min(end - data, kTrailerSize);
  paintPart(colormap, data, trailer - data, alternatingSlot(kC2Alt, m.index), m,
            "data of gzip member ");
  paintPart(colormap, trailer, end - trailer, header_slot, m, "trailer of gzip member ");
  if (name && colormap.keepsNames() && !name->view().empty() &&
      name->view().find('\0') == std::string_view::npos) {
    colormap.addSection(name->view(), data, trailer - data, trailer > data);
  }
  if (!sized || end >= input_size) return std::nullopt;
  return end;
}

}  // namespace

void colorizeGzip(const RandomAccess& input, Colormap& colormap) {
  const WindowedAccess windowed(input);
  colormap.fill(kNormalAlt);
  InputCursor cursor(windowed);
  std::optional<std::uint64_t> next = 0;
  for (std::uint64_t index = 0; next && index < kMaxMembers; ++index) {
    GzipMember member;
    member.index = index;
    member.start = *next;
    next = paintMember(cursor, colormap, windowed.size(), member);
  }
}

const Format kGzipFormat{
    .name = "gzip",
    .description = "gzip files, BGZF member by member",
    .prefix = 3,
    // The magic number and deflate, the only compression method.
    .matches = [](ByteSpan start) { return startsWith(start, "\x1f\x8b\x08"); },
    // The trailer is the last 8 bytes: the input's end must be known.
    .need = InputNeed::Anywhere,
    .colorize = colorizeGzip,
};

}  // namespace lumo
