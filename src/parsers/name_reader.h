#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "colormap/label.h"
#include "parsers/input_cursor.h"

namespace lumo {

/// Longer names are cut: no name read from a file costs more.
inline constexpr std::size_t kNameCap = 128;

/// Room for one name; the name read into it lives as long as it does.
using NameStorage = std::array<char, kNameCap>;
// A label's own room holds a name, so a label reads its name lazily.
static_assert(sizeof(NameStorage) == sizeof(Label::storage));

/// What else ends a name besides its length.
enum class NameEnd {
  Length,  // the length alone (a length-prefixed name)
  Nul,     // also its first NUL byte, which is not part of it
};

/// The name of at most `length` bytes at the cursor, cut at kNameCap bytes,
/// read into `storage`. It is read in records of at most
/// InputCursor::kHeldRecord bytes; a record that cannot be read whole (the
/// input ends or fails inside it) ends the name after the records before it.
/// The cursor advances past the records read.
std::string_view readName(InputCursor& cursor, std::uint64_t length, NameEnd end,
                          NameStorage& storage);

/// A name read on first use, once, however many labels ask for it: so a
/// run that builds no label reads no name. The cursor is moved to the name
/// and past it at that first use.
class LazyName {
 public:
  LazyName(InputCursor& cursor, std::uint64_t at, std::uint64_t length, NameEnd end)
      : cursor_(cursor), at_(at), length_(length), end_(end) {}
  std::string_view get() {
    if (!read_) {
      read_ = true;
      cursor_.seek(at_);
      name_ = readName(cursor_, length_, end_, storage_);
    }
    return name_;
  }

 private:
  InputCursor& cursor_;
  std::uint64_t at_;
  std::uint64_t length_;
  NameEnd end_;
  bool read_ = false;
  std::string_view name_;
  NameStorage storage_;
};

}  // namespace lumo
