#include "render/dump.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "core/checked_add.h"
#include "render/dump_line.h"
#include "render/structure_map.h"

namespace lumo {
namespace {

constexpr std::size_t kLineBytes = 16;

// A full line compares as two words instead of through a call to memcmp.
bool sameBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  if (length == kLineBytes) return std::memcmp(a, b, kLineBytes) == 0;
  return std::memcmp(a, b, length) == 0;
}

}  // namespace

DumpWriter::DumpWriter(const Colormap& colormap, const LineFormatter& formatter, OutputBuffer& out,
                       std::uint64_t start)
    : formatter_(formatter), out_(out), offset_(start), start_(start) {
  reader_.emplace(colormap);
}

void DumpWriter::useColormap(const Colormap& colormap) { reader_.emplace(colormap); }

void DumpWriter::annotate(DumpHeadings& headings) {
  headings_ = &headings;
  nextHeading_ = headings.next();
}

std::uint64_t DumpWriter::end() const { return offset_ + pendingLength_; }

Status DumpWriter::consume(const std::uint8_t* bytes, std::size_t count) {
  if (pendingLength_ > 0) {
    // The rest of the line that waits, up to its boundary.
    const std::size_t line = kLineBytes - static_cast<std::size_t>(offset_ % kLineBytes);
    const std::size_t taken = std::min(line - pendingLength_, count);
    if (taken > 0) std::memcpy(pending_.data() + pendingLength_, bytes, taken);
    pendingLength_ += taken;
    bytes += taken;
    count -= taken;
    if (pendingLength_ < line) return {};
    pendingLength_ = 0;
    if (Status shown = takeLines(pending_.data(), line); !shown) return shown;
  }
  const std::size_t whole = wholeLines(count);
  if (Status shown = takeLines(bytes, whole); !shown) return shown;
  pendingLength_ = count - whole;
  if (pendingLength_ > 0) std::memcpy(pending_.data(), bytes + whole, pendingLength_);
  return {};
}

Status DumpWriter::finish() {
  const std::size_t length = pendingLength_;
  pendingLength_ = 0;
  if (Status shown = takeLines(pending_.data(), length); !shown) return shown;
  return closeRun();
}

Status DumpWriter::abandon() {
  pendingLength_ = 0;
  return closeRun();
}

// A chunk holds at least one line, so a read always has room.
DumpResult DumpWriter::run(InputStream& input, DumpWindow window, std::size_t chunkBytes) {
  DumpResult result;
  offset_ = window.start;
  start_ = window.start;
  std::uint64_t left = window.length;
  const std::size_t capacity = std::max(chunkBytes, kLineBytes);
  std::unique_ptr<std::uint8_t[]> chunk(new (std::nothrow) std::uint8_t[capacity]);
  if (!chunk) {
    result.written = Failure::OutOfMemory;
    return result;
  }
  std::size_t have = 0;
  bool atEnd = false;
  while (!atEnd || have > 0) {
    if (!atEnd) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(capacity - have, left));
      Result<std::size_t> got =
          want == 0 ? Result<std::size_t>(std::size_t{0}) : input.read(chunk.get() + have, want);
      if (!got) {
        // The whole lines read before the failure are shown first.
        if (Status shown = takeLines(chunk.get(), wholeLines(have)); !shown) {
          return fail(result, shown, {});
        }
        return fail(result, {}, got.status());
      }
      atEnd = *got == 0;
      have += *got;
      left -= *got;
      if (!atEnd && have < capacity && !input.mayWait()) continue;
    }
    // Whole lines only, until the input ends and the short line follows.
    const std::size_t usable = atEnd ? have : wholeLines(have);
    if (Status shown = takeLines(chunk.get(), usable); !shown) return fail(result, shown, {});
    std::memmove(chunk.get(), chunk.get() + usable, have - usable);
    have -= usable;
    // The lines of every chunk go out before the next read, however few:
    // a reader sees the first line at once, and whoever feeds a pipe sees
    // the lines of what it fed so far.
    if (Status flushed = out_.flush(); !flushed) return fail(result, flushed, {});
  }
  result.written = closeRun();
  result.size = offset_ - start_;
  return result;
}

// How many of `have` bytes from offset_ end on a line boundary of the input.
std::size_t DumpWriter::wholeLines(std::size_t have) const {
  const std::uint64_t end = (offset_ + have) & ~std::uint64_t{kLineBytes - 1};
  return end > offset_ ? static_cast<std::size_t>(end - offset_) : 0;
}

// A failed read still shows everything before it; a failed write ends at once.
DumpResult DumpWriter::fail(DumpResult result, Status written, Status read) {
  result.size = offset_ - start_;
  result.read = read;
  result.written = written;
  if (written.ok()) {
    result.written = closeRun();
    if (result.written.ok()) result.written = out_.flush();
  }
  return result;
}

