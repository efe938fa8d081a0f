#include "colormap/colormap.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "colormap/alternating_slot.h"
#include "core/checked_add.h"

namespace lumo {
namespace {

constexpr std::uint64_t kEnd = std::numeric_limits<std::uint64_t>::max();

std::uint64_t endOf(std::uint64_t start, std::uint64_t length) {
  return saturatingAdd(start, length);
}

// A label that is its kind alone.
const Label& kindOnly(std::string_view kind, Label& label) {
  label.kind = kind;
  return label;
}

// More stretches of paints in order than this are sorted instead of merged.
constexpr std::size_t kMaxStretches = 64;

}  // namespace

PaletteSlot paintSlotAt(const Paint& paint, std::uint64_t offset) {
  if (paint.stride == 0) return paint.slot;
  const std::uint64_t into = offset - paint.start;
  const PaletteSlot base = into % paint.stride < paint.head ? paint.head_slot : paint.slot;
  return alternatingSlot(base, into / paint.stride);
}

std::uint32_t Colormap::addLabel(const Label* label) {
  if (label == nullptr || !keepsLabels()) return kNoLabel;
  const ComposedLabel composed = composeLabel(*label);
  if (composed.text.size() == 0) return kNoLabel;
  const std::uint32_t id = addText(composed.text.view());
  labels_.push_back(static_cast<char>(composed.kind_start));
  labels_.push_back(static_cast<char>(composed.kind_size));
  char index[8];
  std::memcpy(index, &label->index, sizeof index);
  labels_.append(index, sizeof index);
  return id;
}

std::uint32_t Colormap::addText(std::string_view text) {
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

std::string_view Colormap::labelKind(std::uint32_t id) const {
  const std::string_view text = label(id);
  if (text.empty()) return {};
  const std::size_t fields = id + 1 + text.size();
  const auto start = static_cast<std::uint8_t>(labels_[fields]);
  const auto size = static_cast<std::uint8_t>(labels_[fields + 1]);
  return text.substr(start, size);
}

std::uint64_t Colormap::labelIndex(std::uint32_t id) const {
  const std::string_view text = label(id);
  if (text.empty()) return kNoIndex;
  std::uint64_t index = kNoIndex;
  std::memcpy(&index, labels_.data() + id + 1 + text.size() + 2, sizeof index);
  return index;
}

void Colormap::listSection(const Label* label, std::uint32_t id, std::uint64_t offset,
                           std::uint64_t size, bool has_bytes) {
  if (label == nullptr || label->select.empty() || !keepsNames()) return;
  sections_.push_back(NamedSection{
      .offset = offset, .size = size, .name = addName(label->select, id), .has_bytes = has_bytes});
}

std::uint32_t Colormap::addName(std::string_view name, std::uint32_t label) {
  const std::uint32_t id = addText(name);
  if (keepsLabels()) {
    char bytes[4];
    std::memcpy(bytes, &label, sizeof bytes);
    labels_.append(bytes, sizeof bytes);
  }
  return id;
}

std::uint32_t Colormap::sectionLabel(const NamedSection& section) const {
  if (!keepsLabels()) return kNoLabel;
  const std::string_view name = label(section.name);
  std::uint32_t id = kNoLabel;
  std::memcpy(&id, labels_.data() + section.name + 1 + name.size(), sizeof id);
  return id;
}

void Colormap::alsoNamed(std::size_t section, std::string_view name) {
  NamedSection named = sections_[section];
  named.name = addName(name, sectionLabel(named));
  sections_.push_back(named);
}

void Colormap::mark(std::uint64_t offset, std::uint64_t size, bool has_bytes, const Label& label) {
  if (label.select.empty() || !keepsNames()) return;
  listSection(&label, addLabel(&label), offset, size, has_bytes);
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
                     const Label* label) {
  // An unselectable structure without bytes is no structure at all.
  if (length == 0 && (label == nullptr || label->select.empty())) return;
  const std::uint32_t id = addLabel(label);
  listSection(label, id, start, length, length > 0);
  if (length == 0) return;
  push(Paint{.start = start, .end = endOf(start, length), .label = id, .slot = slot});
}

void Colormap::paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
                     std::string_view label) {
  if (label.empty() || !keepsLabels()) return paint(start, length, slot, nullptr);
  Label text;
  paint(start, length, slot, &kindOnly(label, text));
}

void Colormap::paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base,
                          std::uint64_t index, std::string_view label, EntryHead head) {
  if (!keepsLabels()) return paintEntry(start, length, base, index, nullptr, head, nullptr);
  Label text;
  Label head_text;
  paintEntry(start, length, base, index, label.empty() ? nullptr : &kindOnly(label, text), head,
             head.label.empty() ? nullptr : &kindOnly(head.label, head_text));
}

