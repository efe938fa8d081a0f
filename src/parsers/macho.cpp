#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/input_cursor.h"
#include "parsers/macho_layout.h"
#include "parsers/macho_names.h"
#include "parsers/parsers.h"
#include "parsers/slice_access.h"

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
// A real file has a few dozen load commands and at most 255 sections. The
// walk stops after this many of them together in the whole file, all slices
// alike, so that a crafted file of millions of tiny commands or section
// records costs no more than a real one, however many slices share them.
constexpr std::uint64_t kMaxStructures = 65536;

struct ThinFile {
  const MachOKind& kind;
  const Painter& painter;
  std::uint64_t& structures_left;  // shared by all slices
  std::uint64_t sections = 0;      // counted across all segments, for the alternation
  std::uint64_t size = 0;          // of the file or slice
};

// The command's LC_ name, or "cmd N" built in `room`.
std::string_view commandName(std::uint32_t cmd, LabelText& room) {
  const std::string_view name = loadCommandName(cmd);
  if (!name.empty()) return name;
  return (room << "cmd " << std::uint64_t{cmd}).view();
}

void paintCommand(const Painter& painter, std::uint64_t at, std::uint64_t cmdsize,
                  std::uint64_t index, std::uint32_t cmd) {
  painter.paintEntry(at, cmdsize, kC2, index, [&](Label& label) {
    label.kind = "load command";
    label.index = index;
    label.detail = commandName(cmd, label.scratch[0]);
  });
}

void paintSegmentRange(const Painter& painter, const MachOSegment& segment, std::uint64_t index) {
  // A segment at offset 0 (usually __TEXT) holds the header and the load
  // commands; painting it would hide them.
  if (segment.fileoff == 0) return;
  painter.paint(segment.fileoff, segment.filesize, alternatingSlot(kC2Alt, index),
                [&](Label& label) {
                  label.kind = "segment";
                  label.name = segment.segname.view();
                });
}

// "__TEXT,__text", built in `room`.
std::string_view sectionName(const MachOSection& section, LabelText& room) {
  return (room << section.segname.view() << ',' << section.sectname.view()).view();
}

void paintSectionContents(const Painter& painter, const MachOSection& section,
                          std::uint64_t index) {
  const auto describe = [&](Label& label) {
    label.kind = "section";
    label.name = sectionName(section, label.scratch[0]);
    label.select = label.name;
  };
  if (section.zerofill) {
    painter.mark(section.offset, section.size, false, describe);
  } else {
    painter.paintSelectable(section.offset, section.size, alternatingSlot(kC4Alt, index), describe);
  }
}

void paintSectionRecord(const Painter& painter, std::uint64_t at, std::uint64_t size,
                        std::uint64_t index, const MachOSection* section) {
  painter.paintEntry(at, size, kC4, index, [&](Label& label) {
    label.kind = "section header";
    label.index = index;
    if (section != nullptr) label.name = sectionName(*section, label.scratch[0]);
  });
}

