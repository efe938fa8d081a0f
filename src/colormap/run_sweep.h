#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumo {

class Colormap;

/// No paint: the bytes of a gap are `normal_alt`.
inline constexpr std::uint32_t kNoPaint = 0xffffffff;

/// A stretch of the resolved colormap owned by one paint.
struct PaintRun {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::uint32_t paint = kNoPaint;
  friend bool operator==(const PaintRun&, const PaintRun&) = default;
};

/// The runs of a resolved colormap, front to back, made as they are read:
/// none is stored, so a dump of a file with a hundred thousand structures
/// keeps only the paints open at its position. Runs are sorted and disjoint;
/// neighbours that touch have different owners; offsets outside every run
/// are `normal_alt`.
///
/// The paints come in order of start (then of number); the open ones sit in
/// a heap ordered by paint number, so the latest open paint owns each
/// stretch. Parsers walk a file front to back and paint in order, and the
/// heap then stays small however many paints there are.
class RunSweep {
 public:
  /// Only on a resolved colormap, which must outlive the sweep. Reserves
  /// room for every paint to be open at once: untouched, it costs no memory,
  /// and no later step allocates.
  explicit RunSweep(const Colormap& colormap);

  /// The next run; nothing after the last.
  std::optional<PaintRun> next();

 private:
  // The next paint of one stretch of paints in order; the heap's front is
  // the earliest.
  struct Head {
    std::uint64_t start;
    std::uint32_t paint;
    std::uint32_t end;
    bool operator<(const Head& other) const {
      return start != other.start ? start > other.start : paint > other.paint;
    }
  };
  // An open paint and its end, so the sweep reads each paint once.
  struct Open {
    std::uint32_t paint;
    std::uint64_t end;
    bool operator<(const Open& other) const { return paint < other.paint; }
  };

  bool paintsLeft() const;
  std::uint64_t nextStart() const;
  std::uint32_t peekPaint() const;
  std::uint32_t takePaint();
  // The next stretch of one owner; the caller merges neighbours.
  std::optional<PaintRun> piece();

  const Colormap* colormap_;
  std::vector<Head> heads_;
  std::size_t sorted_ = 0;  // the next place in the colormap's sorted order
  std::vector<Open> open_;
  std::uint64_t at_ = 0;
  std::optional<PaintRun> pending_;
};

}  // namespace lumo
