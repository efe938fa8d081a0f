#include "colormap/run_sweep.h"

#include <algorithm>
#include <limits>

#include "colormap/colormap.h"

namespace lumo {
namespace {

constexpr std::uint64_t kEnd = std::numeric_limits<std::uint64_t>::max();

}  // namespace

RunSweep::RunSweep(const Colormap& colormap) : colormap_(&colormap) {
  const PaintList& paints = colormap.paints();
  const std::vector<std::uint32_t>& stretches = colormap.order().stretches;
  for (std::size_t k = 0; k + 1 < stretches.size(); ++k) {
    heads_.push_back(Head{paints[stretches[k]].start, stretches[k], stretches[k + 1]});
  }
  std::make_heap(heads_.begin(), heads_.end());
  open_.reserve(paints.size());
}

bool RunSweep::paintsLeft() const {
  return colormap_->order().by_start.empty() ? !heads_.empty()
                                             : sorted_ < colormap_->order().by_start.size();
}

std::uint64_t RunSweep::nextStart() const {
  if (!paintsLeft()) return kEnd;
  if (!colormap_->order().by_start.empty())
    return colormap_->paints()[colormap_->order().by_start[sorted_]].start;
  return heads_.front().start;
}

std::uint32_t RunSweep::peekPaint() const {
  return colormap_->order().by_start.empty() ? heads_.front().paint
                                             : colormap_->order().by_start[sorted_];
}

std::uint32_t RunSweep::takePaint() {
  if (!colormap_->order().by_start.empty()) return colormap_->order().by_start[sorted_++];
  const PaintList& paints = colormap_->paints();
  if (heads_.size() == 1) {  // paints in order: no heap to keep
    Head& head = heads_.front();
    const std::uint32_t paint = head.paint++;
    if (head.paint < head.end) {
      head.start = paints[head.paint].start;
    } else {
      heads_.clear();
    }
    return paint;
  }
  std::pop_heap(heads_.begin(), heads_.end());
  Head& head = heads_.back();
  const std::uint32_t paint = head.paint;
  if (++head.paint < head.end) {
    head.start = paints[head.paint].start;
    std::push_heap(heads_.begin(), heads_.end());
  } else {
    heads_.pop_back();
  }
  return paint;
}

std::optional<PaintRun> RunSweep::piece() {
  const PaintList& paints = colormap_->paints();
  const auto ended = [&] { return !open_.empty() && open_.front().end <= at_; };
  const auto pop = [&] {
    std::pop_heap(open_.begin(), open_.end());
    open_.pop_back();
  };
  while (paintsLeft() || !open_.empty()) {
    // Ended paints go before new ones come: beneath a newer paint they would
    // stay, and a heap of every paint so far makes each push cost more.
    while (ended()) pop();
    std::uint64_t next = nextStart();
    if (open_.empty()) at_ = std::max(at_, next);
    while (paintsLeft() && next <= at_) {
      const std::uint32_t paint = takePaint();
      const std::uint64_t end = paints[paint].end;
      const std::uint64_t start = next;
      next = nextStart();
      // A later paint from the same start that reaches as far hides this
      // one whole (a segment and a section of one range): it never owns a
      // byte, so it need not enter the heap.
      if (next == start && paintsLeft() && paints[peekPaint()].end >= end) continue;
      open_.push_back(Open{paint, end});
      std::push_heap(open_.begin(), open_.end());
    }
    while (ended()) pop();
    if (open_.empty()) continue;
    const Open owner = open_.front();
    const PaintRun run{at_, std::min(owner.end, next), owner.paint};
    at_ = run.end;
    return run;
  }
  return std::nullopt;
}

std::optional<PaintRun> RunSweep::next() {
  // One piece ahead, so that pieces of one owner that touch come out as one
  // run (a paint that hides one beneath it is split where that one starts).
  if (!pending_) pending_ = piece();
  if (!pending_) return std::nullopt;
  PaintRun run = *pending_;
  pending_ = piece();
  while (pending_ && pending_->paint == run.paint && pending_->start == run.end) {
    run.end = pending_->end;
    pending_ = piece();
  }
  return run;
}

}  // namespace lumo
