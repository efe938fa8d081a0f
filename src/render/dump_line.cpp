#include "render/dump_line.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "render/line_simd.h"

namespace lumo {
namespace {

constexpr std::array<char, 512> makeDigitPairs(const char* alphabet) {
  std::array<char, 512> pairs{};
  for (std::size_t value = 0; value < 256; ++value) {
    pairs[2 * value] = alphabet[value >> 4];
    pairs[2 * value + 1] = alphabet[value & 15];
  }
  return pairs;
}

constexpr auto kLowerPairs = makeDigitPairs("0123456789abcdef");
constexpr auto kUpperPairs = makeDigitPairs("0123456789ABCDEF");

constexpr std::string_view kOpenPlain = "| ";
constexpr std::string_view kOpenColored = "\x1b[2m|\x1b[0m ";
constexpr std::string_view kClosePlain = "|";
constexpr std::string_view kCloseColored = "\x1b[2m|\x1b[0m";
constexpr std::string_view kAsciiEndPlain = " |";
constexpr std::string_view kAsciiEndColored = " \x1b[2m|\x1b[0m";

bool isPrintable(std::uint8_t byte) { return byte >= 0x20 && byte <= 0x7e; }

constexpr std::array<char, 256> makeAsciiChars() {
  std::array<char, 256> chars{};
  for (std::size_t value = 0; value < 256; ++value) {
    chars[value] = value >= 0x20 && value <= 0x7e ? static_cast<char>(value) : '.';
  }
  return chars;
}

// The ASCII column's character for every byte value.
constexpr auto kAsciiChars = makeAsciiChars();

char* put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* putSpaces(char* out, std::size_t count) {
  std::memset(out, ' ', count);
  return out + count;
}

// The hex column of a short line is padded to the width of a full one.
std::size_t hexFillerWidth(std::size_t count) { return (16 - count) * 2 + (8 - count / 2); }

using Cell = LineFormatter::Cell;
using HexTemplate = LineFormatter::HexTemplate;

constexpr std::size_t kShortMove = 16;

// A cell is the escape, `fill` characters of room and the reset.
Cell makeCell(std::string_view escape, std::size_t fill) {
  Cell cell;
  std::memcpy(cell.text.data(), escape.data(), escape.size());
  std::memset(cell.text.data() + escape.size(), '.', fill);
  std::memcpy(cell.text.data() + escape.size() + fill, kReset.data(), kReset.size());
  cell.size = static_cast<std::uint8_t>(escape.size() + fill + kReset.size());
  return cell;
}

// Sixteen cells and the group spaces, when one move copies a cell.
HexTemplate makeHexTemplate(const Cell& cell) {
  HexTemplate line;
  if (cell.size > kShortMove) return line;
  char* out = line.text.data();
  for (std::size_t i = 0; i < 16; ++i) {
    std::memcpy(out, cell.text.data(), cell.size);
    out += cell.size;
    line.digitsAt[i] = static_cast<std::uint16_t>(out - 2 - kReset.size() - line.text.data());
    if (i & 1) *out++ = ' ';
  }
  line.size = static_cast<std::uint16_t>(out - line.text.data());
  return line;
}

// Each cell is copied with one fixed-size move of `kMove` bytes (the line
// buffer has room for the overshoot), then filled in before its reset.
template <std::size_t kMove>
char* hexCells16(char* out, const char* digits, const Cell* cells, const std::uint8_t* slots) {
  for (std::size_t i = 0; i < 16; ++i) {
    const Cell& cell = cells[slots[i]];
    std::memcpy(out, cell.text.data(), kMove);
    out += cell.size;
    std::memcpy(out - 2 - kReset.size(), digits + 2 * i, 2);
    if (i & 1) *out++ = ' ';
  }
  return out;
}

// `cells` holds the printable cell of every slot, then the dim one.
template <std::size_t kMove>
char* asciiCells16(char* out, const std::uint8_t* bytes, const Cell* cells,
                   const std::uint8_t* slots) {
  char chars[16];
  asciiColumn16(bytes, chars);
  std::uint8_t picked[16];
  pickPrintable16(bytes, slots, kSlotCount, picked);
  for (std::size_t i = 0; i < 16; ++i) {
    const Cell& cell = cells[picked[i]];
    std::memcpy(out, cell.text.data(), kMove);
    out += cell.size;
    out[-1 - static_cast<std::ptrdiff_t>(kReset.size())] = chars[i];
  }
  return out;
}

// The whole room in fixed 16-byte moves (the line buffer has room for the
// overshoot), then the digits at their places. The places are read before
// the first store, so no store can be taken to change them.
char* fillHexTemplate(char* out, const char* digits, const HexTemplate& line) {
  const std::array<std::uint16_t, 16> at = line.digitsAt;
  const std::size_t size = line.size;
  copyBlocks16<LineFormatter::kTemplateRoom / 16>(out, line.text.data());
  for (std::size_t i = 0; i < 16; ++i) std::memcpy(out + at[i], digits + 2 * i, 2);
  return out + size;
}

}  // namespace

DumpOptions effectiveOptions(const Options& options) {
  DumpOptions effective{options.color,      options.uppercase,  options.show_offset,
                        options.show_ascii, options.skip_lines, options.raw,
                        options.show_size,  options.legend,     options.annotate};
  if (options.raw) {
    effective.color = false;
    effective.show_offset = false;
    effective.show_ascii = false;
    effective.skip_lines = false;
    effective.show_size = false;
    effective.legend = false;
    effective.annotate = false;
  }
  return effective;
}

LineFormatter::LineFormatter(const DumpOptions& options, const Palette& palette)
    : options_(options),
      escapes_(slotEscapes(palette)),
      digits_(options.uppercase ? kUpperPairs.data() : kLowerPairs.data()) {
  for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
    hexCells_[slot] = makeCell(escapes_[slot].view(), 2);
    asciiCells_[slot] = makeCell(escapes_[slot].view(), 1);
    hexTemplates_[slot] = makeHexTemplate(hexCells_[slot]);
    shortCells_ = shortCells_ && hexCells_[slot].size <= kShortMove;
  }
  asciiCells_[kSlotCount] = makeCell(kDim, 1);
}

