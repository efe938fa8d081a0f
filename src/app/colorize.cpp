#include "app/colorize.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "parsers/registry.h"
#include "render/dump_line.h"
#include "render/structure_map.h"

namespace lumo {
namespace {

// The readers of the colormap: colored bytes, the legend, the headings,
// --section and --list. Without them the parser need not run at all.
bool needsColormap(const Options& options) {
  const DumpOptions shown = effectiveOptions(options);
  return shown.color || shown.legend || shown.annotate || options.window.section || options.list;
}

bool needsNames(const Options& options) {
  const DumpOptions shown = effectiveOptions(options);
  return shown.legend || shown.annotate || options.window.section || options.list;
}

// The legend, the headings, the list and a section's number read the
// paints' labels (a number counts the labelled structures); `--section
// NAME` alone needs the sections, which a million-member archive makes
// cheap to keep.
KeptNames keptNames(const Options& options, bool keepLabels) {
  const DumpOptions shown = effectiveOptions(options);
  if (keepLabels || shown.legend || shown.annotate || options.list) return KeptNames::All;
  if (!options.window.section) return KeptNames::None;
  return isStructureNumber(*options.window.section) ? KeptNames::All : KeptNames::Sections;
}

RunError notMatching(std::string_view displayName, const Format& forced) {
  return failed(ErrorMessage::NonMatchingParser, displayName, forced.name);
}

const Format& formatOf(ByteSpan head, const Options& options) {
  return options.parser != nullptr ? *options.parser : detectFormat(head);
}

}  // namespace

std::size_t formatPrefixSize() { return magicPrefix(); }

bool needsWholeStream(ByteSpan head, const Options& options) {
  const Format& format = formatOf(head, options);
  return readsAnywhere(format) && format.matches(head) && needsColormap(options);
}

std::unique_ptr<ForwardWalk> forwardWalkOf(ByteSpan head, const Options& options) {
  const Format& format = formatOf(head, options);
  if (format.forward == nullptr || !format.matches(head) || !needsColormap(options) ||
      needsNames(options)) {
    return nullptr;
  }
  return format.forward();
}

RunResult<Colormap> colorize(const RandomAccess& input, const Options& options,
                             std::string_view displayName, bool keepLabels) {
  const Format* forced = options.parser;
  if (!needsColormap(options)) {
    // A forced parser must still match, as it would if the parser ran.
    std::vector<std::uint8_t> prefix(magicPrefix());
    const ByteSpan start(prefix.data(), input.readAt(0, prefix.data(), prefix.size()));
    if (forced != nullptr && !forced->matches(start)) return notMatching(displayName, *forced);
    return Colormap();
  }
  Result<Colormap> colormap = buildColormap(input, forced, keptNames(options, keepLabels));
  if (colormap.ok()) return std::move(colormap).value();
  if (colormap.failure() == Failure::NonMatchingParser) return notMatching(displayName, *forced);
  return failed(ErrorMessage::OutOfMemory);
}

}  // namespace lumo
