#include "render/structure_list.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/printable_name.h"
#include "render/number_text.h"
#include "render/style_escape.h"

namespace lumo {
namespace {

// Deeper nesting than this is drawn at this depth, so that a hostile chain
// of containers cannot push the labels off the line.
constexpr std::size_t kDeepest = 8;
// A label keeps at least this many columns, however wide the numbers are.
constexpr std::size_t kNarrowestLabel = 16;
// Shorter runs of table entries are listed one by one.
constexpr std::size_t kShortestRun = 3;

// The number in a table entry's label: the word after its kind.
std::optional<std::uint64_t> entryNumber(const Structure& structure) {
  const std::string_view label = structure.label;
  if (structure.kind.empty() || !label.starts_with(structure.kind) ||
      label.size() <= structure.kind.size() + 1 || label[structure.kind.size()] != ' ') {
    return std::nullopt;
  }
  const char* first = label.data() + structure.kind.size() + 1;
  const char* last = label.data() + label.size();
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || (end != last && *end != ' ')) return std::nullopt;
  return number;
}

// Whether `next` continues a run of table entries that `last` ends.
bool continuesRun(const Structure& last, const Structure& next) {
  if (last.selectable || next.selectable || !last.in_file || !next.in_file) return false;
  if (last.parent != next.parent || last.kind != next.kind || last.size != next.size) return false;
  if (next.offset != last.end()) return false;
  const std::optional<std::uint64_t> a = entryNumber(last);
  const std::optional<std::uint64_t> b = entryNumber(next);
  return a && b && *a != UINT64_MAX && *b == *a + 1;
}

struct ListLine {
  std::string number;
  std::string range;
  std::string size;
  std::size_t depth = 0;
  std::string label;  // escaped
  PaletteSlot slot = kNormalAlt;
  // The label follows the range at once: a stop's reason is a sentence
  // that needs the room more than the columns.
  bool after_range = false;
};

ListLine singleLine(const Structure& structure, std::size_t depth) {
  return {.number = decimalText(structure.index),
          .range = rangeText(structure.offset, structure.end()),
          .size = byteCountText(structure.end() - structure.offset),
          .depth = depth,
          .label = escapedName(structure.label),
          .slot = structure.slot};
}

ListLine stopLine(const MapStop& stop) {
  return {.number = {},
          .range = hexText(stop.offset),
          .size = {},
          .depth = 0,
          .label = "walk stopped: " + escapedName(stop.reason),
          .slot = kNormalAlt,
          .after_range = true};
}

ListLine runLine(const Structure& first, const Structure& last, std::size_t depth) {
  return {.number = decimalText(first.index) + "-" + decimalText(last.index),
          .range = rangeText(first.offset, last.end()),
          .size = byteCountText(last.end() - first.offset),
          .depth = depth,
          .label = runLabel(first, last),
          .slot = first.slot};
}

std::vector<ListLine> listLines(const StructureMap& map, const std::vector<std::uint32_t>& shown) {
  std::vector<ListLine> lines;
  // The depth of each structure: the number of its shown containers, near
  // or far (a legend leaves out a segment that its sections cover wholly,
  // not the segment around that). Parents come first in the map.
  std::vector<bool> is_shown(map.structures.size(), false);
  for (std::uint32_t index : shown) is_shown[index] = true;
  std::vector<std::size_t> depth(map.structures.size(), 0);
  for (const Structure& structure : map.structures) {
    if (structure.parent == kNoParent) continue;
    depth[structure.index] = depth[structure.parent] + (is_shown[structure.parent] ? 1 : 0);
  }
  for (std::size_t i = 0; i < shown.size();) {
    const Structure& first = map.structures[shown[i]];
    const std::size_t next = i + entriesOnOneLine(map, shown, i);
    const std::size_t drawn = std::min(depth[first.index], kDeepest);
    if (next - i > 1) {
      lines.push_back(runLine(first, map.structures[shown[next - 1]], drawn));
    } else {
      lines.push_back(singleLine(first, drawn));
    }
    i = next;
  }
  return lines;
}

// The length of the escape or byte that starts at `at`.
std::size_t unitAt(std::string_view text, std::size_t at) {
  return text.substr(at).starts_with("\\x") && text.size() - at >= 4 ? 4 : 1;
}

}  // namespace

