#include "render/dump_headings.h"

#include <string>
#include <string_view>

#include "core/printable_name.h"
#include "render/structure_list.h"

namespace lumo {
namespace {

constexpr std::string_view kRule = "\u2500\u2500 ";
// The rule takes three columns, however many bytes it has.
constexpr std::size_t kRuleColumns = 3;
// A label keeps at least this many columns, however wide the numbers are.
constexpr std::size_t kNarrowestLabel = 16;

bool beginsIn(const Structure& structure, std::uint64_t start, std::uint64_t end) {
  return structure.end() > structure.offset && structure.offset >= start && structure.offset < end;
}

}  // namespace

DumpHeadings::DumpHeadings(const StructureMap& map, std::uint64_t start, std::uint64_t end,
                           const Palette& palette, bool color)
    : map_(map), color_(color) {
  std::vector<std::uint32_t> shown;
  for (const Structure& structure : map.structures) {
    if (beginsIn(structure, start, end)) shown.push_back(structure.index);
  }
  for (std::size_t at = 0; at < shown.size();) {
    const std::size_t count = entriesOnOneLine(map, shown, at);
    entries_.push_back({.offset = map.structures[shown[at]].offset,
                        .first = shown[at],
                        .last = shown[at + count - 1]});
    at += count;
  }
  if (color) escapes_ = slotEscapes(palette);
}

Status DumpHeadings::writeBefore(std::uint64_t end, OutputBuffer& out) {
  std::string text;
  for (; next_ < entries_.size() && entries_[next_].offset < end; ++next_) {
    const Structure& first = map_.structures[entries_[next_].first];
    const Structure& last = map_.structures[entries_[next_].last];
    const std::string label = &first == &last ? escapedName(first.label) : runLabel(first, last);
    const std::string tail = "  " + rangeText(first.offset, last.end()) + "  " +
                             byteCountText(last.end() - first.offset);
    const std::size_t used = kRuleColumns + tail.size();
    const std::size_t room =
        used + kNarrowestLabel < kListWidth ? kListWidth - used : kNarrowestLabel;
    text.clear();
    if (color_) text.append(escapes_[first.slot < kSlotCount ? first.slot : kNormalAlt].view());
    text += kRule;
    text += cutInMiddle(label, room);
    text += tail;
    if (color_) text += kReset;
    text += '\n';
    if (Status written = out.append(text); !written) return written;
  }
  return {};
}

}  // namespace lumo
