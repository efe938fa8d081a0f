#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "colormap/colormap.h"
#include "config/options.h"
#include "render/dump_headings.h"
#include "render/dump_line.h"
#include "render/input_stream.h"
#include "render/output.h"

namespace lumo {

/// The stretch of the input a dump shows: `length` bytes (or fewer, where
/// the input ends) from offset `start`. The input stream handed to writeDump
/// begins at `start`; offsets stay those of the whole input.
struct DumpWindow {
  std::uint64_t start = 0;
  std::uint64_t length = std::numeric_limits<std::uint64_t>::max();
};

/// How a dump ended: how many input bytes it showed, the first failure of
/// writing the output, and the failure of reading the input. A failed write
/// ends the dump at once, so it never has a read failure after it; a failed
/// read still has the lines before it written, and when that write fails
/// too, both are set.
struct DumpResult {
  std::uint64_t size = 0;
  Status written;
  Status read;
};

enum class DumpFailure : std::uint8_t { None, Write, Read };

/// The one failure of a dump that the run reports. A failed write wins over
/// a failed read: the output it broke (a reader gone, a full disk) is what
/// stops the run, and whatever came after the read could not be shown
/// anyway.
DumpFailure reportedFailure(const DumpResult& result);

/// The bytes the dump reads at a time: big enough that a file costs few
/// reads, small enough that memory stays flat whatever the input's size.
inline constexpr std::size_t kDumpChunkBytes = std::size_t{256} << 10;

/// Writes every dump line of the input into `out`, reading it in chunks of
/// `chunkBytes` (at least one line's worth) as it goes and collapsing runs
/// of three or more identical lines into a skip message. When reading fails,
/// the lines before the failure are written out first. Leaves the last lines
/// in the buffer; the caller writes the footer and flushes. Lines stay on
/// 16-byte boundaries of the whole input: a window that starts inside a line
/// shows that line with blank cells before its start. Reading stops at the
/// window's end. With the options' headings (effectiveOptions), the
/// headings of the colormap's structures that begin in the window go
/// before their lines; a heading ends a run of repeats.
DumpResult writeDump(InputStream& input, const Colormap& colormap, const Options& options,
                     OutputBuffer& out, DumpWindow window = {},
                     std::size_t chunkBytes = kDumpChunkBytes);
DumpResult writeDump(std::span<const std::uint8_t> input, const Colormap& colormap,
                     const Options& options, OutputBuffer& out);

/// The dump as a consumer that input bytes are pushed into, for a stream
/// whose colors are found as it is read. It shows the bytes it is given as
/// writeDump would show the same bytes read from a stream: whole lines as
/// soon as they are complete, runs of identical lines collapsed.
class DumpWriter {
 public:
  /// Shows bytes from offset `start` on, colored by `colormap`.
  DumpWriter(const Colormap& colormap, const LineFormatter& formatter, OutputBuffer& out,
             std::uint64_t start);
  DumpWriter(const DumpWriter&) = delete;
  DumpWriter& operator=(const DumpWriter&) = delete;

  /// Shows the next `count` bytes. A line that is not complete yet waits
  /// for its rest (or finish()); its slots are looked up when it is shown.
  Status consume(const std::uint8_t* bytes, std::size_t count);
  /// Looks up the slots of the bytes from now on in `colormap`, which must
  /// paint every byte from the last whole line shown on as the whole input's
  /// colormap would (that line may still be shown again, as the last of a
  /// run of repeats). It must outlive its use.
  void useColormap(const Colormap& colormap);
  /// Writes `headings` before the lines that hold their offsets, from the
  /// next line on. They must outlive their use.
  void annotate(DumpHeadings& headings);
  /// The input ended: shows the short last line and the end of a run of
  /// repeats.
  Status finish();
  /// Reading failed: ends a run of repeats; a line not complete is dropped,
  /// as writeDump drops it.
  Status abandon();
  /// The offset after the last byte given to consume().
  std::uint64_t end() const;

  // The dump of a whole stream, read in chunks; see writeDump.
  DumpResult run(InputStream& input, DumpWindow window, std::size_t chunkBytes);

 private:
  std::size_t wholeLines(std::size_t have) const;
  DumpResult fail(DumpResult result, Status written, Status read);
  Status takeLines(const std::uint8_t* bytes, std::size_t count);
  Status takeLine(const std::uint8_t* bytes, std::size_t length);
  Status leadLine(const std::uint8_t* bytes, std::size_t length);
  Status line(const std::uint8_t* bytes, std::size_t length, std::uint64_t offset);
  Status closeRun();
  Status headingsBefore(std::uint64_t end);

  static constexpr std::size_t kLineBytes = 16;
  std::optional<Colormap::Reader> reader_;
  const LineFormatter& formatter_;
  OutputBuffer& out_;
  std::uint64_t offset_ = 0;
  std::uint64_t start_ = 0;
  bool held_ = false;
  std::array<std::uint8_t, kLineBytes> heldBytes_{};
  std::size_t heldLength_ = 0;
  std::uint64_t repeats_ = 0;
  // The start of a line not yet complete, at offset_.
  std::array<std::uint8_t, kLineBytes> pending_{};
  std::size_t pendingLength_ = 0;
  DumpHeadings* headings_ = nullptr;
  // The offset of the next heading: a line compares its end with it once.
  std::uint64_t nextHeading_ = DumpHeadings::kNone;
};

/// "... {d} lines skipped ...\n", plain in every mode.
Status writeSkippedLines(std::uint64_t count, OutputBuffer& out);

}  // namespace lumo
