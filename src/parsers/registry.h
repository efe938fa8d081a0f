#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "colormap/colormap.h"
#include "core/byte_span.h"
#include "core/failure.h"
#include "core/format.h"
#include "parsers/random_access.h"

namespace lumo {

/// Every format, in the order of detection and of the help text; data,
/// which matches every input, last.
std::span<const Format* const> formats();

/// Exact, case-sensitive lookup of a format name; null when none has it.
const Format* formatByName(std::string_view name);

/// The longest prefix any format's matcher reads: this many first bytes
/// decide the format.
std::size_t magicPrefix();

/// The format's matcher over the input's first bytes.
inline bool matchesMagic(const Format& format, ByteSpan start) { return format.matches(start); }

/// The first format whose matcher accepts `start` (data at the latest).
const Format& detectFormat(ByteSpan start);

/// True when a stream must be held whole before the format runs.
inline bool readsAnywhere(const Format& format) { return format.need != InputNeed::Prefix; }

/// Chooses the format by the input's first bytes (a forced one must match:
/// NonMatchingParser otherwise), runs it and resolves the paints, keeping
/// the names `kept` asks for (`keepNames`: all of them). Fails only with
/// OutOfMemory or NonMatchingParser.
Result<Colormap> buildColormap(const RandomAccess& input, const Format* forced, KeptNames kept);
Result<Colormap> buildColormap(const RandomAccess& input, const Format* forced,
                               bool keepNames = false);
Result<Colormap> buildColormap(ByteSpan input, const Format* forced, bool keepNames = false);

}  // namespace lumo
