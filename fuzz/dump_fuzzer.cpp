// The colormap of every parser and the whole dump of one input. The
// colormap passes the checks of colormap_checks.h; every dump, in every
// display mode and however the input arrives in pieces, equals the
// reference rendering and keeps its shape; a read failure shows the whole
// lines before it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "colormap_checks.h"
#include "config/options.h"
#include "fuzz_check.h"
#include "reference_dump.h"
#include "render/dump.h"
#include "render/dump_line.h"
#include "render/output.h"
#include "test_streams.h"

namespace {

lumo::Palette widestPalette() {
  lumo::Palette palette{};
  for (lumo::TextStyle& style : palette) {
    style = {lumo::Color::rgb(255, 255, 255), lumo::Color::rgb(255, 255, 255), true, true};
  }
  palette[lumo::kNormal] = {};  // a style that writes nothing
  palette[lumo::kNormalAlt].fg = lumo::Color::named(15);
  return palette;
}

lumo::Options optionsFor(const lumo::fuzz::DumpMode& mode) {
  static const lumo::Palette kWidest = widestPalette();
  lumo::Options options;
  options.color = mode.color;
  options.uppercase = mode.uppercase;
  options.show_offset = mode.show_offset;
  options.show_ascii = mode.show_ascii;
  options.skip_lines = mode.skip_lines;
  options.raw = mode.raw;
  if (mode.color && mode.uppercase) options.palette = kWidest;
  return options;
}

// Kept across calls, so that their memory is reused.
std::string& expectedText() {
  static std::string text;
  return text;
}

// Dumps `stream` and compares with the reference dump of `shown`, the bytes
// that the dump is expected to show.
lumo::DumpResult dumpAndCompare(lumo::InputStream& stream, lumo::ByteSpan shown,
                                const lumo::Colormap& colormap,
                                const std::vector<std::uint8_t>& slots, unsigned modeIndex) {
  static lumo::StringSink sink;
  const lumo::fuzz::DumpMode mode = lumo::fuzz::dumpModeOf(modeIndex);
  const lumo::Options options = optionsFor(mode);
  sink.text.clear();
  // The smallest buffer the line writer allows: a line that outgrows its
  // bound overflows the allocation, and every line boundary is exercised.
  lumo::OutputBuffer out(sink, lumo::kMaxLineSize);
  const lumo::DumpResult result = lumo::writeDump(stream, colormap, options, out);
  FUZZ_CHECK(result.written.ok());
  FUZZ_CHECK(out.flush().ok());
  FUZZ_CHECK(result.size == shown.size());

  lumo::fuzz::checkDumpShape(sink.text, shown.size(), mode);
  std::string& expected = expectedText();
  expected.clear();
  lumo::fuzz::referenceDump(shown, std::span(slots).first(shown.size()), mode, options.palette,
                            expected);
  FUZZ_CHECK(sink.text == expected);
  return result;
}

void checkDumps(lumo::ByteSpan input, const lumo::Colormap& colormap,
                const std::vector<std::uint8_t>& slots) {
  for (unsigned index = 0; index < lumo::fuzz::kDumpModes; ++index) {
    lumo::MemoryStream stream(input);
    FUZZ_CHECK(dumpAndCompare(stream, input, colormap, slots, index).read.ok());
  }

  // Streams that deliver the bytes in uneven pieces give the same dump,
  // whether the dump takes what each read brings (a pipe: here colored,
  // with skipping) or fills its chunk first (a file: here raw).
  constexpr unsigned kColoredSkipping = 1u + 4u + 8u + 16u, kRaw = 32u;
  for (bool mayWait : {true, false}) {
    lumo::fuzz::ChunkedStream stream(input, mayWait);
    const unsigned mode = mayWait ? kColoredSkipping : kRaw;
    FUZZ_CHECK(dumpAndCompare(stream, input, colormap, slots, mode).read.ok());
  }

  // A read that fails after some bytes: the whole lines before it are shown
  // and counted, and the failure is returned.
  const std::size_t before = input.empty() ? 0 : std::size_t{input[0]} * input.size() / 256;
  const lumo::ByteSpan wholeLines = input.first(before - before % 16);
  for (bool mayWait : {true, false}) {
    lumo::fuzz::ChunkedStream failing(input.first(before), mayWait, /*failAtEnd=*/true);
    FUZZ_CHECK(!dumpAndCompare(failing, wholeLines, colormap, slots, kColoredSkipping).read.ok());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lumo::ByteSpan input(data, size);
  std::vector<std::uint8_t> slots;
  const lumo::Colormap colormap = lumo::fuzz::checkedColormap(input, slots);
  checkDumps(input, colormap, slots);
  return 0;
}