std::string rangeText(std::uint64_t start, std::uint64_t end) {
  return end > start ? hexText(start) + "-" + hexText(end - 1) : hexText(start);
}

std::string byteCountText(std::uint64_t count) {
  return decimalText(count) + (count == 1 ? " byte" : " bytes");
}

std::size_t entriesOnOneLine(const StructureMap& map, const std::vector<std::uint32_t>& shown,
                             std::size_t at) {
  std::size_t next = at + 1;
  while (next < shown.size() &&
         continuesRun(map.structures[shown[next - 1]], map.structures[shown[next]])) {
    ++next;
  }
  return next - at >= kShortestRun ? next - at : 1;
}

std::string runLabel(const Structure& first, const Structure& last) {
  return escapedName(first.kind) + "s " + decimalText(*entryNumber(first)) + "-" +
         decimalText(*entryNumber(last)) + ", " + byteCountText(first.size) + " each";
}

std::vector<MapStop> stopsBefore(const StructureMap& map, std::uint64_t end) {
  std::vector<MapStop> shown;
  for (const MapStop& stop : map.stops) {
    if (stop.offset < end) shown.push_back(stop);
  }
  return shown;
}

std::vector<std::uint32_t> structuresMeeting(const StructureMap& map, std::uint64_t start,
                                             std::uint64_t end) {
  std::vector<std::uint32_t> shown;
  for (const Structure& structure : map.structures) {
    const bool meets = structure.end() > structure.offset
                           ? structure.offset < end && structure.end() > start
                           : structure.offset >= start && structure.offset < end;
    if (meets) shown.push_back(structure.index);
  }
  return shown;
}

std::string cutInMiddle(std::string_view text, std::size_t width) {
  constexpr std::string_view kCut = "...";
  if (text.size() <= width) return std::string(text);
  if (width <= kCut.size()) return std::string(kCut.substr(0, width));
  const std::size_t keep = width - kCut.size();
  // The head takes whole units up to half the room, the tail the rest.
  std::size_t head = 0;
  while (head < text.size() && head + unitAt(text, head) <= (keep + 1) / 2) {
    head += unitAt(text, head);
  }
  const std::size_t tail_room = keep - head;
  // Units are found from the front: walk the tail start forward past
  // everything that does not fit.
  std::size_t at = head;
  while (at < text.size() && text.size() - at > tail_room) at += unitAt(text, at);
  const std::size_t tail = at;
  return std::string(text.substr(0, head)) + std::string(kCut) + std::string(text.substr(tail));
}

Status writeStructureList(const StructureMap& map, const std::vector<std::uint32_t>& shown,
                          const Palette& palette, bool color, OutputBuffer& out,
                          std::string_view note, const std::vector<MapStop>& stops) {
  std::vector<ListLine> lines = listLines(map, shown);
  for (const MapStop& stop : stops) lines.push_back(stopLine(stop));
  std::size_t numbers = 0;
  std::size_t ranges = 0;
  std::size_t sizes = 0;
  for (const ListLine& line : lines) {
    numbers = std::max(numbers, line.number.size());
    ranges = std::max(ranges, line.range.size());
    sizes = std::max(sizes, line.size.size());
  }
  const std::size_t prefix = numbers + 2 + ranges + 2 + sizes + 2;
  const SlotEscapes escapes = slotEscapes(palette);
  std::string text;
  for (const ListLine& line : lines) {
    text.assign(numbers - line.number.size(), ' ');
    text += line.number;
    text += "  ";
    text += line.range;
    std::size_t used = numbers + 2 + line.range.size() + 2;
    if (line.after_range) {
      text += "  ";
    } else {
      text.append(ranges - line.range.size() + 2 + sizes - line.size.size(), ' ');
      text += line.size;
      text += "  ";
      const std::size_t indent = 2 * line.depth;
      text.append(indent, ' ');
      used = prefix + indent;
    }
    const std::size_t room =
        used + kNarrowestLabel < kListWidth ? kListWidth - used : kNarrowestLabel;
    const std::string label = cutInMiddle(line.label, room);
    if (color) {
      const StyleEscape& escape = escapes[line.slot];
      text.append(escape.bytes.data(), escape.size);
      text += label;
      text += kReset;
    } else {
      text += label;
    }
    text += '\n';
    if (Status written = out.append(text); !written) return written;
  }
  if (note.empty()) return {};
  text.assign(lines.empty() ? 2 : prefix, ' ');
  if (color) {
    const StyleEscape& escape = escapes[kNormalAlt];
    text.append(escape.bytes.data(), escape.size);
    text += note;
    text += kReset;
  } else {
    text += note;
  }
  text += '\n';
  return out.append(text);
}

