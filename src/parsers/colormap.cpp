#include "parsers/colormap.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <queue>
#include <utility>

#include "parsers/alternating_slot.h"

namespace lumo {
namespace {

constexpr std::uint64_t kEnd = std::numeric_limits<std::uint64_t>::max();

std::uint64_t endOf(std::uint64_t start, std::uint64_t length) {
  return length > kEnd - start ? kEnd : start + length;
}

// The numbers of all paints, in order of start and then of number. A parser
// paints a few tables, each in order, so the paints form a few stretches in
// order: merging those as it goes needs no copy of the list. Only a list of
// many stretches is sorted, through an array of numbers.
class PaintsByStart {
 public:
  explicit PaintsByStart(const PaintList& paints) : paints_(paints) {
    std::vector<std::uint32_t> starts{0};
    for (std::size_t i = 1; i < paints.size() && starts.size() <= kMaxStretches; ++i) {
      if (paints[i].start < paints[i - 1].start) starts.push_back(static_cast<std::uint32_t>(i));
    }
    if (starts.size() > kMaxStretches) {
      order_.resize(paints.size());
      for (std::uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
      std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return paints[a].start < paints[b].start;
      });
      return;
    }
    starts.push_back(static_cast<std::uint32_t>(paints.size()));
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
      heads_.push_back(Head{paints[starts[k]].start, starts[k], starts[k + 1]});
    }
    std::make_heap(heads_.begin(), heads_.end());
  }

  bool done() const { return order_.empty() ? heads_.empty() : next_ == order_.size(); }
  /// The start of the next paint; only when not done().
  std::uint64_t nextStart() const {
    if (!order_.empty()) return next_ < order_.size() ? paints_[order_[next_]].start : kEnd;
    return heads_.empty() ? kEnd : heads_.front().start;
  }
  std::uint32_t take() {
    if (!order_.empty()) return order_[next_++];
    if (heads_.size() == 1) {  // paints in order: no heap to keep
      Head& head = heads_.front();
      const std::uint32_t paint = head.paint++;
      if (head.paint < head.end) {
        head.start = paints_[head.paint].start;
      } else {
        heads_.clear();
      }
      return paint;
    }
    std::pop_heap(heads_.begin(), heads_.end());
    Head& head = heads_.back();
    const std::uint32_t paint = head.paint;
    if (++head.paint < head.end) {
      head.start = paints_[head.paint].start;
      std::push_heap(heads_.begin(), heads_.end());
    } else {
      heads_.pop_back();
    }
    return paint;
  }

 private:
  static constexpr std::size_t kMaxStretches = 64;
  // The next paint of one stretch; the heap's front is the earliest.
  struct Head {
    std::uint64_t start;
    std::uint32_t paint;
    std::uint32_t end;
    bool operator<(const Head& other) const {
      return start != other.start ? start > other.start : paint > other.paint;
    }
  };
  const PaintList& paints_;
  std::vector<Head> heads_;
  std::vector<std::uint32_t> order_;
  std::size_t next_ = 0;
};

}  // namespace

PaletteSlot paintSlotAt(const Paint& paint, std::uint64_t offset) {
  if (paint.stride == 0) return paint.slot;
  const std::uint64_t into = offset - paint.start;
  const PaletteSlot base = into % paint.stride < paint.head ? paint.head_slot : paint.slot;
  return alternatingSlot(base, into / paint.stride);
}

LabelText& LabelText::operator<<(std::string_view text) {
  const std::size_t copied = std::min(text.size(), kCapacity - size_);
  std::memcpy(text_ + size_, text.data(), copied);
  size_ += copied;
  return *this;
}

LabelText& LabelText::operator<<(std::uint64_t number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

std::uint32_t Colormap::addLabel(std::string_view text) {
  if (!keepNames_) return kNoLabel;
  text = text.substr(0, LabelText::kCapacity);
  const auto id = static_cast<std::uint32_t>(labels_.size());
  labels_.push_back(static_cast<char>(text.size()));
  labels_.append(text);
  return id;
}

std::string_view Colormap::label(std::uint32_t id) const {
  if (id == kNoLabel || id >= labels_.size()) return {};
  const auto length = static_cast<std::uint8_t>(labels_[id]);
  return std::string_view(labels_).substr(id + 1, length);
}

void Colormap::push(const Paint& paint) {
  paints_.push_back(paint);
  for (OpenRow& row : rows_) {
    if (row.paint == SIZE_MAX || row.paint == paints_.size() - 1) continue;
    row.after_start = std::min(row.after_start, paint.start);
    row.after_end = std::max(row.after_end, paint.end);
  }
}

void Colormap::paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
                     std::string_view label) {
  if (length == 0) return;
  push(Paint{.start = start,
             .end = endOf(start, length),
             .label = label.empty() ? kNoLabel : addLabel(label),
             .slot = slot});
}

