#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string_view>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/byte_order.h"
#include "parsers/forward_walk.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint8_t kMarkerStart = 0xff;
constexpr std::uint8_t kSoi = 0xd8;
constexpr std::uint8_t kEoi = 0xd9;
constexpr std::uint8_t kSos = 0xda;
constexpr std::uint8_t kTem = 0x01;
constexpr std::uint8_t kStuffed = 0x00;
constexpr std::uint64_t kMarkerSize = 2;
constexpr std::uint64_t kSegmentHeaderSize = 4;  // the marker and the length
// Real files have a few dozen segments; a crafted file of millions of
// four-byte segments would cost two paints each. Scans follow SOS segments,
// so they are bounded too.
constexpr std::uint64_t kMaxSegments = 262144;
// An APPn segment's payload begins with its owner's name ("Exif", "JFIF",
// the XMP namespace); longer ones are cut.
constexpr std::uint64_t kIdentifierCap = 32;
// What the walk reads at a marker: its fill bytes, the marker, the length
// and an APPn name.
constexpr std::uint64_t kMarkerLookahead = kSegmentHeaderSize + kIdentifierCap;
static_assert(kMarkerLookahead <= InputCursor::kHeldRecord);
static_assert(kMarkerLookahead <= kForwardLookahead);

// Scan data is read in pieces of this size: a scan is most of a JPEG, and
// smaller reads cost more than looking at the bytes.
constexpr std::size_t kScanPiece = 4096;

bool isRestart(std::uint8_t code) { return code >= 0xd0 && code <= 0xd7; }

// Markers without a length: TEM and RSTn (SOI and EOI are the walk's own).
bool isStandalone(std::uint8_t code) { return code == kTem || isRestart(code); }

// The marker's name, as --section takes it; empty for the reserved codes.
void appendMarkerName(LabelText& text, std::uint8_t code) {
  struct Named {
    std::uint8_t code;
    std::string_view name;
  };
  constexpr Named kNames[] = {
      {kTem, "TEM"}, {0xc4, "DHT"}, {0xc8, "JPG"}, {0xcc, "DAC"}, {kSoi, "SOI"},
      {kEoi, "EOI"}, {kSos, "SOS"}, {0xdb, "DQT"}, {0xdc, "DNL"}, {0xdd, "DRI"},
      {0xde, "DHP"}, {0xdf, "EXP"}, {0xfe, "COM"},
  };
  for (const Named& named : kNames) {
    if (named.code == code) {
      text << named.name;
      return;
    }
  }
  if (code >= 0xc0 && code <= 0xcf) {
    text << "SOF" << std::uint64_t{code - 0xc0u};
  } else if (isRestart(code)) {
    text << "RST" << std::uint64_t{code - 0xd0u};
  } else if (code >= 0xe0 && code <= 0xef) {
    text << "APP" << std::uint64_t{code - 0xe0u};
  } else if (code >= 0xf0 && code <= 0xfd) {
    text << "JPG" << std::uint64_t{code - 0xf0u};
  }
}

// The name an APPn payload begins with, up to its NUL: `payload` holds the
// payload's first bytes in memory.
std::string_view identifierOf(ByteSpan payload) {
  const std::size_t limit = std::min<std::size_t>(payload.size(), kIdentifierCap);
  std::size_t size = 0;
  while (size < limit && payload[size] != 0) ++size;
  return {reinterpret_cast<const char*>(payload.data()), size};
}

// How a piece of entropy-coded data ends: at a marker, `at` bytes in, or
// without one after `at` bytes (all of them, or all but a final FF whose
// next byte decides).
struct ScanPiece {
  bool marker = false;
  std::size_t at = 0;
};

// Looks at each byte of `bytes` once: stuffed bytes and restart markers
// belong to the data.
ScanPiece scanPiece(ByteSpan bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const void* found = std::memchr(bytes.data() + at, kMarkerStart, bytes.size() - at);
    if (found == nullptr) break;
    const auto ff =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
    if (ff + 1 == bytes.size()) return {.marker = false, .at = ff};
    const std::uint8_t code = bytes[ff + 1];
    if (code != kStuffed && !isRestart(code)) return {.marker = true, .at = ff};
    at = ff + 2;
  }
  return {.marker = false, .at = bytes.size()};
}

// One marker the walk found: where it starts, its code and, for a segment,
// its length field (which counts itself).
struct JpegMarker {
  std::uint64_t index = 0;
  std::uint64_t start = 0;
  std::uint8_t code = 0;
  std::uint64_t length = 0;
};

