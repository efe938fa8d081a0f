#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/byte_span.h"

namespace lumo {

class Colormap;
class ForwardWalk;
class RandomAccess;

/// What a format reads of its input, which decides how a stream is fed to it.
enum class InputNeed : std::uint8_t {
  /// The matched prefix only: a stream is dumped as it flows.
  Prefix,
  /// Front to back, as bytes pass: a stream is colored as it flows, by the
  /// format's forward walk.
  Forward,
  /// Any offset (headers point anywhere): a stream is held whole first.
  Anywhere,
};

/// One format: everything the program knows of it outside its own file.
/// Each is defined in its format's file and listed once, in the registry.
struct Format {
  /// The `--parser` name and the help line's description.
  std::string_view name;
  std::string_view description;
  /// How many first bytes `matches` reads at most.
  std::size_t prefix = 0;
  /// True when the input beginning with `start` (its first `prefix` bytes,
  /// fewer for a shorter input) is of this format.
  bool (*matches)(ByteSpan start) = nullptr;
  InputNeed need = InputNeed::Anywhere;
  /// Paints the colormap of `input`; a format that runs out of input stops
  /// quietly with what it painted so far. May throw std::bad_alloc.
  void (*colorize)(const RandomAccess& input, Colormap& colormap) = nullptr;
  /// For a Forward format: a new walk that colors a stream as it flows.
  std::unique_ptr<ForwardWalk> (*forward)() = nullptr;
};

/// True when `start` begins with `magic`.
inline bool startsWith(ByteSpan start, std::string_view magic) {
  if (start.size() < magic.size()) return false;
  for (std::size_t k = 0; k < magic.size(); ++k) {
    if (start[k] != static_cast<std::uint8_t>(magic[k])) return false;
  }
  return true;
}

}  // namespace lumo
