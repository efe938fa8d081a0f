#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/byte_span.h"
#include "parsers/random_access.h"

namespace lumo {

/// Where the COFF string table starts: right after the symbol table, whose
/// place and count the COFF file header gives (`coff` is that header after
/// "PE\0\0"). Nothing when the file has no symbol table.
std::optional<std::uint64_t> coffStringTableAt(ByteSpan coff);

/// The longest section name taken from the string table; a longer one keeps
/// its "/N" form.
inline constexpr std::size_t kMaxLongName = 255;

/// The name that a section name field of the form "/N" (N decimal) stands
/// for: the NUL-terminated string at offset N of the string table at
/// `table`. Nothing when the field has another form, or the name does not
/// lie whole inside the table and the input, or is longer than kMaxLongName.
std::optional<std::string> longSectionName(const RandomAccess& input, std::uint64_t table,
                                           std::string_view field);

}  // namespace lumo
