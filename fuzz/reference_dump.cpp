#include "reference_dump.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "fuzz_check.h"

namespace lumo::fuzz {
namespace {

constexpr std::size_t kLineBytes = 16;
constexpr std::string_view kReset = "\x1b[0m";
constexpr std::string_view kDimOn = "\x1b[2m";

DumpMode effective(DumpMode mode) {
  if (mode.raw) mode.color = mode.show_offset = mode.show_ascii = mode.skip_lines = false;
  return mode;
}

std::string sgr(std::string_view parameters) { return "\x1b[" + std::string(parameters) + "m"; }

// Named colors 0-7 are base + k, the bright ones base + 60 + (k - 8).
std::string colorSequence(const Color& color, int base) {
  if (color.kind == Color::Kind::Named) {
    const int k = color.index;
    return sgr(std::to_string(k < 8 ? base + k : base + 60 + (k - 8)));
  }
  return sgr(std::to_string(base + 8) + ";2;" + std::to_string(color.r) + ";" +
             std::to_string(color.g) + ";" + std::to_string(color.b));
}

std::string styleText(const TextStyle& style) {
  std::string text;
  if (style.fg) text += colorSequence(*style.fg, 30);
  if (style.bg) text += colorSequence(*style.bg, 40);
  if (style.dim) text += sgr("2");
  if (style.bold) text += sgr("1");
  return text;
}

bool printable(std::uint8_t byte) { return byte >= 0x20 && byte <= 0x7e; }

// One line's text, built in fixed space: a colored line of sixteen bytes
// with the longest styles stays far below its size.
class LineText {
 public:
  void add(char c) {
    FUZZ_CHECK(size_ < bytes_.size());
    bytes_[size_++] = c;
  }
  void add(std::string_view text) {
    for (char c : text) add(c);
  }
  void addSpaces(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) add(' ');
  }
  std::string_view view() const { return {bytes_.data(), size_}; }

 private:
  std::array<char, 4096> bytes_{};
  std::size_t size_ = 0;
};

class LineWriter {
 public:
  LineWriter(const DumpMode& mode, const Palette& palette)
      : mode_(mode), digits_(mode.uppercase ? "0123456789ABCDEF" : "0123456789abcdef") {
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) styles_[slot] = styleText(palette[slot]);
  }

  void line(std::string& out, const std::uint8_t* bytes, const std::uint8_t* slots,
            std::size_t count, std::uint64_t offset) const {
    LineText text;
    if (mode_.show_offset) {
      int digits = 8;
      while (digits < 16 && (offset >> (4 * digits)) != 0) ++digits;
      for (int digit = digits - 1; digit >= 0; --digit)
        text.add(digits_[(offset >> (4 * digit)) & 15]);
      text.add(' ');
    }
    const std::string_view bar = mode_.color ? "\x1b[2m|\x1b[0m" : "|";
    if (!mode_.raw) {
      text.add(bar);
      text.add(' ');
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (mode_.color) text.add(styles_[slots[i]]);
      text.add(digits_[bytes[i] >> 4]);
      text.add(digits_[bytes[i] & 15]);
      if (mode_.color) text.add(kReset);
      if (i % 2 == 1) text.add(' ');
    }
    if (count < kLineBytes) text.addSpaces((kLineBytes - count) * 2 + (8 - count / 2));
    if (!mode_.raw) text.add(bar);
    if (mode_.show_ascii) {
      text.add(' ');
      for (std::size_t i = 0; i < count; ++i) {
        const bool shown = printable(bytes[i]);
        if (mode_.color) text.add(shown ? std::string_view(styles_[slots[i]]) : kDimOn);
        text.add(shown ? static_cast<char>(bytes[i]) : '.');
        if (mode_.color) text.add(kReset);
      }
      text.addSpaces(kLineBytes - count);
      text.add(' ');
      text.add(bar);
    }
    text.add('\n');
    out.append(text.view());
  }

 private:
  DumpMode mode_;
  const char* digits_;
  std::array<std::string, kSlotCount> styles_;
};