// The names that the sections recorded since `first` also answer to:
// `__text` for `__TEXT,__text` when no other of them has that section name,
// and in a slice each name after the slice's prefix.
void addOtherNames(const Painter& painter, std::size_t first) {
  const std::size_t end = painter.sectionCount();
  // Copies: recording a name may move the text that a view points into.
  std::vector<std::pair<std::string, std::size_t>> short_names;
  for (std::size_t k = first; k < end; ++k) {
    const std::string_view name = painter.sectionName(k);
    const std::size_t comma = name.find(',');
    if (comma != std::string_view::npos && comma + 1 < name.size())
      short_names.emplace_back(name.substr(comma + 1), k);
  }
  std::sort(short_names.begin(), short_names.end());
  for (std::size_t i = 0; i < short_names.size(); ++i) {
    const bool unique =
        (i == 0 || short_names[i - 1].first != short_names[i].first) &&
        (i + 1 == short_names.size() || short_names[i + 1].first != short_names[i].first);
    if (unique) painter.alsoName(short_names[i].second, short_names[i].first);
  }
  painter.prefixNamesSince(first);
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
  std::uint64_t k = 0;
  for (; k < count && file.structures_left > 0; ++k, ++file.sections) {
    --file.structures_left;
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
  if (k < count) {
    file.painter.stop(cursor.position(), LabelText()
                                             << "after " << kMaxStructures << " structures");
    return false;
  }
  return true;
}

// The load commands after the header, each found at the end of the one
// before.
void paintCommands(ThinFile& file, InputCursor& cursor, std::uint64_t count) {
  const MachOKind& kind = file.kind;
  std::uint64_t command = kind.header_size;
  std::uint64_t i = 0;
  for (; i < count && file.structures_left > 0; ++i) {
    --file.structures_left;
    cursor.seek(command);
    const Result<ByteSpan> head = cursor.readExact(kLoadCommandHeadSize);
    if (!head) {
      // Past the end, the command before claimed too much and said so.
      if (command < file.size) {
        file.painter.stop(command, LabelText() << "input ends inside load command " << i);
      }
      return;
    }
    const std::uint64_t cmdsize = loadUnsigned(*head, kCmdsize, kind.order);
    // With a size like these the next command cannot be found.
    if (cmdsize < kLoadCommandHeadSize || cmdsize % kCommandAlignment != 0) {
      file.painter.stop(
          command,
          LabelText() << "load command " << i << " has size " << cmdsize
                      << (cmdsize < kLoadCommandHeadSize ? ", under 8" : ", not a multiple of 4"));
      return;
    }
    const auto cmd = static_cast<std::uint32_t>(loadUnsigned(*head, kCmd, kind.order));
    paintCommand(file.painter, command, cmdsize, i, cmd);
    if (command + cmdsize > file.size) {
      file.painter.stop(command, LabelText() << "load command " << i << " claims " << cmdsize
                                             << " bytes, past the end");
    }
    if (const std::optional<SegmentLayout> layout = segmentLayoutOf(cmd)) {
      if (!paintSegment(file, cursor, command, cmdsize, i, *layout)) return;
    }
    // The command's head was read, so `command` lies inside the input and
    // the 32-bit size cannot make the sum wrap.
    command += cmdsize;
  }
  if (i < count) {
    file.painter.stop(command, LabelText() << "after " << kMaxStructures << " structures");
  }
}

// A thin file, or one slice: the header, then each load command.
void paintThin(const RandomAccess& input, const Painter& painter, std::uint64_t& structures_left) {
  std::array<std::uint8_t, 4> magic{};
  if (input.readAt(0, magic.data(), magic.size()) != magic.size()) return;
  const std::optional<MachOKind> kind = machOKindOf(magic);
  if (!kind) return;  // a slice that is no Mach-O file stays as it is

  painter.paint(0, kind->header_size, kC1, titled("Mach-O header"));
  InputCursor cursor(input);
  const Result<ByteSpan> header = cursor.readExact(kind->header_size);
  if (!header) {
    painter.stop(0, LabelText() << "input ends inside the Mach-O header");
    return;
  }
  // Each command takes at least its head: no more of them fit than that.
  const std::uint64_t fit = (input.size() - kind->header_size) / kLoadCommandHeadSize;
  const std::uint64_t count = std::min(loadUnsigned(*header, kNcmds, kind->order), fit);

  const std::size_t first_section = painter.sectionCount();
  ThinFile file{.kind = *kind,
                .painter = painter,
                .structures_left = structures_left,
                .sections = 0,
                .size = input.size()};
  paintCommands(file, cursor, count);
  addOtherNames(painter, first_section);
}

// A slice's bytes (cut at the end of the input) and its architecture.
struct Slice {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t cputype = 0;
  std::uint32_t cpusubtype = 0;
};

Slice sliceOf(ByteSpan record, const FatKind& fat, std::uint64_t input_size) {
  const std::uint64_t offset = loadUnsigned(record, fat.offset, ByteOrder::Big);
  const std::uint64_t size = loadUnsigned(record, fat.size, ByteOrder::Big);
  return {
      .offset = offset,
      .size = offset < input_size ? std::min(size, input_size - offset) : 0,
      .cputype = static_cast<std::uint32_t>(loadUnsigned(record, kCpuType, ByteOrder::Big)),
      .cpusubtype = static_cast<std::uint32_t>(loadUnsigned(record, kCpuSubtype, ByteOrder::Big))};
}

// "arm64", or "cputype N" built in `room`.
std::string_view architecture(const Slice& slice, LabelText& room) {
  const std::string_view name = cpuTypeName(slice.cputype, slice.cpusubtype);
  if (!name.empty()) return name;
  return (room << "cputype " << std::uint64_t{slice.cputype}).view();
}

// Whether an earlier slice has the very same bytes: those are walked once,
// under the first slice's name, so stacking slices multiplies nothing.
bool walkedBefore(const std::array<Slice, kMaxFatArchs>& slices, std::uint64_t index) {
  const Slice& slice = slices[index];
  return std::any_of(slices.begin(), slices.begin() + static_cast<std::ptrdiff_t>(index),
                     [&](const Slice& earlier) {
                       return earlier.offset == slice.offset && earlier.size == slice.size;
                     });
}

// One slice as the thin file it is, its labels and names after its own.
void paintSlice(const RandomAccess& input, const Painter& whole, std::uint64_t index,
                const Slice& slice, std::uint64_t& structures_left) {
  const SliceAccess access(input, slice.offset, slice.size);
  const Painter painter = whole.within(slice.offset, access.size(), [&](LabelPrefix& prefix) {
    LabelText room;
    prefix.label << "slice " << index << " (" << architecture(slice, room) << "): ";
    prefix.name << "slice " << index << ':';
  });
  paintThin(access, painter, structures_left);
}

// The fat header and its records first, then each slice as the file it is.
// Slices are only ever thin: none is looked into for another universal file.
void paintUniversal(const RandomAccess& input, const FatKind& fat, const Painter& whole) {
  whole.paint(0, kFatHeaderSize, kC1, titled("universal header"));
  InputCursor cursor(input);
  const Result<ByteSpan> header = cursor.readExact(kFatHeaderSize);
  if (!header) return;
  const std::uint64_t count =
      std::min<std::uint64_t>(loadUnsigned(*header, kNfatArch, ByteOrder::Big), kMaxFatArchs);

  std::array<Slice, kMaxFatArchs> slices{};
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t at = cursor.position();
    const Result<ByteSpan> arch = cursor.readExact(fat.arch_size);
    if (!arch) {
      whole.paint(at, fat.arch_size, kC1);  // the record that comes up short still shows
      whole.stop(at, LabelText() << "input ends inside slice record " << i);
      return;
    }
    slices[i] = sliceOf(*arch, fat, input.size());
    whole.paint(at, fat.arch_size, kC1, [&](Label& label) {
      label.kind = "slice";
      label.index = i;
      label.detail = architecture(slices[i], label.scratch[0]);
    });
  }
  std::uint64_t structures_left = kMaxStructures;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!walkedBefore(slices, i)) paintSlice(input, whole, i, slices[i], structures_left);
  }
}

}  // namespace

void colorizeMachO(const RandomAccess& input, Colormap& colormap) {
  // Clipped at the top of the range: no size from the file reaches past it.
  const Painter painter = Painter(colormap).within(0, kNoLimit, [](LabelPrefix&) {});
  painter.fill(kNormalAlt);
  std::array<std::uint8_t, kFatHeaderSize> start{};
  const std::size_t got = input.readAt(0, start.data(), start.size());
  if (const std::optional<FatKind> fat = fatKindOf(ByteSpan(start.data(), got))) {
    paintUniversal(input, *fat, painter);
    return;
  }
  std::uint64_t structures_left = kMaxStructures;
  paintThin(input, painter, structures_left);
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