char* LineFormatter::writeOffset(char* out, std::uint64_t offset) const {
  if (offset <= 0xffffffffu) {  // the common case: exactly eight digits
    for (int shift = 24; shift >= 0; shift -= 8) {
      std::memcpy(out, digits_ + 2 * ((offset >> shift) & 0xff), 2);
      out += 2;
    }
    *out++ = ' ';
    return out;
  }
  std::array<char, 16> digits{};
  std::size_t count = 0;
  do {
    digits[count++] = digits_[2 * (offset & 15) + 1];
    offset >>= 4;
  } while (offset != 0);
  while (count > 0) *out++ = digits[--count];
  *out++ = ' ';
  return out;
}

char* LineFormatter::writeHexPlain(char* out, const std::uint8_t* bytes, std::size_t count) const {
  if (count == 16) {
    hexColumn16(bytes, options_.uppercase, out);
    return out + 40;
  }
  std::size_t i = 0;
  for (; i + 1 < count; i += 2) {
    std::memcpy(out, digits_ + 2 * bytes[i], 2);
    std::memcpy(out + 2, digits_ + 2 * bytes[i + 1], 2);
    out[4] = ' ';
    out += 5;
  }
  if (i < count) {
    std::memcpy(out, digits_ + 2 * bytes[i], 2);
    out += 2;
  }
  return out;
}

// Copies an escape with one fixed-size move when it is short, as nearly all
// are; the line buffer has room for the overshoot.
inline char* putEscape(char* out, const StyleEscape& escape) {
  if (escape.size <= 16) {
    std::memcpy(out, escape.bytes.data(), 16);
  } else {
    std::memcpy(out, escape.bytes.data(), escape.size);
  }
  return out + escape.size;
}

char* LineFormatter::writeHexColored(char* out, const std::uint8_t* bytes,
                                     const std::uint8_t* slots, std::size_t count) const {
  for (std::size_t i = 0; i < count; ++i) {
    out = putEscape(out, escapes_[slots[i]]);
    std::memcpy(out, digits_ + 2 * bytes[i], 2);
    std::memcpy(out + 2, kReset.data(), kReset.size());
    out += 2 + kReset.size();
    if (i & 1) *out++ = ' ';
  }
  return out;
}

