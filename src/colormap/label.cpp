#include "colormap/label.h"

#include <algorithm>
#include <cstring>

namespace lumo {

LabelText& LabelText::operator<<(std::string_view text) {
  const std::size_t copied = std::min(text.size(), kCapacity - size_);
  // An empty view may have no storage at all, which memcpy must not see.
  if (copied == 0) return *this;
  std::memcpy(text_ + size_, text.data(), copied);
  size_ += copied;
  return *this;
}

LabelText& LabelText::operator<<(std::uint64_t number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

LabelText& LabelText::hex(std::uint64_t number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number, 16).ptr;
  return *this << "0x" << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

ComposedLabel composeLabel(const Label& label) {
  ComposedLabel composed;
  LabelText& text = composed.text;
  text << label.prefix;
  composed.kind_start = text.size();
  text << label.kind;
  composed.kind_size = text.size() - composed.kind_start;
  if (label.index != kNoIndex) text << ' ' << label.index;
  switch (label.form) {
    case NameForm::Word:
      if (!label.name.empty()) text << ' ' << label.name;
      break;
    case NameForm::Spaced: text << ' ' << label.name; break;
    case NameForm::Parenthesized: text << " (" << label.name << ')'; break;
    case NameForm::Quoted: text << " \"" << label.name << '"'; break;
  }
  if (!label.part.empty()) text << ' ' << label.part;
  if (!label.detail.empty()) text << " (" << label.detail << ')';
  return composed;
}

}  // namespace lumo
