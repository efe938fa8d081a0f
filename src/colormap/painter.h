#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include "colormap/alternating_slot.h"
#include "colormap/colormap.h"
#include "colormap/label.h"

namespace lumo {

/// What a clipped painter puts before what it paints: the text before each
/// label ("slice 1 (arm64): ") and before each other name of a selectable
/// structure ("slice 1:").
struct LabelPrefix {
  LabelText label;
  LabelText name;
};

/// Every paint of a parser goes through here. Each structure is painted
/// once; its label is built by a callable, `void(Label&)`, that is only
/// called when the colormap keeps what it describes, so a run without names
/// reads no name and builds no text:
///   - paint(): the label is built only for the legend (keepsLabels());
///   - paintSelectable(): also for `--section` (keepsNames()): the label may
///     have a `select` name;
///   - mark(): a selectable structure that is not painted.
/// A painter made by within() paints offsets from its parent's start, clips
/// everything to its parent and puts its prefix before its labels: a nested
/// structure (a universal file's slice) cannot paint outside it.
class Painter {
 public:
  explicit Painter(Colormap& colormap) : colormap_(&colormap) {}

  /// A clipped painter for [start, start + size) of this one's range, whose
  /// prefix `describe(LabelPrefix&)` gives (called only when names are kept).
  template <typename Describe>
  Painter within(std::uint64_t start, std::uint64_t size, Describe&& describe) const {
    Painter inner(*colormap_);
    const std::uint64_t from = std::min(start, limit_);
    inner.base_ = base_ + from;
    inner.limit_ = std::min(size, limit_ - from);
    inner.clipped_ = true;
    if (colormap_->keepsNames()) {
      inner.prefix_.label << prefix_.label.view();
      inner.prefix_.name << prefix_.name.view();
      describe(inner.prefix_);
    }
    return inner;
  }

  /// Records that the walk stopped early at `start` (in this painter's
  /// range), the reason after the prefix; only when labels are kept.
  void stop(std::uint64_t start, const LabelText& reason) const {
    if (!colormap_->keepsLabels()) return;
    LabelText text;
    colormap_->addStop(base_ + std::min(start, limit_),
                       text << prefix_.label.view() << reason.view());
  }

  /// Paints every offset (the background, before anything else).
  void fill(PaletteSlot slot) const { colormap_->fill(slot); }

  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot) const {
    if (!outside(start)) colormap_->paint(base_ + start, inside(start, length), slot, nullptr);
  }