// The lines of `count` bytes; only the first (of a window that starts
// inside a line) and the last may be short.
Status DumpWriter::takeLines(const std::uint8_t* bytes, std::size_t count) {
  std::size_t at = 0;
  if (count > 0 && offset_ % kLineBytes != 0) {
    at = std::min(kLineBytes - offset_ % kLineBytes, count);
    if (Status shown = leadLine(bytes, at); !shown) return shown;
  }
  for (; at < count; at += kLineBytes) {
    if (Status shown = takeLine(bytes + at, std::min(kLineBytes, count - at)); !shown) {
      return shown;
    }
  }
  return {};
}

Status DumpWriter::takeLine(const std::uint8_t* bytes, std::size_t length) {
  if (nextHeading_ < offset_ + length) {
    if (Status headed = headingsBefore(offset_ + length); !headed) return headed;
  }
  if (formatter_.options().skip_lines) {
    if (held_ && length == heldLength_ && sameBytes(heldBytes_.data(), bytes, length)) {
      ++repeats_;
      offset_ += length;
      return {};
    }
    if (Status closed = closeRun(); !closed) return closed;
    held_ = true;
    heldLength_ = length;
    if (length == kLineBytes) {
      std::memcpy(heldBytes_.data(), bytes, kLineBytes);
    } else {
      std::memcpy(heldBytes_.data(), bytes, length);
    }
  }
  Status shown = line(bytes, length, offset_);
  offset_ += length;
  return shown;
}

// Starts no run of repeats: it is never shown the way a whole line is.
Status DumpWriter::leadLine(const std::uint8_t* bytes, std::size_t length) {
  if (nextHeading_ < offset_ + length) {
    if (Status headed = headingsBefore(offset_ + length); !headed) return headed;
  }
  std::array<std::uint8_t, kLineBytes> slots{};
  if (formatter_.options().color) reader_->slots(offset_, bytes, length, slots.data());
  const std::size_t lead = offset_ % kLineBytes;
  Status shown = writeLeadLine(out_, formatter_, bytes, slots.data(), lead, length, offset_ - lead);
  offset_ += length;
  return shown;
}

Status DumpWriter::line(const std::uint8_t* bytes, std::size_t length, std::uint64_t offset) {
  std::array<std::uint8_t, kLineBytes> slots{};
  if (formatter_.options().color) {
    // Inside a section a whole line has one slot: its template serves.
    std::optional<PaletteSlot> shared = reader_->lineSlots(offset, bytes, length, slots.data());
    if (shared && length == kLineBytes) {
      return writeUniformLine(out_, formatter_, bytes, *shared, offset);
    }
  }
  return writeDumpLine(out_, formatter_, bytes, slots.data(), length, offset);
}

// Ends a run of repeats of the held line: the skip message when lines were
// hidden, then the run's last line with its own offset and colors.
Status DumpWriter::closeRun() {
  if (repeats_ == 0) return {};
  if (repeats_ >= 2) {
    if (Status skipped = writeSkippedLines(repeats_ - 1, out_); !skipped) return skipped;
  }
  repeats_ = 0;
  return line(heldBytes_.data(), heldLength_, offset_ - heldLength_);
}

// The headings of the line that ends at `end`. They end a run of repeats,
// and the line after them is shown even when it repeats the one before.
Status DumpWriter::headingsBefore(std::uint64_t end) {
  if (Status closed = closeRun(); !closed) return closed;
  held_ = false;
  Status written = headings_->writeBefore(end, out_);
  nextHeading_ = headings_->next();
  return written;
}

Status writeSkippedLines(std::uint64_t count, OutputBuffer& out) {
  char text[64] = "... ";
  char* end = std::to_chars(text + 4, text + 32, count).ptr;
  constexpr std::string_view kTail = " lines skipped ...\n";
  std::memcpy(end, kTail.data(), kTail.size());
  end += kTail.size();
  return out.append(std::string_view(text, static_cast<std::size_t>(end - text)));
}

DumpFailure reportedFailure(const DumpResult& result) {
  if (!result.written) return DumpFailure::Write;
  if (!result.read) return DumpFailure::Read;
  return DumpFailure::None;
}

DumpResult writeDump(InputStream& input, const Colormap& colormap, const Options& options,
                     OutputBuffer& out, DumpWindow window, std::size_t chunkBytes) {
  const LineFormatter formatter(effectiveOptions(options), options.palette);
  DumpWriter writer(colormap, formatter, out, window.start);
  if (!formatter.options().annotate) return writer.run(input, window, chunkBytes);
  const StructureMap map = structureMap(colormap);
  DumpHeadings headings(map, window.start, saturatingAdd(window.start, window.length),
                        options.palette, formatter.options().color);
  writer.annotate(headings);
  return writer.run(input, window, chunkBytes);
}

DumpResult writeDump(std::span<const std::uint8_t> input, const Colormap& colormap,
                     const Options& options, OutputBuffer& out) {
  MemoryStream stream(input);
  return writeDump(stream, colormap, options, out);
}

}  // namespace lumo
