#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "config/options.h"
#include "core/palette_slot.h"
#include "render/output.h"
#include "render/style_escape.h"

namespace lumo {

/// The options a dump line reads, after raw mode has been applied.
struct DumpOptions {
  bool color = false;
  bool uppercase = false;
  bool show_offset = true;
  bool show_ascii = true;
  bool skip_lines = true;
  bool raw = false;
  bool show_size = true;
  bool legend = false;
  bool annotate = false;
};

/// Raw mode's rules, in this one place: raw mode turns color, offset, ASCII
/// column, skipping, the size line, the legend and the headings off and
/// keeps uppercase;
/// the caller's Options are not changed.
DumpOptions effectiveOptions(const Options& options);

/// Upper bound of one formatted line: every byte with the longest possible
/// style in both columns, and a 64-bit offset (about 1750 bytes), with room
/// for the 16-byte moves that copy escapes.
inline constexpr std::size_t kMaxLineSize = 2048;

/// Formats dump lines. Built once per run: the escapes of the 18 slots, the
/// colored cells and line templates made from them and the digit table are
/// looked up per line or per byte, never formatted.
class LineFormatter {
 public:
  LineFormatter(const DumpOptions& options, const Palette& palette);

  /// Writes one line of 1 to 16 bytes (with their slots) into `out`, which
  /// has room for kMaxLineSize bytes; returns the line's length.
  std::size_t format(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                     std::size_t count, std::uint64_t offset) const;

  /// A full line of 16 bytes that all have the slot `slot`: the text of
  /// format() with that slot for every byte, from the slot's line template.
  std::size_t formatUniform(char* out, const std::uint8_t* bytes, PaletteSlot slot,
                            std::uint64_t offset) const;

  /// format() one byte at a time, for lines of any length. The full-line
  /// paths must write exactly this; the tests hold them to it.
  std::size_t formatEachByte(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                             std::size_t count, std::uint64_t offset) const;

  /// The first line of a window that starts inside a line: `offset` is the
  /// line's 16-aligned start, the first `lead` cells stay blank and the
  /// `count` bytes follow (lead + count <= 16). With `marks`, the bytes whose
  /// mark is set are shown in reverse video on top of their style (when
  /// color is on): a comparison's differing bytes.
  std::size_t formatWithLead(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                             std::size_t lead, std::size_t count, std::uint64_t offset,
                             const std::uint8_t* marks = nullptr) const;

  /// The line under a line of formatWithLead() that shows its marked bytes
  /// without color: `^^` under each marked hex cell and `^` under its
  /// character, spaces elsewhere, no trailing spaces.
  std::size_t formatMarks(char* out, const std::uint8_t* marks, std::size_t lead, std::size_t count,
                          std::uint64_t offset) const;

  const DumpOptions& options() const { return options_; }

  /// Room of one colored cell: the longest escape (two RGB colors, dim and
  /// bold: 46 characters), two digits and the reset; a cell and its size
  /// take 64 bytes.
  static constexpr std::size_t kCellRoom = 63;
  /// Room of a line template: 16 cells of at most 16 characters and the
  /// group spaces, rounded up to whole 16-byte moves.
  static constexpr std::size_t kTemplateRoom = 16 * 16 + 16;

  /// One colored cell: a slot's escape, room for the two digits (hex column)
  /// or the character (ASCII column), and the reset.
  struct Cell {
    std::array<char, kCellRoom> text{};
    std::uint8_t size = 0;
  };

  /// The colored hex column of a full line whose bytes share one slot, with
  /// the digits left to fill in; only for slots whose cells are short.
  struct HexTemplate {
    std::array<char, kTemplateRoom> text{};
    std::array<std::uint16_t, 16> digitsAt{};  // where each byte's two digits go
    std::uint16_t size = 0;                    // 0: no template, the slot's escape is long
  };

 private:
  std::size_t formatPlain16(char* out, const std::uint8_t* bytes, std::uint64_t offset) const;
  std::size_t formatColored16(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                              const HexTemplate* shared, std::uint64_t offset) const;
  char* writeOffset(char* out, std::uint64_t offset) const;
  char* writeHexPlain(char* out, const std::uint8_t* bytes, std::size_t count) const;
  char* writeHexColored(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                        std::size_t count) const;
  char* writeAscii(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                   std::size_t count) const;

  DumpOptions options_;
  SlotEscapes escapes_;
  const char* digits_;  // 256 two-digit pairs in the chosen case
  std::array<Cell, kSlotCount> hexCells_{};
  // One cell per slot for printable bytes, then the dim cell of all others.
  std::array<Cell, kSlotCount + 1> asciiCells_{};
  bool shortCells_ = true;  // every cell fits one 16-byte move
  std::array<HexTemplate, kSlotCount> hexTemplates_{};
};

/// Formats one line into the output buffer (no flush). Inline: a call per
/// line costs as much as writing its offset.
inline Status writeDumpLine(OutputBuffer& out, const LineFormatter& formatter,
                            const std::uint8_t* bytes, const std::uint8_t* slots, std::size_t count,
                            std::uint64_t offset) {
  if (Status room = out.reserve(kMaxLineSize); !room) return room;
  out.commit(formatter.format(out.cursor(), bytes, slots, count, offset));
  return {};
}

/// Formats one full line of 16 bytes of one slot into the output buffer.
inline Status writeUniformLine(OutputBuffer& out, const LineFormatter& formatter,
                               const std::uint8_t* bytes, PaletteSlot slot, std::uint64_t offset) {
  if (Status room = out.reserve(kMaxLineSize); !room) return room;
  out.commit(formatter.formatUniform(out.cursor(), bytes, slot, offset));
  return {};
}

/// Formats a line with blank leading cells (formatWithLead) into the buffer.
Status writeLeadLine(OutputBuffer& out, const LineFormatter& formatter, const std::uint8_t* bytes,
                     const std::uint8_t* slots, std::size_t lead, std::size_t count,
                     std::uint64_t offset);

}  // namespace lumo