// The walk over markers, segments and scans, front to back. It works on the
// bytes before `end` of `input`, which may be all of the input or what a
// stream holds so far, and keeps its place between calls.
class JpegWalk {
 public:
  /// Walks on over the bytes of `input` before `end`, the end of the input
  /// when `ended`. Returns the offset before which everything is painted
  /// for good; UINT64_MAX once the walk is over.
  std::uint64_t advance(const RandomAccess& input, std::uint64_t end, bool ended,
                        Colormap& colormap) {
    InputCursor cursor(input);
    const Painter painter(colormap);
    if (state_ == State::Start) {
      painter.fill(kNormalAlt);
      painter.paint(0, kMarkerSize, kC1, titled("SOI"));
      state_ = State::Markers;
      next_ = kMarkerSize;
    }
    while (state_ != State::Done) {
      const bool more = state_ == State::Markers ? markers(cursor, end, ended, painter)
                                                 : scan(cursor, end, ended, painter);
      if (!more) return std::min(next_, end);
    }
    return std::numeric_limits<std::uint64_t>::max();
  }

 private:
  enum class State : std::uint8_t { Start, Markers, Scan, Done };

  // Walks markers from next_; false when it waits for more bytes.
  bool markers(InputCursor& cursor, std::uint64_t end, bool ended, const Painter& painter) {
    while (state_ == State::Markers) {
      if (segments_ == kMaxSegments || (ended && next_ >= end)) {
        if (segments_ == kMaxSegments && next_ < end) {
          painter.stop(next_, LabelText() << "after " << kMaxSegments << " segments");
        }
        state_ = State::Done;
        break;
      }
      if (next_ >= end) return false;
      const std::uint64_t have = end - next_;
      if (!ended && have < kMarkerLookahead) return false;
      cursor.seek(next_);
      const ByteSpan bytes = cursor.peekUpTo(std::min(have, kMarkerLookahead));
      if (bytes.empty() || bytes[0] != kMarkerStart) {
        if (!bytes.empty()) {
          painter.stop(next_, (LabelText() << "byte ").hex(bytes[0])
                                  << " where a marker should be");
        }
        state_ = State::Done;  // not a marker: damage
        break;
      }
      // Fill bytes: every FF but the last belongs to no structure.
      std::size_t fill = 0;
      while (fill + 1 < bytes.size() && bytes[fill + 1] == kMarkerStart) ++fill;
      if (fill > 0) {
        next_ += fill;
        continue;
      }
      if (bytes.size() < kMarkerSize) {
        painter.stop(next_, LabelText() << "input ends inside a marker");
        state_ = State::Done;  // the input ends in a lone FF
        break;
      }
      const std::uint64_t at = next_;
      walkMarker(bytes, painter);
      if (ended && next_ > end && state_ != State::Done) {
        painter.stop(at, LabelText() << "segment " << segments_ - 1 << " claims "
                                     << next_ - at - kMarkerSize << " bytes, past the end");
      }
    }
    return true;
  }

  // Paints the marker whose first bytes (at next_) are `bytes`.
  void walkMarker(ByteSpan bytes, const Painter& painter) {
    const std::uint8_t code = bytes[1];
    if (code == kEoi) {
      painter.paint(next_, kMarkerSize, kC1, titled("EOI"));
      state_ = State::Done;
      return;
    }
    if (code == kStuffed || code == kSoi) {
      painter.stop(next_, code == kSoi ? LabelText() << "a second SOI"
                                       : LabelText() << "ff 00 where a marker should be");
      state_ = State::Done;  // no marker, or a second start: damage
      return;
    }
    JpegMarker m{.index = segments_, .start = next_, .code = code};
    if (isStandalone(code)) {
      paintMarker(painter, m, {});
      next_ += kMarkerSize;
      ++segments_;
      return;
    }
    if (bytes.size() < kSegmentHeaderSize) {
      painter.stop(next_, LabelText() << "input ends inside segment " << m.index << "'s length");
      state_ = State::Done;  // the length is cut short
      return;
    }
    m.length = loadUnsigned(bytes, {2, 2}, ByteOrder::Big);
    if (m.length < 2) {
      painter.stop(
          next_, LabelText() << "segment " << m.index << " has length " << m.length << ", under 2");
      state_ = State::Done;  // a length must count itself
      return;
    }
    paintMarker(painter, m, bytes.subspan(kSegmentHeaderSize));
    ++segments_;
    // The length has 16 bits and next_ lies inside the input: no wrap.
    next_ += kMarkerSize + m.length;
    if (code == kSos) {
      state_ = State::Scan;
      scanStart_ = pieceStart_ = scanned_ = next_;
    }
  }

