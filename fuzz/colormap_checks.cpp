#include "colormap_checks.h"

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "core/printable_name.h"
#include "fuzz_check.h"
#include "parsers/parsers.h"
#include "parsers/registry.h"
#include "render/legend.h"
#include "render/structure_map.h"

namespace lumo::fuzz {
namespace {

using SlotSet = std::bitset<kSlotCount>;

std::vector<std::uint8_t> slotsOf(const Colormap& colormap, ByteSpan input) {
  std::vector<std::uint8_t> slots(input.size());
  Colormap::Reader(colormap).slots(0, input.data(), input.size(), slots.data());
  return slots;
}

std::uint32_t bigEndianWord(ByteSpan input, std::size_t at) {
  return std::uint32_t{input[at]} << 24 | std::uint32_t{input[at + 1]} << 16 |
         std::uint32_t{input[at + 2]} << 8 | input[at + 3];
}

// feedface or feedfacf in either byte order, or a universal header
// (cafebabe or cafebabf) with 1 to 30 slices.
bool isUniversal(ByteSpan input) {
  if (input.size() < 8) return false;
  const std::uint32_t magic = bigEndianWord(input, 0), count = bigEndianWord(input, 4);
  return (magic == 0xcafebabe || magic == 0xcafebabf) && count >= 1 && count <= 30;
}

bool isMachO(ByteSpan input) {
  if (isUniversal(input)) return true;
  if (input.size() < 4) return false;
  const std::uint32_t magic = bigEndianWord(input, 0);
  return magic == 0xfeedface || magic == 0xfeedfacf || magic == 0xcefaedfe || magic == 0xcffaedfe;
}

// The formats this file knows the rules of, named here rather than taken
// from the registry's descriptors.
enum class ParserKind { Elf, Pe, Qoi, Macho, Wasm, Zip, Png, Jpeg, Gzip, Gif, Data };

ParserKind kindOf(const Format& format) {
  constexpr std::pair<std::string_view, ParserKind> kKinds[] = {
      {"elf", ParserKind::Elf},     {"pe", ParserKind::Pe},     {"qoi", ParserKind::Qoi},
      {"macho", ParserKind::Macho}, {"wasm", ParserKind::Wasm}, {"zip", ParserKind::Zip},
      {"png", ParserKind::Png},     {"jpeg", ParserKind::Jpeg}, {"gzip", ParserKind::Gzip},
      {"gif", ParserKind::Gif},     {"data", ParserKind::Data}};
  for (const auto& [name, kind] : kKinds) {
    if (format.name == name) return kind;
  }
  // A registered format whose rules this file has not been taught.
  FUZZ_CHECK(false);
  return ParserKind::Data;
}

// Written out here rather than taken from the registry.
bool magicMatches(ParserKind kind, ByteSpan input) {
  std::string_view magic;
  switch (kind) {
    case ParserKind::Elf:
      magic = std::string_view(
          "\x7f"
          "ELF");
      break;
    case ParserKind::Pe: magic = "MZ"; break;
    case ParserKind::Qoi: magic = "qoif"; break;
    case ParserKind::Macho: return isMachO(input);
    case ParserKind::Wasm: magic = std::string_view("\0asm\x01\0\0\0", 8); break;
    case ParserKind::Zip:
      return input.size() >= 4 && input[0] == 'P' && input[1] == 'K' &&
             ((input[2] == 3 && input[3] == 4) || (input[2] == 5 && input[3] == 6));
    case ParserKind::Png: magic = "\x89PNG\r\n\x1a\n"; break;
    case ParserKind::Jpeg: magic = "\xff\xd8\xff"; break;
    case ParserKind::Gzip: magic = "\x1f\x8b\x08"; break;
    case ParserKind::Gif:
      return input.size() >= 6 &&
             (std::string_view(reinterpret_cast<const char*>(input.data()), 6) == "GIF87a" ||
              std::string_view(reinterpret_cast<const char*>(input.data()), 6) == "GIF89a");
    case ParserKind::Data: return true;
  }
  return input.size() >= magic.size() &&
         std::equal(magic.begin(), magic.end(), input.begin(),
                    [](char expected, std::uint8_t actual) {
                      return static_cast<std::uint8_t>(expected) == actual;
                    });
}

SlotSet slotsUsedBy(ParserKind kind) {
  SlotSet set;
  auto add = [&set](std::initializer_list<PaletteSlot> slots) {
    for (PaletteSlot slot : slots) set.set(slot);
  };
  switch (kind) {
    case ParserKind::Elf:
      add({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC5, kC5Alt});
      break;
    case ParserKind::Pe:
      add({kNormalAlt, kC1, kC1Accent, kC2, kC2Accent, kC3, kC3Alt, kC4, kC4Alt, kC4Accent, kC5,
           kC5Alt, kC5Accent});
      break;
    case ParserKind::Qoi: add({kNormalAlt, kC1, kC1Accent}); break;
    case ParserKind::Macho:
      add({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC5, kC5Alt});
      break;
    case ParserKind::Wasm: add({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4}); break;
    case ParserKind::Zip:
      add({kNormalAlt, kC1, kC1Alt, kC2, kC2Alt, kC2Accent, kC3, kC3Alt, kC3Accent, kC4, kC4Accent,
           kC5, kC5Accent});
      break;
    case ParserKind::Png:
      add({kNormalAlt, kC1, kC2, kC2Alt, kC2Accent, kC3, kC3Alt, kC3Accent});
      break;
    case ParserKind::Jpeg: add({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4Alt, kC5Alt}); break;
    case ParserKind::Gzip: add({kNormalAlt, kC2, kC2Alt, kC2Accent, kC3, kC3Alt, kC3Accent}); break;
    case ParserKind::Gif:
      add({kNormalAlt, kC1, kC1Alt, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC4Accent, kC5, kC5Alt,
           kC5Accent});
      break;
    case ParserKind::Data: add({kNormal, kNormalAlt}); break;
  }
  return set;
}

// What each parser's rules fix exactly, whatever the bytes.
std::optional<PaletteSlot> fixedSlot(ParserKind kind, ByteSpan input, std::size_t k) {
  switch (kind) {
    case ParserKind::Data: return byteClassSlot(input[k]);
    case ParserKind::Qoi: return k < 4 ? kC1Accent : k < 14 ? kC1 : kNormalAlt;
    case ParserKind::Elf:
      // Without a class byte of 1 or 2 nothing is painted.
      if (input.size() < 5 || (input[4] != 1 && input[4] != 2)) return kNormalAlt;
      return std::nullopt;
    case ParserKind::Pe:
      // Without a whole MS-DOS header nothing is painted.
      if (input.size() < 64) return kNormalAlt;
      return std::nullopt;
    case ParserKind::Macho:
      // No slice can begin inside a universal header as a Mach-O file, so
      // nothing paints over it.
      if (isUniversal(input) && k < 8) return kC1;
      return std::nullopt;
    case ParserKind::Wasm:
      // Sections begin after the preamble.
      if (k < 8) return kC1;
      return std::nullopt;
    case ParserKind::Zip: return std::nullopt;
    case ParserKind::Png:
      // Chunks begin after the signature.
      if (k < 8) return kC1;
      return std::nullopt;
    case ParserKind::Jpeg:
      // The start of image.
      if (k < 2) return kC1;
      return std::nullopt;
    case ParserKind::Gzip:
      // The first member's fixed header, when it is whole.
      if (k < 10) return input.size() >= 10 ? kC2 : kNormalAlt;
      return std::nullopt;
    case ParserKind::Gif:
      // The header and logical screen descriptor.
      if (k < 13) return kC1;
      return std::nullopt;
  }
  return std::nullopt;
}

void checkSlots(ParserKind kind, ByteSpan input, const std::vector<std::uint8_t>& slots) {
  FUZZ_CHECK(slots.size() == input.size());
  const SlotSet allowed = slotsUsedBy(kind);
  for (std::size_t k = 0; k < slots.size(); ++k) {
    FUZZ_CHECK(slots[k] < kSlotCount && allowed.test(slots[k]));
    if (std::optional<PaletteSlot> fixed = fixedSlot(kind, input, k)) {
      FUZZ_CHECK(slots[k] == *fixed);
    }
  }
}

// The resolved runs must equal painting a byte array with the parser's
// paints in order.
void checkResolve(const Format& format, ByteSpan input, const std::vector<std::uint8_t>& slots) {
  Colormap colormap;
  format.colorize(MemoryAccess(input), colormap);
  if (colormap.byteClasses()) return;
  // Linear work: every table entry a parser visits takes bytes of the
  // input, and a universal file's at most 30 slices each take the input
  // once more.
  FUZZ_CHECK(colormap.paints().size() <= 64 + 8 * input.size());
  std::vector<std::uint8_t> painted(input.size(), kNormalAlt);
  for (const Paint& paint : colormap.paints()) {
    const std::uint64_t end = std::min<std::uint64_t>(paint.end, input.size());
    for (std::uint64_t k = paint.start; k < end; ++k)
      painted[static_cast<std::size_t>(k)] = paintSlotAt(paint, k);
  }
  FUZZ_CHECK(painted == slots);
}

// With names kept, the colors are the same; every label and name is short;
// the legend of the whole input names every owner of a labelled run, and
// prints nothing outside printable ASCII but its swatches.
void checkNames(ByteSpan input, const Format* forced, const std::vector<std::uint8_t>& slots) {
  Result<Colormap> named = buildColormap(input, forced, true);
  FUZZ_CHECK(named.ok());
  FUZZ_CHECK(slotsOf(*named, input) == slots);
  for (const Paint& paint : named->paints()) {
    // With labels, a paint with a stride is one entry (its head colored apart).
    FUZZ_CHECK(paint.stride == 0 || paint.end - paint.start == paint.stride);
    FUZZ_CHECK(named->label(paint.label).size() <= LabelText::kCapacity);
  }
  for (const NamedSection& section : named->sections()) {
    const std::string_view name = named->label(section.name);
    FUZZ_CHECK(!name.empty() && name.size() <= 128);
    FUZZ_CHECK(name.find('\0') == std::string_view::npos);
  }
  const StructureMap map = structureMap(*named);
  bool unnamed = false;
  const std::vector<std::uint32_t> legend = legendStructures(*named, map, 0, input.size(), unnamed);
  // Looked up in a set: a search of the legend for each run is quadratic,
  // and 100k wasm sections would time out.
  std::unordered_set<std::string_view> legendNames;
  legendNames.reserve(legend.size());
  for (std::uint32_t index : legend) legendNames.insert(map.structures[index].label);
  RunSweep sweep(*named);
  for (std::optional<PaintRun> run = sweep.next(); run && run->start < input.size();
       run = sweep.next()) {
    const std::string_view label = named->label(named->paints()[run->paint].label);
    if (label.empty()) continue;
    FUZZ_CHECK(legendNames.contains(label));
  }
  const std::string text = legendText(*named, 0, input.size(), defaultPalette(), false);
  FUZZ_CHECK(std::all_of(text.begin(), text.end(), [](char c) {
    return c == '\n' ||
           (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f);
  }));
}

// A forward format colors a stream as it does the whole input: its walk,
// fed the input in pieces (each call painting a new colormap that carries
// the paints before it), gives every byte the same slot.
void checkForward(const Format& format, ByteSpan input, const std::vector<std::uint8_t>& slots) {
  if (format.need != InputNeed::Forward || format.forward == nullptr) return;
  std::unique_ptr<ForwardWalk> walk = format.forward();
  auto carried = std::make_unique<Colormap>();
  const std::size_t step = 1 + input.size() / 7;
  for (std::size_t have = std::min(step, input.size());;
       have = std::min(have + step, input.size())) {
    const bool ended = have == input.size();
    auto next = std::make_unique<Colormap>();
    for (const Paint& paint : carried->paints()) next->carry(paint);
    walk->advance(StreamView(input.data(), 0, have, ended), *next);
    carried = std::move(next);
    if (ended) break;
  }
  carried->resolve();
  FUZZ_CHECK(slotsOf(*carried, input) == slots);
}

}  // namespace

Colormap checkedColormap(ByteSpan input, std::vector<std::uint8_t>& slots) {
  const Format& detected = detectFormat(input);
  Result<Colormap> colormap = buildColormap(input, nullptr);
  FUZZ_CHECK(colormap.ok());
  slots = slotsOf(*colormap, input);
  checkSlots(kindOf(detected), input, slots);
  checkResolve(detected, input, slots);
  checkNames(input, nullptr, slots);
  checkForward(detected, input, slots);

  for (const Format* format : formats()) {
    const ParserKind forced = kindOf(*format);
    Result<Colormap> forcedMap = buildColormap(input, format);
    if (!magicMatches(forced, input)) {
      FUZZ_CHECK(!forcedMap && forcedMap.failure() == Failure::NonMatchingParser);
      continue;
    }
    FUZZ_CHECK(forcedMap.ok());
    const std::vector<std::uint8_t> forcedSlots = slotsOf(*forcedMap, input);
    checkSlots(forced, input, forcedSlots);
    if (format == &detected) FUZZ_CHECK(forcedSlots == slots);
  }
  return std::move(colormap).value();
}

}  // namespace lumo::fuzz