char* LineFormatter::writeAscii(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                                std::size_t count) const {
  *out++ = ' ';
  if (options_.color) {
    for (std::size_t i = 0; i < count; ++i) {
      if (isPrintable(bytes[i])) {
        out = putEscape(out, escapes_[slots[i]]);
        *out++ = static_cast<char>(bytes[i]);
      } else {
        std::memcpy(out, "\x1b[2m.", 5);
        out += 5;
      }
      std::memcpy(out, kReset.data(), kReset.size());
      out += kReset.size();
    }
  } else if (count == 16) {
    asciiColumn16(bytes, out);
    out += 16;
  } else {
    for (std::size_t i = 0; i < count; ++i) out[i] = kAsciiChars[bytes[i]];
    out += count;
  }
  if (count < 16) out = putSpaces(out, 16 - count);
  return put(out, options_.color ? kAsciiEndColored : kAsciiEndPlain);
}

std::size_t LineFormatter::formatEachByte(char* out, const std::uint8_t* bytes,
                                          const std::uint8_t* slots, std::size_t count,
                                          std::uint64_t offset) const {
  char* const start = out;
  if (options_.show_offset) out = writeOffset(out, offset);
  if (!options_.raw) out = put(out, options_.color ? kOpenColored : kOpenPlain);
  out =
      options_.color ? writeHexColored(out, bytes, slots, count) : writeHexPlain(out, bytes, count);
  if (count < 16) out = putSpaces(out, hexFillerWidth(count));
  if (!options_.raw) out = put(out, options_.color ? kCloseColored : kClosePlain);
  if (options_.show_ascii) out = writeAscii(out, bytes, slots, count);
  *out++ = '\n';
  return static_cast<std::size_t>(out - start);
}

std::size_t LineFormatter::formatPlain16(char* out, const std::uint8_t* bytes,
                                         std::uint64_t offset) const {
  char* const start = out;
  if (options_.show_offset) out = writeOffset(out, offset);
  if (!options_.raw) out = put(out, kOpenPlain);
  hexColumn16(bytes, options_.uppercase, out);
  out += 40;
  if (!options_.raw) *out++ = '|';
  if (options_.show_ascii) {
    *out++ = ' ';
    asciiColumn16(bytes, out);
    out = put(out + 16, kAsciiEndPlain);
  }
  *out++ = '\n';
  return static_cast<std::size_t>(out - start);
}

std::size_t LineFormatter::formatColored16(char* out, const std::uint8_t* bytes,
                                           const std::uint8_t* slots, const HexTemplate* shared,
                                           std::uint64_t offset) const {
  char* const start = out;
  if (options_.show_offset) out = writeOffset(out, offset);
  if (!options_.raw) out = put(out, kOpenColored);
  char digits[32];
  hexDigits16(bytes, options_.uppercase, digits);
  if (shared != nullptr && shared->size != 0) {
    out = fillHexTemplate(out, digits, *shared);
  } else if (shortCells_) {
    out = hexCells16<kShortMove>(out, digits, hexCells_.data(), slots);
  } else {
    out = hexCells16<kCellRoom>(out, digits, hexCells_.data(), slots);
  }
  if (!options_.raw) out = put(out, kCloseColored);
  if (options_.show_ascii) {
    *out++ = ' ';
    out = shortCells_ ? asciiCells16<kShortMove>(out, bytes, asciiCells_.data(), slots)
                      : asciiCells16<kCellRoom>(out, bytes, asciiCells_.data(), slots);
    out = put(out, kAsciiEndColored);
  }
  *out++ = '\n';
  return static_cast<std::size_t>(out - start);
}

std::size_t LineFormatter::format(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                                  std::size_t count, std::uint64_t offset) const {
  if (count != 16) return formatEachByte(out, bytes, slots, count, offset);
  if (!options_.color) return formatPlain16(out, bytes, offset);
  return formatColored16(out, bytes, slots, nullptr, offset);
}

