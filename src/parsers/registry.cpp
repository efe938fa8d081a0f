#include "parsers/registry.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

#include "parsers/parsers.h"

namespace lumo {
namespace {

// The one list of formats, in the order of detection.
constexpr std::array<const Format*, 11> kFormats = {
    &kElfFormat, &kPeFormat,   &kQoiFormat,  &kMachOFormat, &kWasmFormat, &kZipFormat,
    &kPngFormat, &kJpegFormat, &kGzipFormat, &kGifFormat,   &kDataFormat,
};

}  // namespace

std::span<const Format* const> formats() { return kFormats; }

const Format* formatByName(std::string_view name) {
  for (const Format* format : kFormats) {
    if (format->name == name) return format;
  }
  return nullptr;
}

std::size_t magicPrefix() {
  std::size_t longest = 0;
  for (const Format* format : kFormats) longest = std::max(longest, format->prefix);
  return longest;
}

const Format& detectFormat(ByteSpan start) {
  for (const Format* format : kFormats) {
    if (format->matches(start)) return *format;
  }
  return kDataFormat;  // not reached: data matches every input
}

Result<Colormap> buildColormap(const RandomAccess& input, const Format* forced, KeptNames kept) {
  std::vector<std::uint8_t> prefix(magicPrefix());
  const ByteSpan start(prefix.data(), input.readAt(0, prefix.data(), prefix.size()));
  if (forced != nullptr && !forced->matches(start)) return Failure::NonMatchingParser;
  const Format& format = forced != nullptr ? *forced : detectFormat(start);
  Colormap colormap(kept);
  try {
    format.colorize(input, colormap);
    colormap.resolve();
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  return colormap;
}

Result<Colormap> buildColormap(const RandomAccess& input, const Format* forced, bool keepNames) {
  return buildColormap(input, forced, keepNames ? KeptNames::All : KeptNames::None);
}

Result<Colormap> buildColormap(ByteSpan input, const Format* forced, bool keepNames) {
  return buildColormap(MemoryAccess(input), forced, keepNames);
}

}  // namespace lumo
