#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumo {

/// Builds a short text on the stack (so a parser that keeps no names pays
/// nothing): `LabelText() << "section " << 14 << ' ' << name`. Text beyond
/// kCapacity bytes is dropped.
class LabelText {
 public:
  static constexpr std::size_t kCapacity = 255;
  LabelText& operator<<(std::string_view text);
  LabelText& operator<<(char c) { return *this << std::string_view(&c, 1); }
  LabelText& operator<<(std::uint64_t number);
  /// Appends `number` in hexadecimal: "0x1f".
  LabelText& hex(std::uint64_t number);
  std::string_view view() const { return {text_, size_}; }
  std::size_t size() const { return size_; }

 private:
  // Left uncleared: only the first size_ bytes are read, and a label
  // (with its two scratch texts) is made for each structure when names are
  // kept. A copy copies the bytes as they are (the type is trivially copyable).
  char text_[kCapacity];
  std::size_t size_ = 0;
};

/// No index: the label names a structure that is no numbered entry.
inline constexpr std::uint64_t kNoIndex = UINT64_MAX;

/// How a label's name follows its kind and index in the text.
enum class NameForm : std::uint8_t {
  Word,           // " NAME", left out when the name is empty
  Spaced,         // " NAME", its space kept when the name is empty
  Parenthesized,  // " (NAME)"
  Quoted,         // " \"NAME\""
};

/// What a structure is, as fields; its text is composed from them:
/// `kind index name part (detail)`, each left out when empty, the name in
/// its `form`: "program header 2 (LOAD)", "section 14 .text",
/// "custom section \"name\"", "image 0 descriptor (10x10)".
///
/// The views are the parser's and need to live only until the painter has
/// recorded the label; `scratch` and `storage` are room for text that the
/// label itself builds (a detail, a name read from the input).
struct Label {
  std::string_view kind;
  std::uint64_t index = kNoIndex;
  std::string_view name;  // raw bytes from the input; escaped when printed
  NameForm form = NameForm::Word;
  std::string_view part;    // what part of the numbered structure: "data", "name"
  std::string_view detail;  // in parentheses at the end: "LOAD, r-x"
  /// The name `--section` selects it by; empty when it cannot be selected.
  std::string_view select;
  /// Before the text: the structure it lies in, set by a clipped painter
  /// ("slice 1 (arm64): ").
  std::string_view prefix;
  LabelText scratch[2];
  std::array<char, 128> storage;
};

/// The label's text, after its prefix, and where its kind lies in that text
/// (cut with it at LabelText::kCapacity).
struct ComposedLabel {
  LabelText text;
  std::size_t kind_start = 0;
  std::size_t kind_size = 0;
};
ComposedLabel composeLabel(const Label& label);

}  // namespace lumo
