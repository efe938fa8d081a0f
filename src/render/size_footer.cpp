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

std::string windowFooterText(std::uint64_t start, std::uint64_t shown,
                             std::optional<std::uint64_t> total) {
  auto hex = [](std::uint64_t value) {
    std::array<char, 20> digits{};
    char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    return "0x" + std::string(digits.data(), end);
  };
  std::string text;
  if (shown == 0) {
    text = "No bytes at " + hex(start);
  } else {
    std::array<char, 24> count{};
    char* end = std::to_chars(count.data(), count.data() + count.size(), shown).ptr;
    text = "Bytes " + hex(start) + "-" + hex(start + shown - 1) + " (" +
           std::string(count.data(), end) + " bytes)";
  }
  if (total) {
    constexpr std::string_view kLead = "File size: ";
    const std::string whole = sizeFooterText(*total);
    text += " of ";
    text.append(whole, kLead.size(), std::string::npos);
  } else {
    text += "\n";
  }
  return text;
}

Status writeSizeFooter(std::uint64_t size, OutputBuffer& out) {
  return out.append(sizeFooterText(size));
}

}  // namespace lumo
