#include "render/style_escape.h"

#include <charconv>

namespace lumo {
namespace {

// SGR base numbers: named colors k < 8 use base + k, bright ones
// brightBase + (k - 8); RGB colors use "<rgb>;2;r;g;b".
struct ColorCodes {
  int base;
  int brightBase;
  int rgb;
};
constexpr ColorCodes kForeground{30, 90, 38};
constexpr ColorCodes kBackground{40, 100, 48};

class SequenceWriter {
 public:
  explicit SequenceWriter(EscapeSequence& sequence) : sequence_(sequence) {}
  void text(std::string_view piece) {
    for (char c : piece) sequence_.bytes[sequence_.size++] = c;
  }
  void number(int value) {
    char* begin = sequence_.bytes.data() + sequence_.size;
    auto [end, error] =
        std::to_chars(begin, sequence_.bytes.data() + sequence_.bytes.size(), value);
    (void)error;
    sequence_.size = static_cast<std::uint8_t>(end - sequence_.bytes.data());
  }

 private:
  EscapeSequence& sequence_;
};

EscapeSequence colorSequence(const Color& color, const ColorCodes& codes) {
  EscapeSequence sequence;
  SequenceWriter out(sequence);
  out.text("\x1b[");
  if (color.kind == Color::Kind::Named) {
    out.number(color.index < 8 ? codes.base + color.index : codes.brightBase + color.index - 8);
  } else {
    out.number(codes.rgb);
    out.text(";2;");
    out.number(color.r);
    out.text(";");
    out.number(color.g);
    out.text(";");
    out.number(color.b);
  }
  out.text("m");
  return sequence;
}

EscapeSequence fixedSequence(std::string_view text) {
  EscapeSequence sequence;
  SequenceWriter(sequence).text(text);
  return sequence;
}

}  // namespace

StyleSequences styleSequences(const TextStyle& style) {
  StyleSequences result;
  if (style.fg) result.items[result.count++] = colorSequence(*style.fg, kForeground);
  if (style.bg) result.items[result.count++] = colorSequence(*style.bg, kBackground);
  if (style.dim) result.items[result.count++] = fixedSequence(kDim);
  if (style.bold) result.items[result.count++] = fixedSequence(kBold);
  return result;
}

StyleEscape styleEscape(const TextStyle& style) {
  StyleEscape escape;
  StyleSequences sequences = styleSequences(style);
  for (std::size_t i = 0; i < sequences.count; ++i) {
    for (char c : sequences.items[i].view()) escape.bytes[escape.size++] = c;
  }
  return escape;
}

Status writeStyle(const TextStyle& style, ByteSink& out) {
  StyleSequences sequences = styleSequences(style);
  for (std::size_t i = 0; i < sequences.count; ++i) {
    if (Status written = out.write(sequences.items[i].view()); !written) return written;
  }
  return {};
}

SlotEscapes slotEscapes(const Palette& palette) {
  SlotEscapes escapes;
  for (std::size_t slot = 0; slot < kSlotCount; ++slot) escapes[slot] = styleEscape(palette[slot]);
  return escapes;
}

}  // namespace lumo