void Colormap::paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base,
                          std::uint16_t index, std::string_view label, EntryHead head) {
  if (length == 0) return;
  const std::uint64_t end = endOf(start, length);
  const bool rowable = !keepNames_ && end - start == length && length <= 0xff && head.size < length;
  if (rowable) {
    for (OpenRow& row : rows_) {
      if (row.paint == SIZE_MAX) continue;
      Paint& last = paints_[row.paint];
      OpenRow& other = &row == &rows_[0] ? rows_[1] : rows_[0];
      // The row ends with the entry just before this one, and nothing
      // painted since touches this entry: extending the row paints the same.
      const bool disjoint = end <= row.after_start || start >= row.after_end;
      const bool sameTable = last.stride == length && last.slot == base && last.head == head.size &&
                             last.head_slot == head.base;
      if (disjoint && sameTable && last.end == start &&
          row.first + (last.end - last.start) / length == index) {
        last.end = end;
        // For the other row, this entry came after its last one.
        other.after_start = std::min(other.after_start, start);
        other.after_end = std::max(other.after_end, end);
        return;
      }
    }
  }
  // A row starts with an even entry, so its k-th entry alternates as k does.
  if (!rowable || index % 2 != 0) {
    if (head.size > 0) {
      paint(start, std::min<std::uint64_t>(head.size, length), alternatingSlot(head.base, index),
            head.label);
    }
    if (length > head.size) {
      paint(start + head.size, length - head.size, alternatingSlot(base, index), label);
    }
    return;
  }
  push(Paint{.start = start,
             .end = end,
             .slot = base,
             .stride = static_cast<std::uint8_t>(length),
             .head = head.size,
             .head_slot = head.base});
  // The new row replaces the older of the two open ones.
  OpenRow& replaced = rows_[0].paint == SIZE_MAX        ? rows_[0]
                      : rows_[1].paint == SIZE_MAX      ? rows_[1]
                      : rows_[0].paint < rows_[1].paint ? rows_[0]
                                                        : rows_[1];
  replaced = OpenRow{.paint = paints_.size() - 1, .first = index};
}

void Colormap::addSection(std::string_view name, std::uint64_t offset, std::uint64_t size,
                          bool has_bytes) {
  if (!keepNames_) return;
  sections_.push_back(
      NamedSection{.offset = offset, .size = size, .name = addLabel(name), .has_bytes = has_bytes});
}

void Colormap::fill(PaletteSlot slot) {
  // Everything painted before is hidden for good.
  paints_.clear();
  rows_[0] = rows_[1] = OpenRow{};
  paints_.push_back(Paint{.start = 0, .end = kEnd, .slot = slot});
}

void Colormap::useByteClasses() {
  byteClasses_ = true;
  paints_.clear();
  rows_[0] = rows_[1] = OpenRow{};
}

void Colormap::resolve() {
  runs_.clear();
  if (byteClasses_ || paints_.empty()) return;
  // The paints come in order of start (then of number); a sweep keeps the
  // open ones in a heap ordered by paint number, so the latest open paint
  // owns each stretch. Parsers that walk a file front to back paint in
  // order already, and the heap then stays small however many paints there
  // are.
  PaintsByStart byStart(paints_);
  // The heap holds each open paint's end beside its number: the sweep then
  // reads every paint once, when it opens.
  struct Open {
    std::uint32_t paint;
    std::uint64_t end;
    bool operator<(const Open& other) const { return paint < other.paint; }
  };
  std::priority_queue<Open> open;
  std::uint64_t nextStart = byStart.nextStart();
  std::uint64_t at = nextStart;
  RunList runs;
  while (!byStart.done() || !open.empty()) {
    // Ended paints go before new ones come: beneath a newer paint they would
    // stay, and a heap of every paint so far makes each push cost more.
    while (!open.empty() && open.top().end <= at) open.pop();
    if (open.empty()) at = std::max(at, nextStart);
    while (!byStart.done() && nextStart <= at) {
      const std::uint32_t paint = byStart.take();
      open.push(Open{paint, paints_[paint].end});
      nextStart = byStart.nextStart();
    }
    while (!open.empty() && open.top().end <= at) open.pop();
    if (open.empty()) continue;
    const Open owner = open.top();
    const std::uint64_t until = std::min(owner.end, nextStart);
    if (!runs.empty() && runs.back().paint == owner.paint && runs.back().end == at) {
      runs.back().end = until;
    } else {
      runs.push_back(PaintRun{at, until, owner.paint});
    }
    at = until;
  }
  runs_ = std::move(runs);
}

PaletteSlot Colormap::slotAt(std::uint64_t offset, std::uint8_t byte) const {
  if (byteClasses_) return byteClassSlot(byte);
  auto run =
      std::upper_bound(runs_.begin(), runs_.end(), offset,
                       [](std::uint64_t value, const PaintRun& r) { return value < r.start; });
  if (run == runs_.begin()) return kNormalAlt;
  --run;
  return offset < run->end ? runSlot(*run, offset) : kNormalAlt;
}

void Colormap::Reader::seek(std::uint64_t offset) {
  const RunList& runs = colormap_.runs_;
  // Lines come in increasing offsets; anything else (the first line of a
  // window far into the input) searches anew.
  if (run_ >= runs.size() || runs[run_].start > offset) {
    const auto found =
        std::upper_bound(runs.begin(), runs.end(), offset,
                         [](std::uint64_t value, const PaintRun& r) { return value < r.start; });
    run_ = found == runs.begin() ? 0 : static_cast<std::size_t>(found - runs.begin() - 1);
  }
  while (run_ < runs.size() && runs[run_].end <= offset) ++run_;
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
  seek(offset);
  const RunList& runs = colormap_.runs_;
  const std::uint64_t last = offset + (count - 1);
  std::optional<PaletteSlot> shared;
  if (run_ == runs.size() || runs[run_].start > last) {
    shared = kNormalAlt;  // a gap between runs
  } else if (const PaintRun& run = runs[run_]; run.start <= offset && last < run.end) {
    if (run.paint == kNoPaint) {
      shared = kNormalAlt;
    } else if (const Paint& paint = colormap_.paints_[run.paint]; paint.stride == 0) {
      shared = paint.slot;
    }
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
  if (count == 0) return;
  seek(offset);
  const RunList& runs = colormap_.runs_;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t at = offset + i;
    while (run_ < runs.size() && runs[run_].end <= at) ++run_;
    out[i] = run_ < runs.size() && runs[run_].start <= at ? colormap_.runSlot(runs[run_], at)
                                                          : kNormalAlt;
  }
}

}  // namespace lumo