std::size_t LineFormatter::formatUniform(char* out, const std::uint8_t* bytes, PaletteSlot slot,
                                         std::uint64_t offset) const {
  if (!options_.color) return formatPlain16(out, bytes, offset);
  std::uint8_t slots[16];
  std::memset(slots, slot, sizeof slots);
  return formatColored16(out, bytes, slots, &hexTemplates_[slot], offset);
}

// Cell by cell: this line occurs once per dump (and for the few differing
// lines of a comparison), so it needs no fast path.
std::size_t LineFormatter::formatWithLead(char* out, const std::uint8_t* bytes,
                                          const std::uint8_t* slots, std::size_t lead,
                                          std::size_t count, std::uint64_t offset,
                                          const std::uint8_t* marks) const {
  const auto marked = [&](std::size_t i) { return marks != nullptr && marks[i] != 0; };
  char* const start = out;
  if (options_.show_offset) out = writeOffset(out, offset);
  if (!options_.raw) out = put(out, options_.color ? kOpenColored : kOpenPlain);
  for (std::size_t cell = 0; cell < 16; ++cell) {
    if (cell < lead || cell >= lead + count) {
      out = putSpaces(out, 2);
    } else {
      const std::size_t i = cell - lead;
      if (options_.color) out = putEscape(out, escapes_[slots[i]]);
      if (options_.color && marked(i)) out = put(out, kReverse);
      std::memcpy(out, digits_ + 2 * bytes[i], 2);
      out += 2;
      if (options_.color) out = put(out, kReset);
    }
    if (cell & 1) *out++ = ' ';
  }
  if (!options_.raw) out = put(out, options_.color ? kCloseColored : kClosePlain);
  if (options_.show_ascii) {
    *out++ = ' ';
    out = putSpaces(out, lead);
    for (std::size_t i = 0; i < count; ++i) {
      if (!options_.color) {
        *out++ = kAsciiChars[bytes[i]];
        continue;
      }
      if (isPrintable(bytes[i])) {
        out = putEscape(out, escapes_[slots[i]]);
        if (marked(i)) out = put(out, kReverse);
        *out++ = static_cast<char>(bytes[i]);
      } else {
        out = put(out, kDim);
        if (marked(i)) out = put(out, kReverse);
        *out++ = '.';
      }
      out = put(out, kReset);
    }
    out = putSpaces(out, 16 - lead - count);
    out = put(out, options_.color ? kAsciiEndColored : kAsciiEndPlain);
  }
  *out++ = '\n';
  return static_cast<std::size_t>(out - start);
}

std::size_t LineFormatter::formatMarks(char* out, const std::uint8_t* marks, std::size_t lead,
                                       std::size_t count, std::uint64_t offset) const {
  const auto marked = [&](std::size_t cell) {
    return cell >= lead && cell < lead + count && marks[cell - lead] != 0;
  };
  char* const start = out;
  // The offset column's width, in spaces.
  if (options_.show_offset)
    out = putSpaces(out, static_cast<std::size_t>(writeOffset(out, offset) - out));
  if (!options_.raw) out = putSpaces(out, kOpenPlain.size());
  for (std::size_t cell = 0; cell < 16; ++cell) {
    out = marked(cell) ? put(out, "^^") : putSpaces(out, 2);
    if (cell & 1) *out++ = ' ';
  }
  if (!options_.raw) out = putSpaces(out, kClosePlain.size());
  if (options_.show_ascii) {
    *out++ = ' ';
    for (std::size_t cell = 0; cell < 16; ++cell) *out++ = marked(cell) ? '^' : ' ';
  }
  while (out > start && out[-1] == ' ') --out;
  *out++ = '\n';
  return static_cast<std::size_t>(out - start);
}

Status writeLeadLine(OutputBuffer& out, const LineFormatter& formatter, const std::uint8_t* bytes,
                     const std::uint8_t* slots, std::size_t lead, std::size_t count,
                     std::uint64_t offset) {
  if (Status room = out.reserve(kMaxLineSize); !room) return room;
  out.commit(formatter.formatWithLead(out.cursor(), bytes, slots, lead, count, offset));
  return {};
}

}  // namespace lumo
