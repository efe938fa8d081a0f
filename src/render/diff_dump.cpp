#include "render/diff_dump.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>

#include "render/dump_line.h"

namespace lumo {
namespace {

constexpr std::size_t kLineBytes = 16;

// One side's bytes, a chunk at a time: [0, have) of `bytes` are the input
// from `position` (counted from the window's start) on.
struct SideBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t have = 0;
  std::uint64_t left = 0;  // the window's bytes not read yet
  bool atEnd = false;
};

// Counts differing bytes by the named structure that owns them: one sweep
// over the runs, as the offsets only grow.
class Tally {
 public:
  explicit Tally(const Colormap& colormap) : colormap_(colormap), run_(sweep_.next()) {}

  void add(std::uint64_t offset) {
    while (run_ && run_->end <= offset) run_ = sweep_.next();
    std::uint32_t label = kNoLabel;
    if (!colormap_.byteClasses() && run_ && run_->start <= offset) {
      label = colormap_.paints()[run_->paint].label;
    }
    if (last_ == nullptr || last_->label != label) last_ = &find(label);
    ++last_->bytes;
  }

  DiffTally take() { return std::move(tally_); }

 private:
  DiffTally::Entry& find(std::uint32_t label) {
    for (DiffTally::Entry& entry : tally_.entries) {
      if (entry.label == label) return entry;
    }
    tally_.entries.push_back({label, 0});
    return tally_.entries.back();
  }

  const Colormap& colormap_;
  RunSweep sweep_{colormap_};
  std::optional<PaintRun> run_;
  DiffTally tally_;
  DiffTally::Entry* last_ = nullptr;
};

class DiffWalk {
 public:
  DiffWalk(DiffSide first, DiffSide second, const LineFormatter& formatter, OutputBuffer& out,
           bool tally)
      : sides_{first, second},
        readers_{Colormap::Reader(first.colormap), Colormap::Reader(second.colormap)},
        formatter_(formatter),
        out_(out) {
    // Lines follow the files' boundaries only where both windows agree on them.
    const std::uint64_t lead = first.window.start % kLineBytes;
    lead_ = lead == second.window.start % kLineBytes ? static_cast<std::size_t>(lead) : 0;
    if (tally) {
      tallies_[0].emplace(first.colormap);
      tallies_[1].emplace(second.colormap);
    }
  }

  DiffResult run(std::size_t chunkBytes) {
    DiffResult result;
    const std::size_t capacity = std::max(chunkBytes, kLineBytes);
    for (std::size_t s = 0; s < 2; ++s) {
      buffers_[s].bytes.reset(new (std::nothrow) std::uint8_t[capacity]);
      buffers_[s].left = sides_[s].window.length;
      if (!buffers_[s].bytes) {
        result.written = Failure::OutOfMemory;
        return result;
      }
    }
    while (!buffers_[0].atEnd || !buffers_[1].atEnd || buffers_[0].have > 0 ||
           buffers_[1].have > 0) {
      for (std::size_t s = 0; s < 2; ++s) {
        if (Status read = fill(s, capacity); !read) {
          result.read[s] = read;
          return finish(result);
        }
      }
      if (Status shown = takeLines(); !shown) {
        result.written = shown;
        return finish(result);
      }
    }
    return finish(result);
  }

