#include "parsers/colormap.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>

namespace lumo {
namespace {

constexpr std::uint64_t kEnd = std::numeric_limits<std::uint64_t>::max();

// Collects the pieces of one paint that no later paint covers. `covered`
// holds disjoint, merged intervals (start -> end) of what later paints took.
class CoverSet {
 public:
  template <typename Emit>
  void addUncovered(std::uint64_t start, std::uint64_t end, Emit emit) {
    auto it = covered_.upper_bound(start);
    if (it != covered_.begin() && std::prev(it)->second >= start) --it;
    std::uint64_t mergedStart = start;
    std::uint64_t mergedEnd = end;
    std::uint64_t cursor = start;
    while (it != covered_.end() && it->first <= end) {
      if (it->first > cursor) emit(cursor, it->first);
      cursor = std::max(cursor, it->second);
      mergedStart = std::min(mergedStart, it->first);
      mergedEnd = std::max(mergedEnd, it->second);
      it = covered_.erase(it);
    }
    if (cursor < end) emit(cursor, end);
    covered_.emplace(mergedStart, mergedEnd);
  }

 private:
  std::map<std::uint64_t, std::uint64_t> covered_;
};

}  // namespace

void Colormap::paintRegion(std::uint64_t start, std::uint64_t length, PaletteSlot slot) {
  if (length == 0) return;
  const std::uint64_t end = length > kEnd - start ? kEnd : start + length;
  paints_.push_back(SlotRun{start, end, slot});
}

void Colormap::fill(PaletteSlot slot) {
  // Everything painted before is hidden for good.
  paints_.clear();
  paints_.push_back(SlotRun{0, kEnd, slot});
}

void Colormap::useByteClasses() {
  byteClasses_ = true;
  paints_.clear();
}

void Colormap::resolve() {
  runs_.clear();
  if (!byteClasses_) {
    // Latest paint first: each paint keeps only what no later one covers.
    CoverSet cover;
    std::for_each(paints_.rbegin(), paints_.rend(), [&](const SlotRun& paint) {
      cover.addUncovered(paint.start, paint.end, [&](std::uint64_t start, std::uint64_t end) {
        runs_.push_back(SlotRun{start, end, paint.slot});
      });
    });
    std::sort(runs_.begin(), runs_.end(),
              [](const SlotRun& a, const SlotRun& b) { return a.start < b.start; });
    // Merge neighbours of one slot so the dump meets fewer boundaries.
    std::vector<SlotRun> merged;
    for (const SlotRun& run : runs_) {
      if (!merged.empty() && merged.back().end == run.start && merged.back().slot == run.slot) {
        merged.back().end = run.end;
      } else {
        merged.push_back(run);
      }
    }
    runs_ = std::move(merged);
  }
  paints_.clear();
  paints_.shrink_to_fit();
}

PaletteSlot Colormap::slotAt(std::uint64_t offset, std::uint8_t byte) const {
  if (byteClasses_) return byteClassSlot(byte);
  auto run =
      std::upper_bound(runs_.begin(), runs_.end(), offset,
                       [](std::uint64_t value, const SlotRun& r) { return value < r.start; });
  if (run == runs_.begin()) return kNormalAlt;
  --run;
  return offset < run->end ? run->slot : kNormalAlt;
}

std::optional<PaletteSlot> Colormap::Reader::lineSlots(std::uint64_t offset,
                                                       const std::uint8_t* bytes, std::size_t count,
                                                       std::uint8_t* out) {
  if (count == 0) return std::nullopt;
  if (colormap_.byteClasses_) {
    std::size_t printable = 0;
    if (count == 16) {
      // A whole line in a local array, which the compiler vectorizes.
      std::array<std::uint8_t, 16> classes{};
      for (std::size_t i = 0; i < 16; ++i) classes[i] = byteClassSlot(bytes[i]);
      for (std::uint8_t slot : classes) printable += slot == kNormal;
      std::memcpy(out, classes.data(), classes.size());
    } else {
      for (std::size_t i = 0; i < count; ++i) {
        out[i] = byteClassSlot(bytes[i]);
        printable += out[i] == kNormal;
      }
    }
    if (printable == count) return kNormal;
    if (printable == 0) return kNormalAlt;
    return std::nullopt;
  }
  const std::vector<SlotRun>& runs = colormap_.runs_;
  if (run_ >= runs.size() || runs[run_].start > offset) run_ = 0;
  while (run_ < runs.size() && runs[run_].end <= offset) ++run_;
  const std::uint64_t last = offset + (count - 1);
  std::optional<PaletteSlot> shared;
  if (run_ == runs.size() || runs[run_].start > last) {
    shared = kNormalAlt;  // a gap between runs
  } else if (runs[run_].start <= offset && last < runs[run_].end) {
    shared = runs[run_].slot;
  }
  if (!shared) {
    slots(offset, bytes, count, out);
    return std::nullopt;
  }
  for (std::size_t i = 0; i < count; ++i) out[i] = *shared;
  return shared;
}

void Colormap::Reader::slots(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count,
                             std::uint8_t* out) {
  if (colormap_.byteClasses_) {
    for (std::size_t i = 0; i < count; ++i) out[i] = byteClassSlot(bytes[i]);
    return;
  }
  const std::vector<SlotRun>& runs = colormap_.runs_;
  // Lines come in increasing offsets; anything else starts the search over.
  if (run_ >= runs.size() || runs[run_].start > offset) run_ = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t at = offset + i;
    while (run_ < runs.size() && runs[run_].end <= at) ++run_;
    out[i] = run_ < runs.size() && runs[run_].start <= at ? runs[run_].slot : kNormalAlt;
  }
}

}  // namespace lumo
