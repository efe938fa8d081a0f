#pragma once

#include <cstddef>
#include <cstdint>

#include "config/options.h"
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
};

/// Raw mode's rules, in this one place: raw mode turns color, offset, ASCII
/// column, skipping, the size line and the legend off and keeps uppercase;
/// the caller's Options are not changed.
DumpOptions effectiveOptions(const Options& options);

/// Upper bound of one formatted line: every byte with the longest possible
/// style in both columns, and a 64-bit offset (about 1750 bytes), with room
/// for the 16-byte moves that copy escapes.
inline constexpr std::size_t kMaxLineSize = 2048;

/// Formats dump lines. Built once per run: the escapes of the 18 slots and
/// the digit table are looked up per byte, never formatted.
class LineFormatter {
 public:
  LineFormatter(const DumpOptions& options, const Palette& palette);

  /// Writes one line of 1 to 16 bytes (with their slots) into `out`, which
  /// has room for kMaxLineSize bytes; returns the line's length.
  std::size_t format(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                     std::size_t count, std::uint64_t offset) const;

  /// The first line of a window that starts inside a line: `offset` is the
  /// line's 16-aligned start, the first `lead` cells stay blank and the
  /// `count` bytes follow (lead + count <= 16).
  std::size_t formatWithLead(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                             std::size_t lead, std::size_t count, std::uint64_t offset) const;

  const DumpOptions& options() const { return options_; }

 private:
  char* writeOffset(char* out, std::uint64_t offset) const;
  char* writeHexPlain(char* out, const std::uint8_t* bytes, std::size_t count) const;
  char* writeHexColored(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                        std::size_t count) const;
  char* writeAscii(char* out, const std::uint8_t* bytes, const std::uint8_t* slots,
                   std::size_t count) const;

  DumpOptions options_;
  SlotEscapes escapes_;
  const char* digits_;  // 256 two-digit pairs in the chosen case
};

/// Formats one line into the output buffer (no flush).
Status writeDumpLine(OutputBuffer& out, const LineFormatter& formatter, const std::uint8_t* bytes,
                     const std::uint8_t* slots, std::size_t count, std::uint64_t offset);

/// Formats a line with blank leading cells (formatWithLead) into the buffer.
Status writeLeadLine(OutputBuffer& out, const LineFormatter& formatter, const std::uint8_t* bytes,
                     const std::uint8_t* slots, std::size_t lead, std::size_t count,
                     std::uint64_t offset);

}  // namespace lumo
