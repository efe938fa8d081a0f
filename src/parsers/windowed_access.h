#pragma once

#include <cstddef>
#include <cstdint>

#include "parsers/random_access.h"

namespace lumo {

/// The input, read straight through. The one input whose small reads cost a
/// system call each, an opened file, reads ahead itself (FileAccess), so a
/// walk through many short records costs one read per block there and no
/// second copy of each block here. Walks that still wrap their input in this
/// lose nothing by it.
class WindowedAccess final : public RandomAccess {
 public:
  explicit WindowedAccess(const RandomAccess& input) : input_(input) {}

  std::uint64_t size() const override { return input_.size(); }

  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    return input_.readChecked(offset, out, count);
  }

 private:
  const RandomAccess& input_;
};

}  // namespace lumo
