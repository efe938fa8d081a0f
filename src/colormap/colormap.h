#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colormap/block_list.h"
#include "colormap/label.h"
#include "colormap/run_sweep.h"
#include "core/palette_slot.h"

namespace lumo {

/// No label: the "none" value of the 32-bit label references below.
inline constexpr std::uint32_t kNoLabel = 0xffffffff;

/// What a colormap records beside the paints: nothing, the selectable
/// sections only (`--section` reads no labels, so a large archive need not
/// pay for them), or the sections and every paint's label (the legend).
enum class KeptNames : std::uint8_t { None, Sections, All };

/// One recorded paint: [start, end) of input offsets, painted with `slot`,
/// named by `label` when names are kept. 24 bytes and no heap object of its
/// own, so a table of 65535 entries stays small.
///
/// A paint with a `stride` is a row of table entries of `stride` bytes each,
/// starting with an even-numbered entry: the k-th entry of the row has
/// alternatingSlot(slot, k), and its first `head` bytes (a PE section's
/// name) alternatingSlot(head_slot, k). Rows of several entries only form
/// while labels are not kept; a labelled entry with a head is a row of its
/// own, with its label.
struct Paint {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::uint32_t label = kNoLabel;
  PaletteSlot slot = kNormalAlt;
  std::uint8_t stride = 0;
  std::uint8_t head = 0;
  PaletteSlot head_slot = kNormalAlt;
};

/// The first bytes of a table entry painted apart from the rest: `size`
/// bytes with the alternating slots of `base`, named `label` (or by the
/// structured label given beside it).
struct EntryHead {
  std::uint8_t size = 0;
  PaletteSlot base = kNormalAlt;
  std::string_view label{};
};

/// Paints live in blocks, not one array: a table of 65535 entries never
/// needs a copy of everything while it grows.
using PaintList = BlockList<Paint>;

/// The slot that `paint` gives the byte at `offset` (inside the paint).
PaletteSlot paintSlotAt(const Paint& paint, std::uint64_t offset);

/// A name that `--section` selects a structure by: one for each label with a
/// `select` name, and one more for each other name of it. `has_bytes` is
/// false for structures that occupy nothing in the file (SHT_NOBITS, or size
/// 0). Colormap::sectionLabel() gives the structure's label.
struct NamedSection {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t name = kNoLabel;
  bool has_bytes = false;
};

/// The order in which the run sweep reads the paints, made by resolve():
/// where each stretch of paints in order begins (and, last, their end); or,
/// with too many stretches, all paint numbers by start.
struct PaintOrder {
  std::vector<std::uint32_t> stretches;
  std::vector<std::uint32_t> by_start;
};

/// Where a format's walk stopped before the natural end of its structures,
/// at damage or at a bound on their number: the offset of the structure
/// where it stopped, and why (a label; names from the input in it are raw).
struct WalkStop {
  std::uint64_t offset = 0;
  std::uint32_t reason = kNoLabel;
};

/// The palette slot of every input byte, without one entry per byte, and,
/// when asked for, what each painted stretch is.
///
/// Parsers record paints in order; after resolve(), a RunSweep turns them
/// into runs in which the later paint wins, exactly as painting a byte array
/// would. For plain data the slot follows from each byte's value and nothing
/// is stored at all. Neither form depends on the input's length, so the
/// input can be streamed.
///
/// Parsers paint through a Painter (colormap/painter.h), which builds each
/// label only when names are kept. What is recorded here:
///   - paint(start, length, slot, label) for one structure (a header, a
///     segment's contents);
///   - paintEntry(start, length, base, index, label, head) for entry `index`
///     of a table whose entries alternate between `base` and the same slot
///     of the next group (alternatingSlot); `head` paints the entry's first
///     bytes apart (PE: the section name);
///   - mark(offset, size, has_bytes, label) for a structure that `--section`
///     may select but that is not painted (SHT_NOBITS, size 0);
///   - a label with a `select` name is selectable: sections() lists it by
///     that name (and by the other names alsoNamed() gives it).
/// Labels are structured (colormap/label.h), their text short human names:
/// "ELF header", "program header 2 (LOAD)", "section 14 .text", "PE section
/// .rdata". Names read from the input go in raw; whoever prints them
/// escapes them (escapedName).
///   - addStop(offset, reason) where the walk stops at damage or at a bound
///     on the number of structures (not where it ends normally).
class Colormap {
 public:
  Colormap() = default;
  explicit Colormap(bool keepNames) : kept_(keepNames ? KeptNames::All : KeptNames::None) {}
  explicit Colormap(KeptNames kept) : kept_(kept) {}

  /// Whether sections (and maybe labels) are recorded: only when the legend
  /// or `--section` will read them.
  bool keepsNames() const { return kept_ != KeptNames::None; }
  /// Whether paints keep their labels: only for the legend.
  bool keepsLabels() const { return kept_ == KeptNames::All; }