  // The marker's paints and, for a segment with a length, its payload as a
  // section (a marker that several segments have is ambiguous, and each is
  // reachable by its number). `payload` holds the payload's first bytes in memory.
  void paintMarker(const Painter& painter, const JpegMarker& m, ByteSpan payload) {
    const std::uint64_t header = m.length == 0 ? kMarkerSize : kSegmentHeaderSize;
    const std::uint64_t size = m.length == 0 ? 0 : m.length - 2;
    const std::uint64_t data = m.start + header;
    // "segment 1 APP1 (Exif)", its payload selectable by the marker's name.
    const auto describe = [&](Label& label) {
      label.index = m.index;
      appendMarkerName(label.scratch[0], m.code);
      label.name = label.scratch[0].view();
      if (label.name.empty()) {
        constexpr std::string_view kHex = "0123456789abcdef";
        label.name =
            (label.scratch[1] << "marker 0x" << kHex[m.code >> 4] << kHex[m.code & 0xf]).view();
      }
      if (m.code >= 0xe0 && m.code <= 0xef) {
        label.detail =
            identifierOf(payload.subspan(0, std::min<std::size_t>(payload.size(), size)));
      }
    };
    painter.paint(m.start, header, alternatingSlot(kC2, m.index), [&](Label& label) {
      describe(label);
      label.kind = "segment";
    });
    painter.paintSelectable(data, size, alternatingSlot(kC2Alt, m.index), [&](Label& label) {
      describe(label);
      label.kind = "payload of segment";
      if (m.length != 0) label.select = label.scratch[0].view();
    });
  }

  // Scans entropy-coded data from scanned_ for the marker that ends it;
  // false when it waits for more bytes. Each byte is looked at once.
  bool scan(InputCursor& cursor, std::uint64_t end, bool ended, const Painter& painter) {
    while (scanned_ < end) {
      cursor.seek(scanned_);
      const ByteSpan bytes = cursor.peekInto(std::span(piece_).first(
          static_cast<std::size_t>(std::min<std::uint64_t>(end - scanned_, piece_.size()))));
      if (bytes.empty()) break;
      const ScanPiece piece = scanPiece(bytes);
      if (piece.marker) {
        endScan(painter, scanned_ + piece.at);
        return true;
      }
      if (piece.at == 0) break;  // a lone FF whose next byte is not here yet
      scanned_ += piece.at;
    }
    if (ended) {
      // The input ends inside the scan: what is there is its data (none
      // when the SOS segment itself runs past the end).
      endScan(painter, std::max(end, scanned_));
      state_ = State::Done;
      return true;
    }
    // Painted as it passes, so that a stream holds no more than it shows.
    paintScan(painter, scanned_);
    pieceStart_ = scanned_;
    next_ = scanned_;
    return false;
  }

  // The scan's data is selectable as "scan N": its paint when that is the
  // whole scan, else marked apart.
  void endScan(const Painter& painter, std::uint64_t marker) {
    const auto select = [&](Label& label) {
      label.select = (label.scratch[0] << "scan " << scans_).view();
    };
    if (pieceStart_ == scanStart_) {
      painter.paintSelectable(pieceStart_, marker - pieceStart_, alternatingSlot(kC4Alt, scans_),
                              [&](Label& label) {
                                describeScan(label);
                                select(label);
                              });
    } else {
      paintScan(painter, marker);
      painter.mark(scanStart_, marker - scanStart_, marker > scanStart_, [&](Label& label) {
        select(label);
        label.kind = "section";
        label.name = label.select;
      });
    }
    ++scans_;
    next_ = marker;
    state_ = State::Markers;
  }

  // "scan 0 data"
  void describeScan(Label& label) const {
    label.kind = "scan";
    label.index = scans_;
    label.part = "data";
  }

  // Paints the scan's data from pieceStart_ to `until` (or the end).
  void paintScan(const Painter& painter, std::uint64_t until) {
    painter.paint(pieceStart_, until - pieceStart_, alternatingSlot(kC4Alt, scans_),
                  [&](Label& label) { describeScan(label); });
  }

  State state_ = State::Start;
  std::uint64_t next_ = 0;  // where the next marker or its fill begins
  std::uint64_t segments_ = 0;
  std::uint64_t scans_ = 0;
  std::uint64_t scanStart_ = 0;   // the scan's first byte
  std::uint64_t pieceStart_ = 0;  // the first byte of the scan not painted yet
  std::uint64_t scanned_ = 0;     // the first byte of the scan not looked at yet
  // Scan data is looked through a piece at a time.
  std::array<std::uint8_t, kScanPiece> piece_{};
};

class JpegForwardWalk final : public ForwardWalk {
 public:
  std::uint64_t advance(const StreamView& view, Colormap& colormap) override {
    return walk_.advance(view, view.end(), view.ended(), colormap);
  }

 private:
  JpegWalk walk_;
};

}  // namespace

void colorizeJpeg(const RandomAccess& input, Colormap& colormap) {
  JpegWalk().advance(input, input.size(), true, colormap);
}

std::unique_ptr<ForwardWalk> makeJpegForwardWalk() { return std::make_unique<JpegForwardWalk>(); }

const Format kJpegFormat{
    .name = "jpeg",
    .description = "JPEG images",
    .prefix = 3,
    .matches = [](ByteSpan start) { return startsWith(start, "\xff\xd8\xff"); },
    // Segments and scans follow one another, so the image is colored as it flows.
    .need = InputNeed::Forward,
    .colorize = colorizeJpeg,
    .forward = makeJpegForwardWalk,
};

}  // namespace lumo
