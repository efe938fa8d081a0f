#include <algorithm>
#include <array>
#include <limits>

#include "colormap/alternating_slot.h"
#include "parsers/input_cursor.h"
#include "parsers/macho_layout.h"
#include "parsers/macho_names.h"
#include "parsers/macho_painter.h"
#include "parsers/parsers.h"
#include "parsers/slice_access.h"
#include "parsers/windowed_access.h"

namespace lumo {
namespace {

constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
constexpr FieldAt kNcmds = {16, 4};
constexpr FieldAt kCmd = {0, 4};
constexpr FieldAt kCmdsize = {4, 4};
constexpr FieldAt kNfatArch = {4, 4};
constexpr FieldAt kCpuType = {0, 4};
constexpr FieldAt kCpuSubtype = {4, 4};
constexpr std::uint64_t kCommandAlignment = 4;
// A real file has a few dozen load commands. The walk stops after this many
// in the whole file, all slices together, so that a crafted file of
// millions of tiny commands of differing sizes costs no more than a real one.
constexpr std::uint64_t kMaxCommands = 65536;

struct ThinFile {
  const MachOKind& kind;
  const MachOPainter& painter;
  std::uint64_t& commands_left;  // shared by all slices
  std::uint64_t sections = 0;    // counted across all segments, for the alternation
};

LabelText& withCommandName(LabelText& label, std::uint32_t cmd) {
  const std::string_view name = loadCommandName(cmd);
  if (!name.empty()) return label << name;
  return label << "cmd " << std::uint64_t{cmd};
}

void paintCommand(const MachOPainter& painter, std::uint64_t at, std::uint64_t cmdsize,
                  std::uint64_t index, std::uint32_t cmd) {
  if (!painter.keepsNames()) {
    painter.paintEntry(at, cmdsize, kC2, index);
    return;
  }
  LabelText label;
  withCommandName(label << "load command " << index << " (", cmd) << ')';
  painter.paintEntry(at, cmdsize, kC2, index, label.view());
}

void paintSegmentRange(const MachOPainter& painter, const MachOSegment& segment,
                       std::uint64_t index) {
  // A segment at offset 0 (usually __TEXT) holds the header and the load
  // commands; painting it would hide them.
  if (segment.fileoff == 0) return;
  const PaletteSlot slot = alternatingSlot(kC2Alt, index);
  if (!painter.keepsNames()) {
    painter.paint(segment.fileoff, segment.filesize, slot);
    return;
  }
  LabelText label;
  label << "segment";
  // An unnamed segment ends its label without a trailing space.
  if (!segment.segname.view().empty()) label << " " << segment.segname.view();
  painter.paint(segment.fileoff, segment.filesize, slot, label.view());
}

void paintSectionContents(const MachOPainter& painter, const MachOSection& section,
                          std::uint64_t index) {
  const PaletteSlot slot = alternatingSlot(kC4Alt, index);
  if (!painter.keepsNames()) {
    if (!section.zerofill) painter.paint(section.offset, section.size, slot);
    return;
  }
  LabelText name;
  name << section.segname.view() << ',' << section.sectname.view();
  painter.addSection(name.view(), section.offset, section.size,
                     !section.zerofill && section.size > 0);
  if (section.zerofill) return;
  LabelText label;
  label << "section " << name.view();
  painter.paint(section.offset, section.size, slot, label.view());
}

void paintSectionRecord(const MachOPainter& painter, std::uint64_t at, std::uint64_t size,
                        std::uint64_t index, const MachOSection* section) {
  if (!painter.keepsNames()) {
    painter.paintEntry(at, size, kC4, index);
    return;
  }
  LabelText label;
  label << "section header " << index;
  if (section != nullptr) {
    label << ' ' << section->segname.view() << ',' << section->sectname.view();
  }
  painter.paintEntry(at, size, kC4, index, label.view());
}

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
  paintSegmentRange(file.painter, segment, index);
  const std::uint64_t room = (cmdsize - layout.command_size) / layout.section_size;
  const std::uint64_t count = std::min<std::uint64_t>(segment.nsects, room);
  for (std::uint64_t k = 0; k < count; ++k, ++file.sections) {
    const std::uint64_t at = cursor.position();
    const Result<ByteSpan> entry = cursor.readExact(layout.section_size);
    if (!entry) {
      // The record that comes up short still shows.
      paintSectionRecord(file.painter, at, layout.section_size, file.sections, nullptr);
      return false;
    }
    const MachOSection section = decodeSection(layout, *entry, file.kind.order);
    paintSectionRecord(file.painter, at, layout.section_size, file.sections, &section);
    paintSectionContents(file.painter, section, file.sections);
  }
  return true;
}

// The load commands after the header, each found at the end of the one
// before.
void paintCommands(ThinFile& file, InputCursor& cursor, std::uint64_t count) {
  const MachOKind& kind = file.kind;
  std::uint64_t command = kind.header_size;
  for (std::uint64_t i = 0; i < count && file.commands_left > 0; ++i, --file.commands_left) {
    cursor.seek(command);
    const Result<ByteSpan> head = cursor.readExact(kLoadCommandHeadSize);
    if (!head) return;
    const std::uint64_t cmdsize = loadUnsigned(*head, kCmdsize, kind.order);
    // With a size like these the next command cannot be found.
    if (cmdsize < kLoadCommandHeadSize || cmdsize % kCommandAlignment != 0) return;
    const auto cmd = static_cast<std::uint32_t>(loadUnsigned(*head, kCmd, kind.order));
    paintCommand(file.painter, command, cmdsize, i, cmd);
    if (const std::optional<SegmentLayout> layout = segmentLayoutOf(cmd)) {
      if (!paintSegment(file, cursor, command, cmdsize, i, *layout)) return;
    }
    // The command's head was read, so `command` lies inside the input and
    // the 32-bit size cannot make the sum wrap.
    command += cmdsize;
  }
}

// A thin file, or one slice: the header, then each load command.
void paintThin(const RandomAccess& input, const MachOPainter& painter,
               std::uint64_t& commands_left) {
  std::array<std::uint8_t, 4> magic{};
  if (input.readAt(0, magic.data(), magic.size()) != magic.size()) return;
  const std::optional<MachOKind> kind = machOKindOf(magic);
  if (!kind) return;  // a slice that is no Mach-O file stays as it is

  painter.paint(0, kind->header_size, kC1, "Mach-O header");
  InputCursor cursor(input);
  const Result<ByteSpan> header = cursor.readExact(kind->header_size);
  if (!header) return;
  // Each command takes at least its head: no more of them fit than that.
  const std::uint64_t fit = (input.size() - kind->header_size) / kLoadCommandHeadSize;
  const std::uint64_t count = std::min(loadUnsigned(*header, kNcmds, kind->order), fit);

  const std::size_t first_section = painter.sectionCount();
  ThinFile file{.kind = *kind, .painter = painter, .commands_left = commands_left};
  paintCommands(file, cursor, count);
  if (painter.keepsNames()) painter.addUniqueShortNames(first_section);
}

struct Slice {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

void paintSliceRecord(const MachOPainter& whole, std::uint64_t at, std::uint64_t size,
                      std::uint64_t index, ByteSpan record) {
  if (!whole.keepsNames()) {
    whole.paint(at, size, kC1);
    return;
  }
  LabelText label;
  label << "slice " << index << " (";
  const auto cputype = static_cast<std::uint32_t>(loadUnsigned(record, kCpuType, ByteOrder::Big));
  const auto subtype =
      static_cast<std::uint32_t>(loadUnsigned(record, kCpuSubtype, ByteOrder::Big));
  const std::string_view name = cpuTypeName(cputype, subtype);
  if (name.empty()) {
    label << "cputype " << std::uint64_t{cputype};
  } else {
    label << name;
  }
  whole.paint(at, size, kC1, (label << ')').view());
}

// The fat header and its records first, then each slice as the file it is.
// Slices are only ever thin: none is looked into for another universal file.
void paintUniversal(const RandomAccess& input, const FatKind& fat, Colormap& colormap) {
  const MachOPainter whole(colormap, 0, kNoLimit);
  whole.paint(0, kFatHeaderSize, kC1, "universal header");
  InputCursor cursor(input);
  const Result<ByteSpan> header = cursor.readExact(kFatHeaderSize);
  if (!header) return;
  const std::uint64_t count =
      std::min<std::uint64_t>(loadUnsigned(*header, kNfatArch, ByteOrder::Big), kMaxFatArchs);

  std::array<Slice, kMaxFatArchs> slices{};
  std::uint64_t commands_left = kMaxCommands;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t at = cursor.position();
    const Result<ByteSpan> arch = cursor.readExact(fat.arch_size);
    if (!arch) {
      whole.paint(at, fat.arch_size, kC1);  // the record that comes up short still shows
      return;
    }
    paintSliceRecord(whole, at, fat.arch_size, i, *arch);
    slices[i] = {loadUnsigned(*arch, fat.offset, ByteOrder::Big),
                 loadUnsigned(*arch, fat.size, ByteOrder::Big)};
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const SliceAccess slice(input, slices[i].offset, slices[i].size);
    paintThin(slice, MachOPainter(colormap, slices[i].offset, slice.size()), commands_left);
  }
}

}  // namespace

void colorizeMachO(const RandomAccess& input, Colormap& colormap) {
  colormap.fill(kNormalAlt);
  const WindowedAccess windowed(input);
  std::array<std::uint8_t, kFatHeaderSize> start{};
  const std::size_t got = windowed.readAt(0, start.data(), start.size());
  if (const std::optional<FatKind> fat = fatKindOf(ByteSpan(start.data(), got))) {
    paintUniversal(windowed, *fat, colormap);
    return;
  }
  std::uint64_t commands_left = kMaxCommands;
  paintThin(windowed, MachOPainter(colormap, 0, kNoLimit), commands_left);
}

const Format kMachOFormat{
    .name = "macho",
    .description = "Mach-O files, thin and universal",
    .prefix = 8,  // a universal header's slice count follows its magic
    .matches = looksLikeMachO,
    .need = InputNeed::Anywhere,
    .colorize = colorizeMachO,
};

}  // namespace lumo