bool isSkipMessage(std::string_view line) {
  constexpr std::string_view kHead = "... ", kTail = " lines skipped ...";
  if (line.size() <= kHead.size() + kTail.size()) return false;
  if (line.substr(0, kHead.size()) != kHead) return false;
  if (line.substr(line.size() - kTail.size()) != kTail) return false;
  const std::string_view count =
      line.substr(kHead.size(), line.size() - kHead.size() - kTail.size());
  return count[0] != '0' && count.find_first_not_of("0123456789") == std::string_view::npos;
}

// The width of the line without its escape sequences; aborts on a
// malformed sequence.
std::size_t plainWidth(std::string_view line) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '\x1b') {
      ++width;
      continue;
    }
    FUZZ_CHECK(i + 1 < line.size() && line[i + 1] == '[');
    i += 2;
    while (i < line.size() && ((line[i] >= '0' && line[i] <= '9') || line[i] == ';')) ++i;
    FUZZ_CHECK(i < line.size() && line[i] == 'm');
  }
  return width;
}

}  // namespace

DumpMode dumpModeOf(unsigned index) {
  return DumpMode{.color = (index & 1u) != 0,
                  .uppercase = (index & 2u) != 0,
                  .show_offset = (index & 4u) != 0,
                  .show_ascii = (index & 8u) != 0,
                  .skip_lines = (index & 16u) != 0,
                  .raw = (index & 32u) != 0};
}

void referenceDump(std::span<const std::uint8_t> input, std::span<const std::uint8_t> slots,
                   const DumpMode& mode, const Palette& palette, std::string& out) {
  const DumpMode shown = effective(mode);
  const LineWriter writer(shown, palette);
  const std::size_t lines = (input.size() + kLineBytes - 1) / kLineBytes;
  auto lengthOf = [&](std::size_t line) {
    return std::min(kLineBytes, input.size() - line * kLineBytes);
  };
  auto sameBytes = [&](std::size_t a, std::size_t b) {
    return lengthOf(a) == lengthOf(b) &&
           std::memcmp(&input[a * kLineBytes], &input[b * kLineBytes], lengthOf(a)) == 0;
  };
  auto write = [&](std::size_t line) {
    const std::size_t at = line * kLineBytes;
    writer.line(out, &input[at], &slots[at], lengthOf(line), at);
  };

  // A run of k >= 3 identical lines shows its first line, the count of the
  // k - 2 hidden ones, and its last line.
  for (std::size_t first = 0; first < lines;) {
    std::size_t last = first;
    while (last + 1 < lines && sameBytes(first, last + 1)) ++last;
    if (!shown.skip_lines || last - first < 2) {
      for (std::size_t line = first; line <= last; ++line) write(line);
    } else {
      write(first);
      out += "... " + std::to_string(last - first - 1) + " lines skipped ...\n";
      write(last);
    }
    first = last + 1;
  }
}

void checkDumpShape(std::string_view dump, std::size_t inputSize, const DumpMode& mode) {
  const DumpMode shown = effective(mode);
  // Raw lines are the hex column alone; otherwise "offset ", "| ", the hex
  // column, "|" and " ascii |". Offsets stay below 2^32 here, so the offset
  // column has eight digits.
  std::size_t width = 40;
  if (!shown.raw) width += 2 + 1;
  if (shown.show_offset) width += 9;
  if (shown.show_ascii) width += 19;

  std::size_t lines = 0;
  std::size_t represented = 0;
  while (!dump.empty()) {
    const std::size_t feed = dump.find('\n');
    FUZZ_CHECK(feed != std::string_view::npos);  // every line ends in a line feed
    const std::string_view line = dump.substr(0, feed);
    dump.remove_prefix(feed + 1);
    ++lines;
    if (shown.skip_lines && isSkipMessage(line)) {
      represented += std::stoul(std::string(line.substr(4)));
      continue;
    }
    ++represented;
    if (shown.color) {
      FUZZ_CHECK(plainWidth(line) == width);
    } else {
      FUZZ_CHECK(line.size() == width && line.find('\x1b') == std::string_view::npos);
    }
  }
  const std::size_t expectedLines = (inputSize + kLineBytes - 1) / kLineBytes;
  FUZZ_CHECK(represented == expectedLines);
  FUZZ_CHECK(shown.skip_lines ? lines <= expectedLines : lines == expectedLines);
}

}  // namespace lumo::fuzz