void Colormap::paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base,
                          std::uint64_t index, const Label* label, EntryHead head,
                          const Label* head_label) {
  if (length == 0) return;
  const std::optional<std::uint64_t> exact_end = checkedAdd(start, length);
  const std::uint64_t end = exact_end.value_or(kEnd);
  // An entry held at the end of the range is no stride of a row.
  const bool rowable = !keepsLabels() && exact_end && length <= 0xff && head.size < length;
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
      if (disjoint && sameTable && last.end == start && row.next == index) {
        last.end = end;
        ++row.next;
        // For the other row, this entry came after its last one.
        other.after_start = std::min(other.after_start, start);
        other.after_end = std::max(other.after_end, end);
        return;
      }
    }
  }
  // A row starts with an even entry, so its k-th entry alternates as k does.
  if (!rowable || index % 2 != 0) {
    // A labelled entry with a head is one structure: one paint of one
    // stride, whose head has its own slot.
    if (label != nullptr && keepsLabels() && head.size > 0 && exact_end && length <= 0xff &&
        head.size < length) {
      push(Paint{.start = start,
                 .end = end,
                 .label = addLabel(label),
                 .slot = alternatingSlot(base, index),
                 .stride = static_cast<std::uint8_t>(length),
                 .head = head.size,
                 .head_slot = alternatingSlot(head.base, index)});
      return;
    }
    if (head.size > 0) {
      paint(start, std::min<std::uint64_t>(head.size, length), alternatingSlot(head.base, index),
            head_label);
    }
    if (length > head.size) {
      paint(saturatingAdd(start, head.size), length - head.size, alternatingSlot(base, index),
            label);
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
  replaced = OpenRow{.paint = paints_.size() - 1, .next = index + 1};
}

void Colormap::addStop(std::uint64_t offset, const LabelText& reason) {
  if (!keepsLabels() || stops_.size() >= kMaxStops) return;
  stops_.push_back(WalkStop{.offset = offset, .reason = addText(reason.view())});
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
  std::vector<std::uint32_t>& stretches = order_.stretches;
  std::vector<std::uint32_t>& byStart = order_.by_start;
  stretches.clear();
  byStart.clear();
  if (byteClasses_ || paints_.empty()) return;
  stretches.push_back(0);
  for (std::size_t i = 1; i < paints_.size() && stretches.size() <= kMaxStretches; ++i) {
    if (paints_[i].start < paints_[i - 1].start) stretches.push_back(static_cast<std::uint32_t>(i));
  }
  if (stretches.size() <= kMaxStretches) {
    stretches.push_back(static_cast<std::uint32_t>(paints_.size()));
    return;
  }
  stretches.clear();
  byStart.resize(paints_.size());
  for (std::uint32_t i = 0; i < byStart.size(); ++i) byStart[i] = i;
  // Numbers are unique, so the order is total and needs no stable sort (and
  // no buffer of its own).
  std::sort(byStart.begin(), byStart.end(), [&](std::uint32_t a, std::uint32_t b) {
    return paints_[a].start != paints_[b].start ? paints_[a].start < paints_[b].start : a < b;
  });
}

PaletteSlot Colormap::slotAt(std::uint64_t offset, std::uint8_t byte) const {
  if (byteClasses_) return byteClassSlot(byte);
  RunSweep sweep = runs();
  for (std::optional<PaintRun> run = sweep.next(); run && run->start <= offset;
       run = sweep.next()) {
    if (offset < run->end) return paintSlotAt(paints_[run->paint], offset);
  }
  return kNormalAlt;
}

void Colormap::Reader::seek(std::uint64_t offset) {
  // Lines come in increasing offsets; anything else sweeps anew.
  if (offset < last_) {
    sweep_ = colormap_.runs();
    run_ = sweep_.next();
  }
  last_ = offset;
  while (run_ && run_->end <= offset) run_ = sweep_.next();
}

PaletteSlot Colormap::Reader::slotIn(std::uint64_t offset) const {
  return run_ && run_->start <= offset ? paintSlotAt(colormap_.paints_[run_->paint], offset)
                                       : kNormalAlt;
}

namespace {

// The class slots of `count` bytes; how many of them are printable.
std::size_t classSlots(const std::uint8_t* bytes, std::size_t count, std::uint8_t* out) {
  std::size_t printable = 0;
  if (count == 16) {
    // A whole line in a local array, which the compiler vectorizes.
    std::array<std::uint8_t, 16> classes{};
    for (std::size_t i = 0; i < 16; ++i) classes[i] = byteClassSlot(bytes[i]);
    for (std::uint8_t slot : classes) printable += slot == kNormal;
    std::memcpy(out, classes.data(), classes.size());
    return printable;
  }
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = byteClassSlot(bytes[i]);
    printable += out[i] == kNormal;
  }
  return printable;
}

}  // namespace

std::optional<PaletteSlot> Colormap::Reader::lineSlots(std::uint64_t offset,
                                                       const std::uint8_t* bytes, std::size_t count,
                                                       std::uint8_t* out) {
  if (count == 0) return std::nullopt;
  if (colormap_.byteClasses_) {
    const std::size_t printable = classSlots(bytes, count, out);
    if (printable == count) return kNormal;
    if (printable == 0) return kNormalAlt;
    return std::nullopt;
  }
  seek(offset);
  const std::uint64_t last = offset + (count - 1);
  std::optional<PaletteSlot> shared;
  if (!run_ || run_->start > last) {
    shared = kNormalAlt;  // a gap between runs
  } else if (run_->start <= offset && last < run_->end) {
    if (const Paint& paint = colormap_.paints_[run_->paint]; paint.stride == 0) {
      shared = paint.slot;
    }
  }
  if (!shared) {
    slots(offset, bytes, count, out);
    return std::nullopt;
  }
  // A whole line in one fixed-size store instead of a call to memset.
  if (count == 16) {
    std::memset(out, *shared, 16);
  } else {
    std::memset(out, *shared, count);
  }
  return shared;
}

void Colormap::Reader::slots(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count,
                             std::uint8_t* out) {
  if (colormap_.byteClasses_) {
    classSlots(bytes, count, out);
    return;
  }
  if (count == 0) return;
  seek(offset);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t at = offset + i;
    while (run_ && run_->end <= at) run_ = sweep_.next();
    out[i] = slotIn(at);
  }
  last_ = offset + (count - 1);
}

}  // namespace lumo
