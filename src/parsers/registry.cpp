#include "parsers/registry.h"

#include <algorithm>
#include <cstddef>
#include <new>

#include "parsers/macho_layout.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

struct ParserInfo {
  std::string_view name;
  std::string_view description;
  std::string_view magic;  // empty: matches every input, unless `matches` decides
  bool reads_anywhere;
  void (*colorize)(const RandomAccess&, Colormap&);
  // For a format with more than one magic number, or one that needs more
  // than a byte comparison; replaces `magic`.
  bool (*matches)(ByteSpan) = nullptr;
  // For a format that can color a stream as it passes.
  std::unique_ptr<ForwardWalk> (*forward)() = nullptr;
};

// A local header or, for an archive with no members, the end record.
bool looksLikeZip(ByteSpan input) {
  if (input.size() < 4 || input[0] != 'P' || input[1] != 'K') return false;
  return (input[2] == 3 && input[3] == 4) || (input[2] == 5 && input[3] == 6);
}

// Both versions of GIF.
bool looksLikeGif(ByteSpan input) {
  const std::string_view start(reinterpret_cast<const char*>(input.data()),
                               std::min<std::size_t>(input.size(), 6));
  return start == "GIF87a" || start == "GIF89a";
}

// Indexed by ParserKind.
constexpr std::array<ParserInfo, kParserKinds.size()> kParsers = {{
    {"elf", "32-bit and 64-bit ELF files", "\177ELF", true, colorizeElf},  // \177 is DEL, 0x7f
    {"pe", "PE (portable executable) files", "MZ", true, colorizePe},
    {"qoi", "QOI (Quite OK Image)", "qoif", false, colorizeQoi},
    {"macho", "Mach-O files, thin and universal", "", true, colorizeMachO, looksLikeMachO},
    // "\0asm" and version 1
    {"wasm", "WebAssembly modules", std::string_view("\0asm\1\0\0\0", 8), true, colorizeWasm,
     nullptr, makeWasmForwardWalk},
    {"zip", "ZIP archives (JAR, APK, DOCX, XLSX, EPUB)", "", true, colorizeZip, looksLikeZip},
    {"png", "PNG images", "\x89PNG\r\n\x1a\n", true, colorizePng},
    {"gzip", "gzip files, BGZF member by member", "\x1f\x8b\x08", true, colorizeGzip},
    {"gif", "GIF images", "", true, colorizeGif, looksLikeGif},
    {"data", "Binary or ASCII data", "", false, colorizeData},
}};

const ParserInfo& infoOf(ParserKind kind) { return kParsers[static_cast<std::size_t>(kind)]; }

}  // namespace

std::string_view parserName(ParserKind kind) { return infoOf(kind).name; }

std::string_view parserDescription(ParserKind kind) { return infoOf(kind).description; }

bool parserReadsAnywhere(ParserKind kind) { return infoOf(kind).reads_anywhere; }

std::unique_ptr<ForwardWalk> makeForwardWalk(ParserKind kind) {
  return infoOf(kind).forward != nullptr ? infoOf(kind).forward() : nullptr;
}

std::optional<ParserKind> parserByName(std::string_view name) {
  for (ParserKind kind : kParserKinds) {
    if (infoOf(kind).name == name) return kind;
  }
  return std::nullopt;
}

bool matchesMagic(ParserKind kind, ByteSpan input) {
  if (infoOf(kind).matches != nullptr) return infoOf(kind).matches(input);
  const std::string_view magic = infoOf(kind).magic;
  if (input.size() < magic.size()) return false;
  return std::equal(magic.begin(), magic.end(), input.begin(),
                    [](char expected, std::uint8_t actual) {
                      return static_cast<std::uint8_t>(expected) == actual;
                    });
}

ParserKind detectParser(ByteSpan input) {
  for (ParserKind kind : kParserKinds) {
    if (matchesMagic(kind, input)) return kind;
  }
  return ParserKind::Data;  // not reached: data matches every input
}

Result<Colormap> buildColormap(const RandomAccess& input, std::optional<ParserKind> forced,
                               bool keepNames) {
  std::array<std::uint8_t, kMagicPrefix> prefix{};
  const ByteSpan start(prefix.data(), input.readAt(0, prefix.data(), prefix.size()));
  if (forced && !matchesMagic(*forced, start)) return Failure::NonMatchingParser;
  const ParserKind kind = forced.value_or(detectParser(start));
  Colormap colormap(keepNames);
  try {
    infoOf(kind).colorize(input, colormap);
    colormap.resolve();
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  return colormap;
}

Result<Colormap> buildColormap(ByteSpan input, std::optional<ParserKind> forced, bool keepNames) {
  return buildColormap(MemoryAccess(input), forced, keepNames);
}

}  // namespace lumo
