#include "app/colorize.h"

#include <array>
#include <optional>
#include <utility>

#include "parsers/registry.h"
#include "render/dump_line.h"

namespace lumo {
namespace {

// The readers of the colormap: colored bytes, the legend and --section.
// Without them the parser need not run at all.
bool needsColormap(const Options& options) {
  const DumpOptions shown = effectiveOptions(options);
  return shown.color || shown.legend || options.window.section;
}

bool needsNames(const Options& options) {
  return effectiveOptions(options).legend || options.window.section;
}

RunError notMatching(std::string_view displayName, ParserKind forced) {
  return failed(ErrorMessage::NonMatchingParser, displayName, parserName(forced));
}

}  // namespace

std::size_t formatPrefixSize() { return kMagicPrefix; }

bool needsWholeStream(ByteSpan head, const Options& options) {
  const ParserKind kind = options.parser.value_or(detectParser(head));
  return parserReadsAnywhere(kind) && matchesMagic(kind, head) && needsColormap(options);
}

std::unique_ptr<ForwardWalk> forwardWalkOf(ByteSpan head, const Options& options) {
  const ParserKind kind = options.parser.value_or(detectParser(head));
  if (!matchesMagic(kind, head) || !needsColormap(options) || needsNames(options)) return nullptr;
  return makeForwardWalk(kind);
}

RunResult<Colormap> colorize(const RandomAccess& input, const Options& options,
                             std::string_view displayName) {
  const std::optional<ParserKind> forced = options.parser;
  if (!needsColormap(options)) {
    // A forced parser must still match, as it would if the parser ran.
    std::array<std::uint8_t, kMagicPrefix> prefix{};
    const ByteSpan start(prefix.data(), input.readAt(0, prefix.data(), prefix.size()));
    if (forced && !matchesMagic(*forced, start)) return notMatching(displayName, *forced);
    return Colormap();
  }
  Result<Colormap> colormap = buildColormap(input, forced, needsNames(options));
  if (colormap.ok()) return std::move(colormap).value();
  if (colormap.failure() == Failure::NonMatchingParser) return notMatching(displayName, *forced);
  return failed(ErrorMessage::OutOfMemory);
}

}  // namespace lumo