std::string jsonText(std::string_view bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size());
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto continuation = [&](std::size_t i, unsigned char low, unsigned char high) {
    return i < bytes.size() && at(i) >= low && at(i) <= high;
  };
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char byte = at(i);
    // The length of a valid UTF-8 sequence here (RFC 3629), or 0.
    std::size_t length = 0;
    if (byte >= 0x20 && byte < 0x7f) {
      length = 1;
    } else if (byte >= 0xc2 && byte <= 0xdf) {
      length = continuation(i + 1, 0x80, 0xbf) ? 2 : 0;
    } else if (byte >= 0xe0 && byte <= 0xef) {
      const unsigned char low = byte == 0xe0 ? 0xa0 : 0x80;
      const unsigned char high = byte == 0xed ? 0x9f : 0xbf;
      length = continuation(i + 1, low, high) && continuation(i + 2, 0x80, 0xbf) ? 3 : 0;
    } else if (byte >= 0xf0 && byte <= 0xf4) {
      const unsigned char low = byte == 0xf0 ? 0x90 : 0x80;
      const unsigned char high = byte == 0xf4 ? 0x8f : 0xbf;
      length = continuation(i + 1, low, high) && continuation(i + 2, 0x80, 0xbf) &&
                       continuation(i + 3, 0x80, 0xbf)
                   ? 4
                   : 0;
    }
    if (length == 0) {
      text += "\\u00";
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0xf];
      ++i;
      continue;
    }
    if (byte == '"' || byte == '\\') text += '\\';
    text.append(bytes.substr(i, length));
    i += length;
  }
  return text;
}

Status writeStructureJson(const StructureMap& map, const std::vector<std::uint32_t>& shown,
                          OutputBuffer& out) {
  if (shown.empty()) return out.append("[]\n");
  std::string text = "[\n";
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const Structure& structure = map.structures[shown[i]];
    text += R"(  {"index": )" + decimalText(structure.index);
    text += R"(, "kind": ")" + jsonText(structure.kind);
    text += structure.name.empty() ? std::string(R"(", "name": null)")
                                   : R"(", "name": ")" + jsonText(structure.name) + "\"";
    text += R"(, "label": ")" + jsonText(structure.label);
    text += R"(", "offset": )" + decimalText(structure.offset);
    text += R"(, "size": )" + decimalText(structure.size);
    text += R"(, "parent": )" +
            (structure.parent == kNoParent ? std::string("null") : decimalText(structure.parent));
    text += R"(, "selectable": )" + std::string(structure.selectable ? "true" : "false");
    text += R"(, "in_file": )" + std::string(structure.in_file ? "true" : "false");
    text += R"(, "slot": ")" +
            std::string(kSlotNames[structure.slot < kSlotCount ? structure.slot : kNormalAlt]) +
            "\"}";
    text += i + 1 < shown.size() ? ",\n" : "\n]\n";
    if (text.size() > 4096 || i + 1 == shown.size()) {
      if (Status written = out.append(text); !written) return written;
      text.clear();
    }
  }
  return {};
}

}  // namespace lumo
