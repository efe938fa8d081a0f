#include <algorithm>
#include <array>
#include <limits>

#include "parsers/alternating_slot.h"
#include "parsers/input_cursor.h"
#include "parsers/macho_layout.h"
#include "parsers/parsers.h"
#include "parsers/slice_access.h"

namespace lumo {
namespace {

constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
constexpr FieldAt kNcmds = {16, 4};
constexpr FieldAt kCmd = {0, 4};
constexpr FieldAt kCmdsize = {4, 4};
constexpr FieldAt kNfatArch = {4, 4};
constexpr std::uint64_t kCommandAlignment = 4;

// Every paint of this parser goes through here. A slice of a universal file
// is painted with offsets from its own start, and nothing it paints leaves
// it.
class MachOPainter {
 public:
  MachOPainter(Colormap& colormap, std::uint64_t base, std::uint64_t limit)
      : colormap_(colormap), base_(base), limit_(limit) {}

  void paint(std::uint64_t start, std::uint64_t length, PaletteSlot slot) const {
    if (start >= limit_) return;
    colormap_.paintRegion(base_ + start, std::min(length, limit_ - start), slot);
  }

 private:
  Colormap& colormap_;
  std::uint64_t base_;
  std::uint64_t limit_;
};

struct ThinFile {
  const MachOKind& kind;
  const MachOPainter& painter;
  std::uint64_t sections = 0;  // counted across all segments, for the alternation
};

// The segment's file range, then each section record and its contents. The
// records lie inside the command, so no more are visited than fit there.
// Returns false when a record cannot be read whole, which ends the walk.
bool paintSegment(ThinFile& file, InputCursor& cursor, std::uint64_t command, std::uint64_t cmdsize,
                  std::uint64_t index, const SegmentLayout& layout) {
  if (cmdsize < layout.command_size) return true;
  cursor.seek(command);
  const Result<ByteSpan> record = cursor.readExact(layout.command_size);
  if (!record) return false;
  const MachOSegment segment = decodeSegment(layout, *record, file.kind.order);
  // A segment at offset 0 (usually __TEXT) holds the header and the load
  // commands; painting it would hide them.
  if (segment.fileoff != 0) {
    file.painter.paint(segment.fileoff, segment.filesize, alternatingSlot(kC2Alt, index));
  }
  const std::uint64_t room = (cmdsize - layout.command_size) / layout.section_size;
  const std::uint64_t count = std::min<std::uint64_t>(segment.nsects, room);
  for (std::uint64_t k = 0; k < count; ++k, ++file.sections) {
    file.painter.paint(cursor.position(), layout.section_size, alternatingSlot(kC4, file.sections));
    const Result<ByteSpan> entry = cursor.readExact(layout.section_size);
    if (!entry) return false;
    const MachOSection section = decodeSection(layout, *entry, file.kind.order);
    if (!section.zerofill) {
      file.painter.paint(section.offset, section.size, alternatingSlot(kC4Alt, file.sections));
    }
  }
  return true;
}

// A thin file, or one slice: the header, then each load command.
void paintThin(const RandomAccess& input, const MachOPainter& painter) {
  std::array<std::uint8_t, 4> magic{};
  if (input.readAt(0, magic.data(), magic.size()) != magic.size()) return;
  const std::optional<MachOKind> kind = machOKindOf(magic);
  if (!kind) return;  // a slice that is no Mach-O file stays as it is

  painter.paint(0, kind->header_size, kC1);
  InputCursor cursor(input);
  const Result<ByteSpan> header = cursor.readExact(kind->header_size);
  if (!header) return;
  // Each command takes at least its head: no more of them fit than that.
  const std::uint64_t fit = (input.size() - kind->header_size) / kLoadCommandHeadSize;
  const std::uint64_t count = std::min(loadUnsigned(*header, kNcmds, kind->order), fit);

  ThinFile file{.kind = *kind, .painter = painter};
  std::uint64_t command = kind->header_size;
  for (std::uint64_t i = 0; i < count; ++i) {
    cursor.seek(command);
    const Result<ByteSpan> head = cursor.readExact(kLoadCommandHeadSize);
    if (!head) return;
    const std::uint64_t cmdsize = loadUnsigned(*head, kCmdsize, kind->order);
    // With a size like these the next command cannot be found.
    if (cmdsize < kLoadCommandHeadSize || cmdsize % kCommandAlignment != 0) return;
    const auto cmd = static_cast<std::uint32_t>(loadUnsigned(*head, kCmd, kind->order));
    painter.paint(command, cmdsize, alternatingSlot(kC2, i));
    if (const std::optional<SegmentLayout> layout = segmentLayoutOf(cmd)) {
      if (!paintSegment(file, cursor, command, cmdsize, i, *layout)) return;
    }
    // The command's head was read, so `command` lies inside the input and
    // the 32-bit size cannot make the sum wrap.
    command += cmdsize;
  }
}

struct Slice {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The fat header and its records first, then each slice as the file it is.
// Slices are only ever thin: none is looked into for another universal file.
void paintUniversal(const RandomAccess& input, const FatKind& fat, Colormap& colormap) {
  const MachOPainter whole(colormap, 0, kNoLimit);
  whole.paint(0, kFatHeaderSize, kC1);
  InputCursor cursor(input);
  const Result<ByteSpan> header = cursor.readExact(kFatHeaderSize);
  if (!header) return;
  const std::uint64_t count =
      std::min<std::uint64_t>(loadUnsigned(*header, kNfatArch, ByteOrder::Big), kMaxFatArchs);

  std::array<Slice, kMaxFatArchs> slices{};
  for (std::uint64_t i = 0; i < count; ++i) {
    whole.paint(cursor.position(), fat.arch_size, kC1);
    const Result<ByteSpan> arch = cursor.readExact(fat.arch_size);
    if (!arch) return;
    slices[i] = {loadUnsigned(*arch, fat.offset, ByteOrder::Big),
                 loadUnsigned(*arch, fat.size, ByteOrder::Big)};
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const SliceAccess slice(input, slices[i].offset, slices[i].size);
    paintThin(slice, MachOPainter(colormap, slices[i].offset, slice.size()));
  }
}

}  // namespace

void colorizeMachO(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  std::array<std::uint8_t, kFatHeaderSize> start{};
  const std::size_t got = input.readAt(0, start.data(), start.size());
  if (const std::optional<FatKind> fat = fatKindOf(ByteSpan(start.data(), got))) {
    paintUniversal(input, *fat, colormap);
    return;
  }
  paintThin(input, MachOPainter(colormap, 0, kNoLimit));
}

}  // namespace lumo
