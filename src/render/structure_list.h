#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/palette.h"
#include "core/failure.h"
#include "render/output.h"
#include "render/structure_map.h"

namespace lumo {

/// The widest line of the list, in columns.
inline constexpr std::size_t kListWidth = 80;

/// The numbers of the structures that meet [start, end), in map order: those
/// with a byte in it, and those without bytes whose offset lies in it.
std::vector<std::uint32_t> structuresMeeting(const StructureMap& map, std::uint64_t start,
                                             std::uint64_t end);

/// The stops of `map` whose offset lies before `end`, in order of offset.
std::vector<MapStop> stopsBefore(const StructureMap& map, std::uint64_t end);

/// "0x{first}-0x{last}" of [start, end); "0x{start}" alone when empty.
std::string rangeText(std::uint64_t start, std::uint64_t end);

/// "{count} bytes", or "1 byte".
std::string byteCountText(std::uint64_t count);

/// How many structures of `shown` from position `at` on the list draws as
/// one line: a run of three or more unnamed entries of one table, next to
/// each other, or else 1.
std::size_t entriesOnOneLine(const StructureMap& map, const std::vector<std::uint32_t>& shown,
                             std::size_t at);

/// The escaped label of such a run from `first` to `last`: "section
/// headers 0-30, 64 bytes each".
std::string runLabel(const Structure& first, const Structure& last);

/// `text` cut to `width` columns by dropping its middle for "...": head and
/// tail stay. Never splits a "\xNN" escape. Unchanged when it fits.
std::string cutInMiddle(std::string_view text, std::size_t width);

/// The list of `shown`, one line each: "{number}  0x{first}-0x{last}
/// {size} bytes  {label}", the columns padded to line up and the label
/// indented two spaces under each shown container. A run of three or more
/// unnamed entries of one table, next to each other, is one line: "8-38
/// ... section headers 0-30, 64 bytes each". Labels are escaped
/// (escapedName), cut in the middle to keep lines within kListWidth, and,
/// when `color`, painted in the structure's style. Each of `stops` follows
/// as one line: no number, its offset in the range column, and two spaces
/// after it "walk stopped: {reason}" (escaped and cut alike), in the
/// normal_alt style. A `note` that is not empty ends the list as one
/// more line: the note alone in the label column (two spaces in when there
/// are no other lines), in the normal_alt style.
Status writeStructureList(const StructureMap& map, const std::vector<std::uint32_t>& shown,
                          const Palette& palette, bool color, OutputBuffer& out,
                          std::string_view note = {}, const std::vector<MapStop>& stops = {});

/// `bytes` as the contents of a JSON string: `"` and `\` escaped, control
/// bytes (below 0x20, and 0x7f) as \u00XX, valid UTF-8 kept, and every byte
/// that is not part of valid UTF-8 as \u00XX of the byte itself.
std::string jsonText(std::string_view bytes);

/// The structures `shown` as one JSON array, one object a line, with the
/// members index, kind, name (null when none), label, offset, size, parent
/// (a number or null), selectable, in_file and slot (the palette key).
Status writeStructureJson(const StructureMap& map, const std::vector<std::uint32_t>& shown,
                          OutputBuffer& out);

}  // namespace lumo
