#pragma once

#include <cstddef>
#include <vector>

#include "platform/memory.h"

namespace lumo {

/// A list that grows in blocks of 4096 elements: growing never copies more
/// than one block, and finding an element is a shift and a mask. Holds the
/// colormap's paints, which a hostile table makes many of.
template <typename T>
class BlockList {
  static constexpr std::size_t kShift = 12;
  static constexpr std::size_t kBlock = std::size_t{1} << kShift;
  static constexpr std::size_t kMask = kBlock - 1;

 public:
  /// Front to back, for range-for loops.
  class const_iterator {
   public:
    const_iterator(const BlockList* list, std::size_t index) : list_(list), index_(index) {}
    const T& operator*() const { return (*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.index_ == b.index_;
    }

   private:
    const BlockList* list_;
    std::size_t index_;
  };

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return blocks_[i >> kShift][i & kMask]; }
  const T& operator[](std::size_t i) const { return blocks_[i >> kShift][i & kMask]; }
  T& back() { return (*this)[size_ - 1]; }
  const T& back() const { return (*this)[size_ - 1]; }

  void push_back(const T& value) {
    if ((size_ & kMask) == 0) {
      blocks_.emplace_back();
      // Past the first block the list is long: take a whole block at once,
      // its pages mapped in one go rather than faulted in one by one.
      if (blocks_.size() > 1) {
        blocks_.back().reserve(kBlock);
        platform::mapForWriting(blocks_.back().data(), kBlock * sizeof(T));
      }
    }
    blocks_.back().push_back(value);
    ++size_;
  }
  void clear() {
    blocks_.clear();
    size_ = 0;
  }

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  // The first block grows as a vector does, up to kBlock elements, so a
  // small list stays small.
  std::vector<std::vector<T>> blocks_;
  std::size_t size_ = 0;
};

}  // namespace lumo
