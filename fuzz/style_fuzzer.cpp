// Color and style texts. parseColor and parseStyle agree with a plain
// reading of the grammar; an accepted style has a foreground and at most
// one of dim and bold; and an accepted color, written back as its name or
// as "#rrggbb", reads as the same color again.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/palette.h"
#include "fuzz_check.h"

namespace {

using lumo::Color;
using lumo::TextStyle;

constexpr std::array<std::string_view, 16> kNames = {
    "black",        "red",           "green",       "yellow",         "blue",
    "magenta",      "cyan",          "white",       "bright_black",   "bright_red",
    "bright_green", "bright_yellow", "bright_blue", "bright_magenta", "bright_cyan",
    "bright_white"};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<Color> referenceColor(std::string_view text) {
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (text == kNames[i]) return Color::named(static_cast<std::uint8_t>(i));
  }
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  std::array<std::uint8_t, 3> components{};
  for (std::size_t i = 0; i < 3; ++i) {
    const int high = hexValue(text[1 + 2 * i]);
    const int low = hexValue(text[2 + 2 * i]);
    if (high < 0 || low < 0) return std::nullopt;
    components[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return Color::rgb(components[0], components[1], components[2]);
}

std::optional<TextStyle> referenceStyle(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t colon = text.find(':', start);
    pieces.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  if (pieces.size() > 3) return std::nullopt;
  TextStyle style;
  style.fg = referenceColor(pieces[0]);
  if (!style.fg) return std::nullopt;
  if (pieces.size() >= 2 && !pieces[1].empty()) {
    style.bg = referenceColor(pieces[1]);
    if (!style.bg) return std::nullopt;
  }
  if (pieces.size() == 3) {
    style.dim = pieces[2] == "dim";
    style.bold = pieces[2] == "bold";
    if (!style.dim && !style.bold) return std::nullopt;
  }
  return style;
}

std::string colorText(const Color& color) {
  if (color.kind == Color::Kind::Named) {
    FUZZ_CHECK(color.index < kNames.size());
    return std::string(kNames[color.index]);
  }
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "#";
  for (std::uint8_t component : {color.r, color.g, color.b}) {
    text += kDigits[component >> 4];
    text += kDigits[component & 15];
  }
  return text;
}

std::string styleText(const TextStyle& style) {
  std::string text = colorText(*style.fg);
  if (style.bg) text += ":" + colorText(*style.bg);
  if (style.dim || style.bold)
    text += std::string(style.bg ? ":" : "::") + (style.dim ? "dim" : "bold");
  return text;
}

void checkColor(std::string_view text) {
  const std::optional<Color> color = lumo::parseColor(text);
  FUZZ_CHECK(color == referenceColor(text));
  if (!color) return;
  const std::string written = colorText(*color);
  FUZZ_CHECK(lumo::parseColor(written) == color);
  if (color->kind == Color::Kind::Named) FUZZ_CHECK(written == text);
}

void checkStyle(std::string_view text) {
  const std::optional<TextStyle> style = lumo::parseStyle(text);
  FUZZ_CHECK(style == referenceStyle(text));
  if (!style) return;
  FUZZ_CHECK(style->fg.has_value());
  FUZZ_CHECK(!(style->dim && style->bold));
  FUZZ_CHECK(lumo::parseStyle(styleText(*style)) == style);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  checkColor(text);
  checkStyle(text);
  // Each piece of a style on its own, as the style reader hands them over.
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t colon = std::min(text.find(':', start), text.size());
    checkColor(text.substr(start, colon - start));
    start = colon + 1;
  }
  return 0;
}
