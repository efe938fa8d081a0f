#include "render/dump.h"

#include <charconv>
#include <cstring>

#include "render/dump_line.h"

namespace lumo {
namespace {

constexpr std::size_t kLineBytes = 16;

// Walks the input line by line. Lines are compared in place: the held line
// is only remembered by its offset, since the whole input stays in memory.
class DumpWalk {
 public:
  DumpWalk(std::span<const std::uint8_t> input, const Colormap& colormap,
           const LineFormatter& formatter, OutputBuffer& out)
      : input_(input), slots_(colormap.data()), formatter_(formatter), out_(out) {}

  Status run() {
    const std::uint64_t size = input_.size();
    const bool skipping = formatter_.options().skip_lines;
    while (offset_ < size) {
      const std::size_t length =
          static_cast<std::size_t>(size - offset_ < kLineBytes ? size - offset_ : kLineBytes);
      if (skipping) {
        if (held_ && length == heldLength_ &&
            std::memcmp(at(heldOffset_), at(offset_), length) == 0) {
          ++repeats_;
          offset_ += length;
          continue;
        }
        if (Status closed = closeRun(); !closed) return closed;
        held_ = true;
        heldOffset_ = offset_;
        heldLength_ = length;
      }
      if (Status written = line(offset_, length); !written) return written;
      offset_ += length;
    }
    return closeRun();
  }

 private:
  const std::uint8_t* at(std::uint64_t offset) const {
    return input_.data() + static_cast<std::size_t>(offset);
  }

  Status line(std::uint64_t offset, std::size_t length) {
    return writeDumpLine(out_, formatter_, at(offset), slots_ + offset, length, offset);
  }

  // Ends a run of repeats of the held line: the skip message when lines were
  // hidden, then the run's last line with its own offset and colors.
  Status closeRun() {
    if (repeats_ == 0) return {};
    if (repeats_ >= 2) {
      if (Status skipped = writeSkippedLines(repeats_ - 1, out_); !skipped) return skipped;
    }
    repeats_ = 0;
    return line(offset_ - heldLength_, heldLength_);
  }

  std::span<const std::uint8_t> input_;
  const std::uint8_t* slots_;
  const LineFormatter& formatter_;
  OutputBuffer& out_;
  std::uint64_t offset_ = 0;
  bool held_ = false;
  std::uint64_t heldOffset_ = 0;
  std::size_t heldLength_ = 0;
  std::uint64_t repeats_ = 0;
};

}  // namespace

Status writeSkippedLines(std::uint64_t count, OutputBuffer& out) {
  char text[64] = "... ";
  char* end = std::to_chars(text + 4, text + 32, count).ptr;
  constexpr std::string_view kTail = " lines skipped ...\n";
  std::memcpy(end, kTail.data(), kTail.size());
  end += kTail.size();
  return out.append(std::string_view(text, static_cast<std::size_t>(end - text)));
}

Status writeDump(std::span<const std::uint8_t> input, const Colormap& colormap,
                 const Options& options, OutputBuffer& out) {
  const LineFormatter formatter(effectiveOptions(options), options.palette);
  return DumpWalk(input, colormap, formatter, out).run();
}

}  // namespace lumo
