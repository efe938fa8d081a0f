#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/palette_slot.h"

namespace lumo {

/// A stretch [start, end) of input offsets painted with one slot.
struct SlotRun {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  PaletteSlot slot = kNormalAlt;
  friend bool operator==(const SlotRun&, const SlotRun&) = default;
};

/// The palette slot of every input byte, without one entry per byte: the
/// structured parsers record their paints in order, and resolve() turns them
/// into non-overlapping runs in which the later paint wins, exactly as
/// painting a byte array would. For plain data the slot follows from each
/// byte's value and nothing is stored at all. Neither form depends on the
/// input's length, so the input can be streamed.
class Colormap {
 public:
  /// Records a paint of [start, start + length). The sum never wraps: a
  /// region that reaches past 2^64 simply reaches past the end. Regions past
  /// the end of the input are harmless: those offsets are never looked up.
  /// May throw std::bad_alloc; buildColormap turns that into OutOfMemory.
  void paintRegion(std::uint64_t start, std::uint64_t length, PaletteSlot slot);

  /// Paints every offset.
  void fill(PaletteSlot slot);

  /// From now on every byte's slot is its class: printable ASCII `normal`,
  /// anything else `normal_alt`. Earlier paints no longer matter.
  void useByteClasses();

  /// Turns the recorded paints into runs; called once, after the parser.
  void resolve();

  bool byteClasses() const { return byteClasses_; }
  /// The paints in the order they were made (until resolve()).
  const std::vector<SlotRun>& paints() const { return paints_; }
  /// Sorted, non-overlapping, adjacent runs of different slots (after
  /// resolve()). Offsets no paint reached are `normal_alt`.
  const std::vector<SlotRun>& runs() const { return runs_; }

  /// The slot of the byte at `offset`, whose value is `byte`.
  PaletteSlot slotAt(std::uint64_t offset, std::uint8_t byte) const;

  /// Sequential lookups for the dump: each call continues from the run of
  /// the previous one, so a whole dump costs one pass over the runs.
  class Reader {
   public:
    explicit Reader(const Colormap& colormap) : colormap_(colormap) {}
    /// The slots of the `count` bytes at `offset`, whose values are `bytes`.
    void slots(std::uint64_t offset, const std::uint8_t* bytes, std::size_t count,
               std::uint8_t* out);
    /// slots(), found once for the whole line when one run covers it (or
    /// all its bytes are of one class); then that shared slot is returned.
    std::optional<PaletteSlot> lineSlots(std::uint64_t offset, const std::uint8_t* bytes,
                                         std::size_t count, std::uint8_t* out);

   private:
    const Colormap& colormap_;
    std::size_t run_ = 0;
  };

 private:
  std::vector<SlotRun> paints_;
  std::vector<SlotRun> runs_;
  bool byteClasses_ = false;
};

/// The class slot of one byte: `normal` for printable ASCII, else `normal_alt`.
inline PaletteSlot byteClassSlot(std::uint8_t byte) {
  // One unsigned range test: bytes below space wrap around to large values.
  return static_cast<std::uint8_t>(byte - 0x20) <= 0x7e - 0x20 ? kNormal : kNormalAlt;
}

}  // namespace lumo