  template <typename Describe>
  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
             Describe&& describe) const {
    if (outside(start)) return;
    if (!colormap_->keepsLabels()) return paint(start, length, slot);
    Label label;
    describe(label);
    label.select = {};
    label.prefix = prefix_.label.view();
    colormap_->paint(base_ + start, inside(start, length), slot, &label);
  }

  /// A structure that `--section` may select by the label's `select` name;
  /// listed without bytes when nothing of it is painted.
  template <typename Describe>
  void paintSelectable(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
                       Describe&& describe) const {
    if (!colormap_->keepsNames()) return paint(start, length, slot);
    Label label;
    describe(label);
    label.prefix = prefix_.label.view();
    const std::uint64_t from = clipped_ ? std::min(start, limit_) : start;
    colormap_->paint(base_ + from, inside(start, length), slot, &label);
  }

  /// A selectable structure that is not painted: [start, start + size),
  /// which has bytes in the file only if `has_bytes` (SHT_NOBITS has none).
  template <typename Describe>
  void mark(std::uint64_t start, std::uint64_t size, bool has_bytes, Describe&& describe) const {
    if (!colormap_->keepsNames()) return;
    Label label;
    describe(label);
    label.prefix = prefix_.label.view();
    const std::uint64_t from = clipped_ ? std::min(start, limit_) : start;
    const std::uint64_t kept = inside(start, size);
    colormap_->mark(base_ + from, kept, has_bytes && kept > 0, label);
  }

  /// Entry `index` of a table (see Colormap::paintEntry); without labels,
  /// consecutive entries share one paint.
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base,
                  std::uint64_t index) const {
    if (!outside(start)) {
      colormap_->paintEntry(base_ + start, inside(start, length), base, index, nullptr);
    }
  }

  template <typename Describe>
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base, std::uint64_t index,
                  Describe&& describe) const {
    paintEntry(start, length, base, index, std::forward<Describe>(describe), EntryHead{},
               [](Label&) {});
  }

  /// An entry whose first `head.size` bytes are painted apart, each part
  /// with its own label.
  template <typename Describe, typename DescribeHead>
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base, std::uint64_t index,
                  Describe&& describe, EntryHead head, DescribeHead&& describe_head) const {
    if (outside(start)) return;
    if (!colormap_->keepsLabels()) {
      colormap_->paintEntry(base_ + start, inside(start, length), base, index, nullptr, head);
      return;
    }
    Label label;
    describe(label);
    label.select = {};
    label.prefix = prefix_.label.view();
    Label head_label;
    if (head.size > 0) {
      describe_head(head_label);
      head_label.select = {};
      head_label.prefix = prefix_.label.view();
    }
    colormap_->paintEntry(base_ + start, inside(start, length), base, index, &label, head,
                          head.size > 0 ? &head_label : nullptr);
  }

  /// Entry `index` of a table whose entries are a fixed head of `head` bytes
  /// in `base`, a name of `name_length` bytes in `name_slot`, and `rest`
  /// more bytes in `base` (ZIP's headers: fields, name, extra field). With
  /// no rest and no labels, the head and name are one entry (the head
  /// painted apart), so that consecutive entries share one paint.
  template <typename Describe, typename DescribeName>
  void paintNamedEntry(std::uint64_t start, std::uint8_t head, std::uint64_t name_length,
                       std::uint64_t rest, PaletteSlot base, PaletteSlot name_slot,
                       std::uint64_t index, Describe&& describe,
                       DescribeName&& describe_name) const {
    if (!colormap_->keepsLabels() && rest == 0 && name_length > 0) {
      if (outside(start)) return;
      colormap_->paintEntry(base_ + start, inside(start, head + name_length), name_slot, index,
                            nullptr, EntryHead{.size = head, .base = base});
      return;
    }
    paintEntry(start, head + name_length + rest, base, index, std::forward<Describe>(describe));
    paint(start + head, name_length, alternatingSlot(name_slot, index),
          std::forward<DescribeName>(describe_name));
  }

  /// How many names of selectable structures the colormap holds so far, and
  /// the one numbered `k`.
  std::size_t sectionCount() const { return colormap_->sections().size(); }
  std::string_view sectionName(std::size_t k) const {
    return colormap_->label(colormap_->sections()[k].name);
  }
  /// Lets the structure of name `k` also answer to `name`.
  void alsoName(std::size_t k, std::string_view name) const { colormap_->alsoNamed(k, name); }
  /// Gives every name since the `first` another after this painter's name
  /// prefix ("slice 1:__TEXT,__text").
  void prefixNamesSince(std::size_t first) const;

 private:
  // Whether nothing at `start` or after it can be painted.
  bool outside(std::uint64_t start) const { return clipped_ && start >= limit_; }
  // How much of [start, start + length) lies inside the range. Unclipped, a
  // length is kept as it is, past 2^64 too.
  std::uint64_t inside(std::uint64_t start, std::uint64_t length) const {
    if (!clipped_) return length;
    return start < limit_ ? std::min(length, limit_ - start) : 0;
  }

  Colormap* colormap_;
  std::uint64_t base_ = 0;
  std::uint64_t limit_ = std::numeric_limits<std::uint64_t>::max();
  bool clipped_ = false;
  LabelPrefix prefix_;
};

/// A label that is its kind alone ("ELF header"), for painter calls.
inline auto titled(std::string_view kind) {
  return [kind](Label& label) { label.kind = kind; };
}

}  // namespace lumo