  /// Records a paint of [start, start + length). The sum never wraps: a
  /// region that reaches past 2^64 simply reaches past the end. Regions past
  /// the end of the input are harmless: those offsets are never looked up.
  /// A label is kept when keepsLabels(); a selectable one is listed in
  /// sections() when keepsNames(), without bytes when `length` is 0.
  /// May throw std::bad_alloc; buildColormap turns that into OutOfMemory.
  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot, const Label* label);
  /// The same with a label that is its kind alone ("ELF header").
  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot,
             std::string_view label = {});

  /// Records entry `index` of a table, painted alternatingSlot(base, index).
  /// Without names, the adjacent entries of one table share one paint, also
  /// when other paints come between them, as long as those lie outside the
  /// entries (so the order of painting still decides nothing).
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base, std::uint64_t index,
                  const Label* label, EntryHead head = {}, const Label* head_label = nullptr);
  /// The same with labels that are their kinds alone.
  void paintEntry(std::uint64_t start, std::uint64_t length, PaletteSlot base, std::uint64_t index,
                  std::string_view label = {}, EntryHead head = {});

  /// Records a selectable structure that no paint stands for: [offset,
  /// offset + size), which occupies bytes of the file only if `has_bytes`
  /// (only when keepsNames() and the label has a `select` name).
  void mark(std::uint64_t offset, std::uint64_t size, bool has_bytes, const Label& label);

  /// Lets sections()[section]'s structure also answer to `name`.
  void alsoNamed(std::size_t section, std::string_view name);

  /// The most stops kept: a universal Mach-O's slices may each stop.
  static constexpr std::size_t kMaxStops = 16;

  /// Records that the walk stopped early at `offset` because of `reason`:
  /// "chunk 7 claims 4294967295 bytes, past the end". Kept only when
  /// keepsLabels() (the list and the legend read them), the first kMaxStops.
  void addStop(std::uint64_t offset, const LabelText& reason);

  /// Paints every offset.
  void fill(PaletteSlot slot);

  /// Records a paint made in another colormap without names, as it is: a
  /// stream's walk carries the paints that reach past what it has shown.
  void carry(const Paint& paint) { push(paint); }

  /// From now on every byte's slot is its class: printable ASCII `normal`,
  /// anything else `normal_alt`. Earlier paints no longer matter.
  void useByteClasses();

  /// Orders the recorded paints by start for the sweeps that make the runs:
  /// nothing when they form a few stretches in order (a parser paints a few
  /// tables, each in order), else one sort of their numbers. Called once,
  /// after the parser.
  void resolve();

  bool byteClasses() const { return byteClasses_; }
  /// The paints in the order they were made.
  const PaintList& paints() const { return paints_; }
  /// The order of the paints for a RunSweep; empty before resolve().
  const PaintOrder& order() const { return order_; }
  /// The runs, front to back (after resolve()).
  RunSweep runs() const { return RunSweep(*this); }
  /// Every name of a selectable structure, in the order recorded.
  const std::vector<NamedSection>& sections() const { return sections_; }
  /// The stops, in the order they were recorded.
  const std::vector<WalkStop>& stops() const { return stops_; }
  /// The text of a label or section name; empty for kNoLabel.
  std::string_view label(std::uint32_t id) const;
  /// The label of the structure that a name of sections() selects; kNoLabel
  /// when labels are not kept.
  std::uint32_t sectionLabel(const NamedSection& section) const;
  /// A label's kind ("program header") and index (kNoIndex: none).
  std::string_view labelKind(std::uint32_t id) const;
  std::uint64_t labelIndex(std::uint32_t id) const;

  /// The slot of the byte at `offset`, whose value is `byte`. Sweeps from
  /// the start: for checks; the dump reads through a Reader.
  PaletteSlot slotAt(std::uint64_t offset, std::uint8_t byte) const;

  /// Sequential lookups for the dump: each call continues from the run of
  /// the previous one, so a whole dump costs one sweep over the paints.
  class Reader {
   public:
    explicit Reader(const Colormap& colormap) : colormap_(colormap), run_(sweep_.next()) {}
    /// The slots of the `count` bytes at `offset`, whose values are `bytes`.
    void slots(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count,
               std::uint8_t* out);
    /// slots(), found once for the whole line when one slot covers it (or
    /// all its bytes are of one class); then that shared slot is returned.
    std::optional<PaletteSlot> lineSlots(std::uint64_t offset, const std::uint8_t* bytes,
                                         std::size_t count, std::uint8_t* out);

   private:
    // Places run_ at the run that holds or follows `offset` (none: past the
    // last run).
    void seek(std::uint64_t offset);
    PaletteSlot slotIn(std::uint64_t offset) const;
    const Colormap& colormap_;
    RunSweep sweep_{colormap_};
    std::optional<PaintRun> run_;
    std::uint64_t last_ = 0;  // the last offset looked up
  };

 private:
  std::uint32_t addLabel(const Label* label);
  std::uint32_t addText(std::string_view text);
  // A section's name, followed by its structure's label when labels are kept.
  std::uint32_t addName(std::string_view name, std::uint32_t label);
  // Lists `label` in sections() when it has a select name.
  void listSection(const Label* label, std::uint32_t id, std::uint64_t offset, std::uint64_t size,
                   bool has_bytes);
  void push(const Paint& paint);

  // A row of entries that may still grow, and the hull of the paints made
  // after its last entry: a new entry outside that hull may join the row.
  struct OpenRow {
    std::size_t paint = SIZE_MAX;
    std::uint64_t next = 0;  // the number the row's next entry must have
    std::uint64_t after_start = UINT64_MAX;
    std::uint64_t after_end = 0;
  };

  PaintList paints_;
  // Two, for tables whose entries are painted in two parts (PE).
  OpenRow rows_[2];
  PaintOrder order_;
  std::vector<NamedSection> sections_;
  std::vector<WalkStop> stops_;
  // Every label and name, each as one length byte and its text; a label
  // then its kind's place in the text (two bytes) and its index (eight); a
  // section's name, when labels are kept, its structure's label (four).
  std::string labels_;
  KeptNames kept_ = KeptNames::None;
  bool byteClasses_ = false;
};

/// The class slot of one byte: `normal` for printable ASCII, else `normal_alt`.
inline PaletteSlot byteClassSlot(std::uint8_t byte) {
  // One unsigned range test: bytes below space wrap around to large values.
  return static_cast<std::uint8_t>(byte - 0x20) <= 0x7e - 0x20 ? kNormal : kNormalAlt;
}

}  // namespace lumo
