// The colormap of every parser and the whole dump of one input. The
// colormap passes the checks of colormap_checks.h; the dump, in any display
// mode, with any chunk size and however the input arrives in pieces, equals
// the reference rendering and keeps its shape; a read failure shows the
// whole lines before it.
//
// The last three bytes of a fuzz input choose the display mode, the dump's
// chunk size and how the input arrives, so each execution renders one dump
// and the fuzzer steers all three like any other byte. The corpus replay
// renders every mode with every kind of stream instead.

#include <algorithm>
#include <array>
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

// How the input reaches the dump.
enum class Arrival : unsigned {
  kWhole,        // in memory, as large reads
  kPipe,         // in uneven pieces, each taken as it comes
  kFile,         // in uneven pieces, the chunk filled first
  kFailingPipe,  // uneven pieces, then a read failure
  kFailingFile,
};
constexpr unsigned kArrivals = 5;

// What one dump run varies besides the input.
struct DumpCase {
  unsigned mode = 0;
  std::size_t chunkBytes = lumo::kDumpChunkBytes;
  Arrival arrival = Arrival::kWhole;
};

// Chunk sizes from one byte: every size from 16 to 143 (lines split at
// every chunk boundary) and coarser steps up to about 2 KiB (one chunk
// holds a whole fuzz input).
std::size_t chunkBytesOf(std::uint8_t byte) {
  const std::size_t step = byte < 128 ? 1 : 17;
  return 16 + std::size_t{byte % 128u} * step;
}

constexpr std::size_t kCaseBytes = 3;

DumpCase caseOf(std::span<const std::uint8_t, kCaseBytes> bytes) {
  return {bytes[0] % lumo::fuzz::kDumpModes, chunkBytesOf(bytes[1]),
          static_cast<Arrival>(bytes[2] % kArrivals)};
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
                                const std::vector<std::uint8_t>& slots, const DumpCase& dumpCase) {
  static lumo::StringSink sink;
  const lumo::fuzz::DumpMode mode = lumo::fuzz::dumpModeOf(dumpCase.mode);
  const lumo::Options options = optionsFor(mode);
  sink.text.clear();
  // The smallest buffer the line writer allows: a line that outgrows its
  // bound overflows the allocation, and every line boundary is exercised.
  lumo::OutputBuffer out(sink, lumo::kMaxLineSize);
  const lumo::DumpResult result =
      lumo::writeDump(stream, colormap, options, out, {}, dumpCase.chunkBytes);
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

void checkDump(lumo::ByteSpan input, const lumo::Colormap& colormap,
               const std::vector<std::uint8_t>& slots, const DumpCase& dumpCase) {
  switch (dumpCase.arrival) {
    case Arrival::kWhole: {
      lumo::MemoryStream stream(input);
      FUZZ_CHECK(dumpAndCompare(stream, input, colormap, slots, dumpCase).read.ok());
      return;
    }
    // Streams that deliver the bytes in uneven pieces give the same dump,
    // whether the dump takes what each read brings or fills its chunk first.
    case Arrival::kPipe:
    case Arrival::kFile: {
      lumo::fuzz::ChunkedStream stream(input, dumpCase.arrival == Arrival::kPipe);
      FUZZ_CHECK(dumpAndCompare(stream, input, colormap, slots, dumpCase).read.ok());
      return;
    }
    // A read that fails after some bytes: the whole lines before it are
    // shown and counted, and the failure is returned.
    case Arrival::kFailingPipe:
    case Arrival::kFailingFile: {
      const std::size_t before = input.empty() ? 0 : std::size_t{input[0]} * input.size() / 256;
      const lumo::ByteSpan wholeLines = input.first(before - before % 16);
      lumo::fuzz::ChunkedStream failing(input.first(before),
                                        dumpCase.arrival == Arrival::kFailingPipe,
                                        /*failAtEnd=*/true);
      FUZZ_CHECK(!dumpAndCompare(failing, wholeLines, colormap, slots, dumpCase).read.ok());
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lumo::ByteSpan whole(data, size);
  std::array<std::uint8_t, kCaseBytes> caseBytes{};
  const std::size_t inputSize = size - std::min(size, kCaseBytes);
  std::copy(whole.begin() + static_cast<std::ptrdiff_t>(inputSize), whole.end(), caseBytes.begin());
  const lumo::ByteSpan input = whole.first(inputSize);

  std::vector<std::uint8_t> slots;
  const lumo::Colormap colormap = lumo::fuzz::checkedColormap(input, slots);
  const DumpCase chosen = caseOf(caseBytes);
#if defined(LUMO_FUZZ_REPLAY)
  // Every mode with every kind of arrival at the chosen chunk size, and
  // every mode at the program's own.
  for (unsigned mode = 0; mode < lumo::fuzz::kDumpModes; ++mode) {
    for (unsigned arrival = 0; arrival < kArrivals; ++arrival) {
      checkDump(input, colormap, slots, {mode, chosen.chunkBytes, static_cast<Arrival>(arrival)});
    }
    checkDump(input, colormap, slots, {mode, lumo::kDumpChunkBytes, Arrival::kWhole});
  }
#else
  checkDump(input, colormap, slots, chosen);
#endif
  return 0;
}
