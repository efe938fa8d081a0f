#include "config/palette.h"

namespace lumo {
namespace {

// The plain colors, then their bright variants:
// clang-format off
constexpr std::array<std::string_view, 16> kColorNames = {
    "black",        "red",        "green",        "yellow",
    "blue",         "magenta",    "cyan",         "white",
    "bright_black", "bright_red", "bright_green", "bright_yellow",
    "bright_blue",  "bright_magenta", "bright_cyan", "bright_white"};
// clang-format on

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint8_t> hexPair(std::string_view pair) {
  int hi = hexDigit(pair[0]);
  int lo = hexDigit(pair[1]);
  if (hi < 0 || lo < 0) return std::nullopt;
  return static_cast<std::uint8_t>(hi * 16 + lo);
}

}  // namespace

Palette defaultPalette() {
  constexpr std::array<std::uint8_t, 6> groupColors = {colors::kYellow,  colors::kRed,
                                                       colors::kGreen,   colors::kBlue,
                                                       colors::kMagenta, colors::kCyan};
  Palette palette{};
  for (std::size_t group = 0; group < groupColors.size(); ++group) {
    std::uint8_t base = groupColors[group];
    palette[group * 3] = TextStyle{Color::named(base), std::nullopt, false, false};
    palette[group * 3 + 1] = TextStyle{Color::named(base), std::nullopt, true, false};
    palette[group * 3 + 2] = TextStyle{
        Color::named(static_cast<std::uint8_t>(base + colors::kBright)), std::nullopt, false, true};
  }
  return palette;
}

std::optional<Color> parseColor(std::string_view text) {
  for (std::size_t i = 0; i < kColorNames.size(); ++i) {
    if (text == kColorNames[i]) return Color::named(static_cast<std::uint8_t>(i));
  }
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  auto r = hexPair(text.substr(1, 2));
  auto g = hexPair(text.substr(3, 2));
  auto b = hexPair(text.substr(5, 2));
  if (!r || !g || !b) return std::nullopt;
  return Color::rgb(*r, *g, *b);
}

std::optional<TextStyle> parseStyle(std::string_view text) {
  std::array<std::string_view, 3> pieces{};
  std::size_t count = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t colon = text.find(':', start);
    if (count == pieces.size()) return std::nullopt;  // a fourth piece
    pieces[count++] = text.substr(
        start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }

  TextStyle style;
  style.fg = parseColor(pieces[0]);
  if (!style.fg) return std::nullopt;
  if (count >= 2 && !pieces[1].empty()) {
    style.bg = parseColor(pieces[1]);
    if (!style.bg) return std::nullopt;
  }
  if (count == 3) {
    if (pieces[2] == "dim") {
      style.dim = true;
    } else if (pieces[2] == "bold") {
      style.bold = true;
    } else {
      return std::nullopt;
    }
  }
  return style;
}

}  // namespace lumo