 private:
  // Reads until the buffer is full or the window or input ends.
  Status fill(std::size_t s, std::size_t capacity) {
    SideBuffer& side = buffers_[s];
    while (!side.atEnd && side.have < capacity) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(capacity - side.have, side.left));
      if (want == 0) {
        side.atEnd = true;
        break;
      }
      Result<std::size_t> got = sides_[s].input.read(side.bytes.get() + side.have, want);
      if (!got) return got.status();
      side.atEnd = *got == 0;
      side.have += *got;
      side.left -= *got;
    }
    return {};
  }

  // The length of the line at the position: the first one stops at the
  // files' line boundary.
  std::size_t lineLength() const { return position_ == 0 ? kLineBytes - lead_ : kLineBytes; }

  // Every line both sides can give in full (or up to their end).
  Status takeLines() {
    std::size_t done = 0;
    while (true) {
      const std::size_t length = lineLength();
      std::array<std::size_t, 2> counts{};
      bool ready = true;
      for (std::size_t s = 0; s < 2; ++s) {
        const SideBuffer& side = buffers_[s];
        const std::size_t available = side.have > done ? side.have - done : 0;
        if (available < length && !side.atEnd) ready = false;
        counts[s] = std::min(available, length);
      }
      if (!ready || (counts[0] == 0 && counts[1] == 0)) break;
      const std::uint8_t* a = buffers_[0].bytes.get() + std::min(done, buffers_[0].have);
      const std::uint8_t* b = buffers_[1].bytes.get() + std::min(done, buffers_[1].have);
      if (Status shown = line(a, b, counts); !shown) return shown;
      for (std::size_t s = 0; s < 2; ++s) summary_.sizes[s] += counts[s];
      done += length;
      position_ += length;
    }
    for (SideBuffer& side : buffers_) {
      const std::size_t used = std::min(done, side.have);
      std::memmove(side.bytes.get(), side.bytes.get() + used, side.have - used);
      side.have -= used;
    }
    return out_.flush();
  }

  // The offset in side `s`'s file of the line at the position.
  std::uint64_t lineOffset(std::size_t s) const {
    const std::uint64_t at = sides_[s].window.start + position_;
    return position_ == 0 ? at - lead_ : at;
  }

  Status line(const std::uint8_t* a, const std::uint8_t* b, std::array<std::size_t, 2> counts) {
    if (counts[0] == counts[1] && std::memcmp(a, b, counts[0]) == 0) {
      if (formatter_.options().skip_lines) {
        ++identical_;
        return {};
      }
      return showLine("  ", 0, a, counts[0], nullptr);
    }
    if (Status closed = closeIdentical(); !closed) return closed;
    // A line never holds more than kLineBytes; saying so keeps the marks in bounds for
    // the optimizer too.
    const std::size_t width = std::min(std::max(counts[0], counts[1]), kLineBytes);
    std::array<std::uint8_t, kLineBytes> marks{};
    std::uint64_t differing = 0;
    for (std::size_t i = 0; i < width; ++i) {
      marks[i] = i >= counts[0] || i >= counts[1] || a[i] != b[i];
      differing += marks[i];
    }
    countDifferences(marks, counts);
    if (!summary_.first) {
      const std::size_t i = static_cast<std::size_t>(
          std::find(marks.begin(), marks.end(), std::uint8_t{1}) - marks.begin());
      summary_.first = sides_[0].window.start + position_ + i;
    }
    summary_.differing_bytes += differing;
    ++summary_.differing_lines;
    if (Status shown = showLine("- ", 0, a, counts[0], marks.data()); !shown) return shown;
    if (Status shown = showLine("+ ", 1, b, counts[1], marks.data()); !shown) return shown;
    if (formatter_.options().color) return {};
    if (Status room = out_.reserve(kMaxLineSize); !room) return room;
    std::memcpy(out_.cursor(), "  ", 2);
    out_.commit(2);
    const std::size_t lead = position_ == 0 ? lead_ : 0;
    out_.commit(formatter_.formatMarks(out_.cursor(), marks.data(), lead, width, lineOffset(0)));
    return {};
  }

  void countDifferences(const std::array<std::uint8_t, kLineBytes>& marks,
                        std::array<std::size_t, 2> counts) {
    for (std::size_t s = 0; s < 2; ++s) {
      if (!tallies_[s]) continue;
      const std::uint64_t at = sides_[s].window.start + position_;
      for (std::size_t i = 0; i < counts[s]; ++i) {
        if (marks[i]) tallies_[s]->add(at + i);
      }
    }
  }

  Status showLine(std::string_view margin, std::size_t s, const std::uint8_t* bytes,
                  std::size_t count, const std::uint8_t* marks) {
    std::array<std::uint8_t, kLineBytes> slots{};
    const std::uint64_t at = sides_[s].window.start + position_;
    if (formatter_.options().color && count > 0) readers_[s].slots(at, bytes, count, slots.data());
    if (Status room = out_.reserve(kMaxLineSize + margin.size()); !room) return room;
    std::memcpy(out_.cursor(), margin.data(), margin.size());
    out_.commit(margin.size());
    const std::size_t lead = position_ == 0 ? lead_ : 0;
    out_.commit(formatter_.formatWithLead(out_.cursor(), bytes, slots.data(), lead, count,
                                          lineOffset(s), marks));
    return {};
  }

  Status closeIdentical() {
    if (identical_ == 0) return {};
    char text[80] = "... ";
    char* end = std::to_chars(text + 4, text + 40, identical_).ptr;
    const std::string_view tail =
        identical_ == 1 ? " identical line ...\n" : " identical lines ...\n";
    std::memcpy(end, tail.data(), tail.size());
    end += tail.size();
    identical_ = 0;
    return out_.append(std::string_view(text, static_cast<std::size_t>(end - text)));
  }

  DiffResult finish(DiffResult result) {
    if (result.written) {
      result.written = closeIdentical();
      if (result.written) result.written = out_.flush();
    }
    result.summary = summary_;
    for (std::size_t s = 0; s < 2; ++s) {
      if (tallies_[s]) result.tallies[s] = tallies_[s]->take();
    }
    return result;
  }

  std::array<DiffSide, 2> sides_;
  std::array<Colormap::Reader, 2> readers_;
  const LineFormatter& formatter_;
  OutputBuffer& out_;
  std::array<SideBuffer, 2> buffers_;
  std::array<std::optional<Tally>, 2> tallies_;
  std::size_t lead_ = 0;
  std::uint64_t position_ = 0;  // of the next line, from the windows' starts
  std::uint64_t identical_ = 0;
  DiffSummary summary_;
};

std::string plural(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

}  // namespace

DiffResult writeDiffDump(DiffSide first, DiffSide second, const Options& options, OutputBuffer& out,
                         bool tally, std::size_t chunkBytes) {
  const LineFormatter formatter(effectiveOptions(options), options.palette);
  return DiffWalk(first, second, formatter, out, tally).run(chunkBytes);
}

std::string diffSummaryText(const DiffSummary& summary) {
  if (summary.differing_bytes == 0) {
    return "Files are identical: " + plural(summary.sizes[0], "byte", "bytes") + "\n";
  }
  char first[24];
  const char* end = std::to_chars(first, first + sizeof first, summary.first.value_or(0), 16).ptr;
  return "Files differ: " + plural(summary.differing_bytes, "byte", "bytes") + " in " +
         plural(summary.differing_lines, "line", "lines") + ", first at 0x" +
         std::string(first, static_cast<std::size_t>(end - first)) + "; sizes " +
         std::to_string(summary.sizes[0]) + " and " + std::to_string(summary.sizes[1]) + " bytes\n";
}

}  // namespace lumo
