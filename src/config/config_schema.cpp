#include "config/config_schema.h"

#include <array>
#include <utility>

#include "ziggy/parser.h"

namespace lumo {
namespace {

using ziggy::TokenKind;

template <std::size_t slot>
Status readSlotStyle(ziggy::TokenStream& tokens, ziggy::Token first, Palette& palette) {
  return readStyleValue(tokens, first, palette[slot]);
}

template <std::size_t... slots>
constexpr std::array<ziggy::FieldSchema, kSlotCount> slotFields(std::index_sequence<slots...>) {
  return {ziggy::customField<Palette, &readSlotStyle<slots>>(kSlotNames[slots])...};
}

constexpr std::array<ziggy::FieldSchema, kSlotCount> kPaletteFields =
    slotFields(std::make_index_sequence<kSlotCount>{});
constexpr ziggy::Schema<Palette> kPaletteSchema{{kPaletteFields}};

constexpr std::array kConfigFields = {
    ziggy::optionalBool<&Config::color>("color"),
    ziggy::optionalBool<&Config::uppercase>("uppercase"),
    ziggy::optionalBool<&Config::show_size>("show_size"),
    ziggy::optionalBool<&Config::show_offset>("show_offset"),
    ziggy::optionalBool<&Config::show_ascii>("show_ascii"),
    ziggy::optionalBool<&Config::skip_lines>("skip_lines"),
    ziggy::optionalBool<&Config::raw>("raw"),
    ziggy::optionalRecord<&Config::palette>("palette", kPaletteSchema),
};
constexpr ziggy::Schema<Config> kConfigSchema{{kConfigFields}};

// The text between the quotes of a string token.
std::string_view unquoted(std::string_view token) {
  return token.size() < 2 ? std::string_view{} : token.substr(1, token.size() - 2);
}

}  // namespace

Status readStyleValue(ziggy::TokenStream& tokens, ziggy::Token first, TextStyle& style) {
  if (first.kind != TokenKind::AtSign) return tokens.unexpected(first, {TokenKind::AtSign});
  Result<ziggy::Token> tag = tokens.expect(TokenKind::Identifier);
  if (!tag) return tag.failure();
  if (tokens.textOf(*tag) != "color") return tokens.syntaxError(*tag);
  if (Result<ziggy::Token> open = tokens.expect(TokenKind::LParen); !open) return open.failure();
  Result<ziggy::Token> string = tokens.expect(TokenKind::String);
  if (!string) return string.failure();
  if (Result<ziggy::Token> close = tokens.expect(TokenKind::RParen); !close) {
    return close.failure();
  }

  // Escape sequences are not supported, so a backslash can only be a mistake.
  std::string_view text = unquoted(tokens.textOf(*string));
  if (text.find('\\') != std::string_view::npos) return tokens.syntaxError(first);
  std::optional<TextStyle> parsed = parseStyle(text);
  if (!parsed) return tokens.syntaxError(first);
  style = *parsed;
  return {};
}

const ziggy::Schema<Config>& configSchema() { return kConfigSchema; }

Result<Config> parseConfig(std::string_view text, ziggy::Diagnostic& diagnostic) {
  return ziggy::parseDocument(text, kConfigSchema, diagnostic);
}

}  // namespace lumo
