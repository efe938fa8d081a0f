#include "app/forward_dump.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace lumo {
namespace {

constexpr std::uint64_t kLineBytes = 16;

// Where the paints still needed begin: the dump may show again the last
// whole line before `shown` (a run of repeats ends with it) and shows the
// line that `shown` lies in.
std::uint64_t neededFrom(std::uint64_t shown) {
  const std::uint64_t line = shown & ~(kLineBytes - 1);
  return line >= kLineBytes ? line - kLineBytes : 0;
}

// A colormap for the next stretch, holding the paints of `previous` that
// reach into what the dump may still look up; older ones are dropped, so
// the paints in memory stay few however many structures the input has.
std::unique_ptr<Colormap> carriedColormap(const Colormap& previous, std::uint64_t shown) {
  auto next = std::make_unique<Colormap>();
  const std::uint64_t from = neededFrom(shown);
  for (const Paint& paint : previous.paints()) {
    if (paint.end > from) next->carry(paint);
  }
  return next;
}

class ForwardDump {
 public:
  ForwardDump(InputStream& input, ForwardWalk& walk, const LineFormatter& formatter,
              OutputBuffer& out, DumpWindow window, std::size_t capacity)
      : input_(input),
        walk_(walk),
        out_(out),
        window_(window),
        capacity_(std::max<std::size_t>(capacity, 2 * walk.lookahead())),
        colormap_(std::make_unique<Colormap>()),
        writer_(*colormap_, formatter, out, window.start) {}

  ForwardDumpResult run(bool readToEnd) {
    ForwardDumpResult result;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[capacity_]);
    if (!buffer) return failed(Failure::OutOfMemory, {});
    const std::uint64_t windowEnd =
        window_.length > std::numeric_limits<std::uint64_t>::max() - window_.start
            ? std::numeric_limits<std::uint64_t>::max()
            : window_.start + window_.length;
    bool ended = false;
    while (!ended && shown_ < windowEnd) {
      Result<std::size_t> got = input_.read(buffer.get() + have_, capacity_ - have_);
      if (!got) {
        Status closed = writer_.abandon();
        if (closed) closed = out_.flush();
        return failed(closed, got.status());
      }
      ended = *got == 0;
      have_ += *got;
      std::uint64_t done = 0;
      try {
        std::unique_ptr<Colormap> next = carriedColormap(*colormap_, shown_);
        done = walk_.advance(StreamView(buffer.get(), base_, have_, ended), *next);
        next->resolve();
        colormap_ = std::move(next);
      } catch (const std::bad_alloc&) {
        return failed(Failure::OutOfMemory, {});
      }
      writer_.useColormap(*colormap_);
      // Until the end is known, the format's tail may still be painted.
      const std::uint64_t end = base_ + have_;
      if (!ended) done = std::min(done, end - std::min<std::uint64_t>(walk_.tail(), have_));
      done = std::min(done, end);
      if (Status shown = show(buffer.get(), std::min(done, windowEnd)); !shown) {
        return failed(shown, {});
      }
      // The bytes before `done` are behind the walk and the dump.
      const auto dropped = static_cast<std::size_t>(done - base_);
      std::memmove(buffer.get(), buffer.get() + dropped, have_ - dropped);
      have_ -= dropped;
      base_ = done;
      if (Status flushed = out_.flush(); !flushed) return failed(flushed, {});
    }
    Status finished = writer_.finish();
    if (!finished) return failed(finished, {});
    result.dump.size = writer_.end() - window_.start;
    if (ended) {
      result.total = base_ + have_;
    } else if (readToEnd) {
      Result<std::uint64_t> total = drain(buffer.get());
      if (!total) return failed(out_.flush(), total.status());
      result.total = *total;
    }
    return result;
  }

 private:
  // Gives the dump the window's bytes in memory before `done`.
  Status show(const std::uint8_t* buffer, std::uint64_t done) {
    const std::uint64_t from = std::max(shown_, window_.start);
    if (done > shown_) shown_ = done;
    if (done <= from) return {};
    return writer_.consume(buffer + (from - base_), static_cast<std::size_t>(done - from));
  }

  // Reads the rest of the stream, counting it.
  Result<std::uint64_t> drain(std::uint8_t* buffer) {
    std::uint64_t total = base_ + have_;
    while (true) {
      Result<std::size_t> got = input_.read(buffer, capacity_);
      if (!got) return got.failure();
      if (*got == 0) return total;
      total += *got;
    }
  }

  ForwardDumpResult failed(Status written, Status read) {
    ForwardDumpResult result;
    result.dump.size = writer_.end() - window_.start;
    result.dump.written = written;
    result.dump.read = read;
    return result;
  }

  InputStream& input_;
  ForwardWalk& walk_;
  OutputBuffer& out_;
  DumpWindow window_;
  std::size_t capacity_;
  std::unique_ptr<Colormap> colormap_;
  DumpWriter writer_;
  std::uint64_t base_ = 0;   // the offset of the buffer's first byte
  std::size_t have_ = 0;     // the bytes in the buffer
  std::uint64_t shown_ = 0;  // every byte before it went to the dump or before the window
};

}  // namespace

ForwardDumpResult writeForwardDump(InputStream& input, ForwardWalk& walk,
                                   const LineFormatter& formatter, OutputBuffer& out,
                                   DumpWindow window, bool readToEnd, std::size_t bufferBytes) {
  return ForwardDump(input, walk, formatter, out, window, bufferBytes).run(readToEnd);
}

}  // namespace lumo
