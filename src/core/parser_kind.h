#pragma once

#include <array>
#include <cstdint>

namespace lumo {

/// The format parsers, in the order of automatic choice and of the help text.
enum class ParserKind : std::uint8_t { Elf, Pe, Qoi, Macho, Wasm, Zip, Png, Gzip, Gif, Data };
inline constexpr std::array<ParserKind, 10> kParserKinds = {
    ParserKind::Elf, ParserKind::Pe,  ParserKind::Qoi,  ParserKind::Macho, ParserKind::Wasm,
    ParserKind::Zip, ParserKind::Png, ParserKind::Gzip, ParserKind::Gif,   ParserKind::Data};

}  // namespace lumo
