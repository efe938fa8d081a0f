#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "colormap/colormap.h"
#include "core/byte_span.h"
#include "core/failure.h"
#include "core/parser_kind.h"
#include "parsers/random_access.h"

namespace lumo {

std::string_view parserName(ParserKind kind);
std::string_view parserDescription(ParserKind kind);
/// Exact, case-sensitive lookup of a parser name.
std::optional<ParserKind> parserByName(std::string_view name);
/// The longest magic number (wasm's preamble, a universal Mach-O file's
/// header): this many first bytes decide the parser.
inline constexpr std::size_t kMagicPrefix = 8;

/// True when the input begins with the kind's magic number; always for Data.
bool matchesMagic(ParserKind kind, ByteSpan input);
/// The first of elf, pe, qoi, macho, wasm whose magic matches, else data.
ParserKind detectParser(ByteSpan input);

/// True when the parser may read anywhere in the input (its headers point
/// anywhere), so a stream must be held whole before it runs; false when the
/// first kMagicPrefix bytes are all it needs.
bool parserReadsAnywhere(ParserKind kind);

/// Chooses the parser by the input's first bytes (a forced one must match
/// its magic: NonMatchingParser otherwise), runs it and resolves the paints.
/// With `keepNames` the paints carry labels and the sections are recorded
/// (for the legend and `--section`). Fails only with OutOfMemory or
/// NonMatchingParser.
Result<Colormap> buildColormap(const RandomAccess& input, std::optional<ParserKind> forced,
                               bool keepNames = false);
Result<Colormap> buildColormap(ByteSpan input, std::optional<ParserKind> forced,
                               bool keepNames = false);

}  // namespace lumo
