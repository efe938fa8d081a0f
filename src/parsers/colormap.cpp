#include "parsers/colormap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <queue>

#include "parsers/alternating_slot.h"

namespace lumo {
namespace {

constexpr std::uint64_t kEnd = std::numeric_limits<std::uint64_t>::max();

std::uint64_t endOf(std::uint64_t start, std::uint64_t length) {
  return length > kEnd - start ? kEnd : start + length;
}

}  // namespace

PaletteSlot paintSlotAt(const Paint& paint, std::uint64_t offset) {
  if (paint.stride == 0) return paint.slot;
  return alternatingSlot(paint.slot, paint.entry + (offset - paint.start) / paint.stride);
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

void Colormap::paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
                     std::string_view label) {
  if (length == 0) return;
  paints_.push_back(Paint{.start = start,
                          .end = endOf(start, length),
                          .label = label.empty() ? kNoLabel : addLabel(label),
                          .slot = slot});
}

void Colormap::paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base,
                          std::uint16_t index, std::string_view label) {
  if (length == 0) return;
  const std::uint64_t end = endOf(start, length);
  const bool whole = end - start == length;
  if (keepNames_ || !whole || length > 0xff) {
    paint(start, length, alternatingSlot(base, index), label);
    return;
  }
  if (!paints_.empty()) {
    Paint& last = paints_.back();
    // The previous paint is the entry just before this one: extend the row.
    if (last.stride == length && last.slot == base && last.end == start &&
        last.entry + (last.end - last.start) / length == index) {
      last.end = end;
      return;
    }
  }
  paints_.push_back(Paint{.start = start,
                          .end = end,
                          .entry = index,
                          .slot = base,
                          .stride = static_cast<std::uint8_t>(length)});
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
  paints_.push_back(Paint{.start = 0, .end = kEnd, .slot = slot});
}

void Colormap::useByteClasses() {
  byteClasses_ = true;
  paints_.clear();
}

void Colormap::resolve() {
  runs_.clear();
  if (byteClasses_ || paints_.empty()) return;
  // Sort once by start; a sweep then keeps the open paints in a heap ordered
  // by paint number, so the latest open paint owns each stretch. Paints that
  // ended are dropped when they reach the top.
  std::vector<std::uint32_t> order(paints_.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return paints_[a].start != paints_[b].start ? paints_[a].start < paints_[b].start : a < b;
  });
  std::priority_queue<std::uint32_t> open;
  std::size_t next = 0;
  std::uint64_t at = paints_[order[0]].start;
  while (next < order.size() || !open.empty()) {
    if (open.empty()) at = std::max(at, paints_[order[next]].start);
    while (next < order.size() && paints_[order[next]].start <= at) open.push(order[next++]);
    while (!open.empty() && paints_[open.top()].end <= at) open.pop();
    if (open.empty()) continue;
    const std::uint32_t owner = open.top();
    std::uint64_t until = paints_[owner].end;
    if (next < order.size()) until = std::min(until, paints_[order[next]].start);
    if (!runs_.empty() && runs_.back().paint == owner && runs_.back().end == at) {
      runs_.back().end = until;
    } else {
      runs_.push_back(PaintRun{at, until, owner});
    }
    at = until;
  }
  runs_.shrink_to_fit();
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

void Colormap::Reader::slots(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count,
                             std::uint8_t* out) {
  if (colormap_.byteClasses_) {
    for (std::size_t i = 0; i < count; ++i) out[i] = byteClassSlot(bytes[i]);
    return;
  }
  const std::vector<PaintRun>& runs = colormap_.runs_;
  // Lines come in increasing offsets; anything else starts the search over.
  if (run_ >= runs.size() || runs[run_].start > offset) run_ = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t at = offset + i;
    while (run_ < runs.size() && runs[run_].end <= at) ++run_;
    out[i] = run_ < runs.size() && runs[run_].start <= at ? colormap_.runSlot(runs[run_], at)
                                                          : kNormalAlt;
  }
}

}  // namespace lumo
