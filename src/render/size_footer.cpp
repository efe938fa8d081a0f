#include "render/size_footer.h"

#include <array>
#include <charconv>
#include <string_view>

namespace lumo {
namespace {

constexpr std::array<std::string_view, 9> kUnits = {"",    "KiB", "MiB", "GiB", "TiB",
                                                    "PiB", "EiB", "ZiB", "YiB"};

// Rounds the decimal digits of a plain fixed-point number ("999.9951171875")
// half up to two decimals. Working on the shortest round-trip text, not the
// binary value, is what makes 1.125 round to 1.13.
std::string roundHalfUpTwoDecimals(std::string_view shortest) {
  std::size_t point = shortest.find('.');
  std::string integer(shortest.substr(0, point));
  std::string fraction =
      point == std::string_view::npos ? "" : std::string(shortest.substr(point + 1));
  fraction.resize(3, '0');
  const bool roundUp = fraction[2] >= '5';
  fraction.resize(2);
  std::string digits = integer + fraction;
  if (roundUp) {
    std::size_t i = digits.size();
    while (i > 0) {
      --i;
      if (digits[i] == '9') {
        digits[i] = '0';
        continue;
      }
      ++digits[i];
      break;
    }
    if (i == 0 && digits[0] == '0') digits.insert(digits.begin(), '1');
  }
  return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
}

}  // namespace

std::string sizeFooterText(std::uint64_t size) {
  std::array<char, 32> number{};
  char* end = std::to_chars(number.data(), number.data() + number.size(), size).ptr;
  std::string text = "File size: ";
  text.append(number.data(), end);
  text.append(" bytes");
  if (size >= 1024) {
    double value = static_cast<double>(size);
    std::size_t unit = 0;
    while (value >= 1024.0) {
      value *= 1.0 / 1024.0;
      ++unit;
    }
    std::array<char, 64> shortest{};
    char* shortestEnd = std::to_chars(shortest.data(), shortest.data() + shortest.size(), value,
                                      std::chars_format::fixed)
                            .ptr;
    text.append(" (");
    text.append(roundHalfUpTwoDecimals(std::string_view(shortest.data(), shortestEnd)));
    text.append(" ");
    text.append(kUnits[unit]);
    text.append(")");
  }
  text.append("\n");
  return text;
}

Status writeSizeFooter(std::uint64_t size, OutputBuffer& out) {
  return out.append(sizeFooterText(size));
}

}  // namespace lumo
