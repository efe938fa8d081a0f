#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/byte_order.h"
#include "parsers/forward_walk.h"
#include "parsers/input_cursor.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kHeaderSize = 10;
constexpr std::uint64_t kTrailerSize = 8;  // CRC-32 and ISIZE
constexpr std::uint64_t kHeaderCrcSize = 2;
constexpr std::uint8_t kFlagHeaderCrc = 0x02;
constexpr std::uint8_t kFlagExtra = 0x04;
constexpr std::uint8_t kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10;
// Names and comments longer than this are taken as damage: real ones are a
// file name or a line, and the scan for their NUL then stays short.
constexpr std::uint64_t kMaxTextScan = 65536;
// Longer names are cut in labels and section names.
constexpr std::uint64_t kNameCap = 128;
// A BGZF block holds at most 64 KiB of input, so a 1 GiB file of 8 KiB
// blocks has this many; a crafted file of millions of empty blocks then
// costs no more than such a file.
constexpr std::uint64_t kMaxMembers = 131072;

// A member's fields as its header gives them.
struct GzipMember {
  std::uint64_t index = 0;
  std::uint64_t start = 0;
  std::uint8_t flags = 0;
  std::optional<std::uint64_t> block_size;  // from a BGZF "BC" subfield
};

// A zero-terminated field: where it starts, its length with the NUL, and
// its first kNameCap bytes.
struct TextField {
  std::uint64_t start = 0;
  std::uint64_t length = 0;
  std::array<char, kNameCap> text{};
  std::size_t text_size = 0;
  std::string_view view() const { return {text.data(), text_size}; }
};

// The total size of a BGZF block from the extra field at the cursor (after
// XLEN), whose `length` bytes lie in the input; nothing for other members.
std::optional<std::uint64_t> bgzfBlockSize(InputCursor& cursor, std::uint64_t length) {
  const std::uint64_t end = cursor.position() + length;
  // Each subfield takes at least four bytes, and XLEN is 16 bits: a short walk.
  while (cursor.position() + 4 <= end) {
    const Result<ByteSpan> head = cursor.readExact(4);
    if (!head) return std::nullopt;
    const std::uint16_t size = loadLe16(*head, 2);
    if ((*head)[0] == 'B' && (*head)[1] == 'C' && size == 2 && cursor.position() + 2 <= end) {
      const Result<ByteSpan> value = cursor.readExact(2);
      if (!value) return std::nullopt;
      return std::uint64_t{loadLe16(*value, 0)} + 1;
    }
    if (!cursor.skip(size)) return std::nullopt;
  }
  return std::nullopt;
}

// "gzip member 0 header", "name in gzip member 0 (a.txt)": `kind`, the
// member's number, then `part` and the detail in parentheses, if any.
auto memberPart(std::string_view kind, const GzipMember& m, std::string_view part = {},
                std::string_view detail = {}) {
  return [kind, index = m.index, part, detail](Label& label) {
    label.kind = kind;
    label.index = index;
    label.part = part;
    label.detail = detail;
  };
}

// A header field waits whole in memory: the extra field (2 + 65535 bytes),
// or a name or comment scanned for its NUL (kMaxTextScan bytes and a record).
constexpr std::size_t kHeaderFieldLookahead = kMaxTextScan + 4096;

// The walk over a whole input and over a stream alike, so that both get the
// same colors. Each field of a member's header is walked once it is in
// memory, or the input has ended; the data that runs to the end of the
// input is painted at once, and its trailer once the end is known.
class GzipWalk final : public ForwardWalk {
 public:
  std::uint64_t advance(const StreamView& view, Colormap& colormap) override {
    return step(view, view.end(), view.ended(), colormap);
  }
  std::uint64_t tail() const override { return kTrailerSize; }
  std::size_t lookahead() const override { return kHeaderFieldLookahead; }

  // Walks on over the bytes before `end` (all of them: `ended`); returns
  // the offset before which every byte is painted for good.
  std::uint64_t step(const RandomAccess& input, std::uint64_t end, bool ended, Colormap& colormap) {
    const Painter painter(colormap);
    if (!started_) {
      painter.fill(kNormalAlt);
      started_ = true;
    }
    InputCursor cursor(input);
    for (;;) {
      std::optional<std::uint64_t> wait;
      switch (phase_) {
        case Phase::Header: wait = header(cursor, end, ended, painter); break;
        case Phase::Extra: wait = extra(cursor, end, ended, painter); break;
        case Phase::Name:
        case Phase::Comment: wait = text(cursor, end, ended, painter); break;
        case Phase::HeaderCrc: wait = headerCrc(end, ended, painter); break;
        case Phase::Data: wait = data(end, ended, painter); break;
        case Phase::Done: return std::numeric_limits<std::uint64_t>::max();
      }
      if (wait) return *wait;
    }
  }

 private:
  enum class Phase : std::uint8_t { Header, Extra, Name, Comment, HeaderCrc, Data, Done };

  // Each step returns where the walk waits for more bytes, or nothing when
  // it goes on (in another phase, or done).
  std::optional<std::uint64_t> header(InputCursor& cursor, std::uint64_t end, bool ended,
                                      const Painter& painter) {
    if (m_.index == kMaxMembers) {
      if (m_.start < end) {
        painter.stop(m_.start, LabelText() << "after " << kMaxMembers << " members");
      }
      return stop();
    }
    if (!ended && m_.start >= end) return end;
    if (!ended && end - m_.start < kHeaderSize) return m_.start;
    cursor.seek(m_.start);
    const Result<ByteSpan> header = cursor.readExact(kHeaderSize);
    if (!header || (*header)[0] != 0x1f || (*header)[1] != 0x8b || (*header)[2] != 8) {
      if (m_.start < end) {
        painter.stop(
            m_.start,
            header ? LabelText() << "no gzip header where member " << m_.index << " should begin"
                   : LabelText() << "input ends inside member " << m_.index << "'s header");
      }
      return stop();
    }
    m_.flags = (*header)[3];
    painter.paint(m_.start, kHeaderSize, alternatingSlot(kC2, m_.index),
                  memberPart("gzip member", m_, "header"));
    at_ = m_.start + kHeaderSize;
    return next(Phase::Header);
  }

  std::optional<std::uint64_t> extra(InputCursor& cursor, std::uint64_t end, bool ended,
                                     const Painter& painter) {
    if (!ended && end - at_ < 2) return at_;
    cursor.seek(at_);
    const Result<ByteSpan> xlen = cursor.readExact(2);
    if (!xlen) {
      painter.stop(m_.start, LabelText() << "input ends inside member " << m_.index
                                         << "'s extra field length");
      return stop();
    }
    const std::uint16_t length = loadLe16(*xlen, 0);
    const std::uint64_t extra_end = cursor.position() + length;
    if (!ended && end < extra_end) return at_;
    if (extra_end > end) {
      painter.stop(at_, LabelText() << "extra field of member " << m_.index << " claims "
                                    << std::uint64_t{length} << " bytes, past the end");
      return stop();
    }
    painter.paint(at_, 2 + length, alternatingSlot(kC2Accent, m_.index),
                  memberPart("extra field in gzip member", m_));
    m_.block_size = bgzfBlockSize(cursor, length);
    at_ = extra_end;
    return next(Phase::Extra);
  }

  // Scans the name or comment for its NUL, on from where the last call
  // stopped; a field with no NUL within kMaxTextScan bytes, or before the
  // end, ends the walk.
  std::optional<std::uint64_t> text(InputCursor& cursor, std::uint64_t end, bool ended,
                                    const Painter& painter) {
    while (text_.length < kMaxTextScan) {
      const std::uint64_t at = text_.start + text_.length;
      if (at >= end) {
        if (ended) {
          painter.stop(m_.start, LabelText() << "input ends inside the " << textKind()
                                             << " of member " << m_.index);
          return stop();
        }
        return text_.start;
      }
      cursor.seek(at);
      // Records of one size from the field's start, as a whole input has
      // them; none past the bytes in memory.
      const std::uint64_t record =
          InputCursor::kHeldRecord - text_.length % InputCursor::kHeldRecord;
      const ByteSpan bytes = cursor.peekUpTo(std::min(record, end - at));
      if (bytes.empty()) return stop();
      for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (bytes[k] == 0) {
          text_.length += k + 1;
          paintText(painter);
          at_ = text_.start + text_.length;
          return next(phase_);
        }
        if (text_.text_size < kNameCap) text_.text[text_.text_size++] = static_cast<char>(bytes[k]);
      }
      text_.length += bytes.size();
    }
    painter.stop(text_.start, LabelText()
                                  << "no NUL in the first " << kMaxTextScan << " bytes of the "
                                  << textKind() << " of member " << m_.index);
    return stop();
  }

  std::string_view textKind() const { return phase_ == Phase::Name ? "name" : "comment"; }

  void paintText(const Painter& painter) {
    const PaletteSlot slot = alternatingSlot(kC2Accent, m_.index);
    if (phase_ == Phase::Name) {
      painter.paint(text_.start, text_.length, slot,
                    memberPart("name in gzip member", m_, {}, text_.view()));
      name_ = text_;
    } else {
      painter.paint(text_.start, text_.length, slot, memberPart("comment in gzip member", m_));
    }
  }

  std::optional<std::uint64_t> headerCrc(std::uint64_t end, bool ended, const Painter& painter) {
    if (!ended && end - at_ < kHeaderCrcSize) return at_;
    painter.paint(at_, kHeaderCrcSize, alternatingSlot(kC2, m_.index),
                  memberPart("header CRC of gzip member", m_));
    if (at_ > end || end - at_ < kHeaderCrcSize) {
      painter.stop(m_.start, LabelText()
                                 << "input ends inside member " << m_.index << "'s header CRC");
      return stop();
    }
    at_ += kHeaderCrcSize;
    return next(Phase::HeaderCrc);
  }

  // Only a BGZF block says where it ends; any other member runs to the end
  // of the input, with its trailer in the last eight bytes.
  std::optional<std::uint64_t> data(std::uint64_t end, bool ended, const Painter& painter) {
    const std::uint64_t data = at_;
    const PaletteSlot data_slot = alternatingSlot(kC2Alt, m_.index);
    const PaletteSlot header_slot = alternatingSlot(kC2, m_.index);
    const bool sized = m_.block_size && *m_.block_size >= data - m_.start + kTrailerSize;
    if (!sized && !ended) {
      // Its end is not known yet: everything up to it is data, and the
      // trailer is painted over the last bytes once they are known.
      if (!data_painted_) painter.paint(data, UINT64_MAX, data_slot);
      data_painted_ = true;
      return end;
    }
    // The member's start lies inside the input and a block is at most
    // 65536 bytes: no wrap.
    const std::uint64_t member_end = sized ? m_.start + *m_.block_size : end;
    const std::uint64_t trailer = member_end - std::min(member_end - data, kTrailerSize);
    // The data is selectable by the member's name, when it can be given on
    // a command line (no NUL byte).
    const auto select = [&](Label& label) {
      if (name_ && name_->view().find('\0') == std::string_view::npos) {
        label.select = name_->view();
      }
    };
    const auto describe = memberPart("data of gzip member", m_);
    if (!data_painted_) {
      painter.paintSelectable(data, trailer - data, data_slot, [&](Label& label) {
        describe(label);
        select(label);
      });
    } else {
      painter.mark(data, trailer - data, trailer > data, [&](Label& label) {
        select(label);
        label.kind = "section";
        label.name = label.select;
      });
    }
    painter.paint(trailer, member_end - trailer, header_slot,
                  memberPart("trailer of gzip member", m_));
    if (!sized) return stop();
    if (member_end > end) {
      painter.stop(m_.start, LabelText() << "member " << m_.index << " claims " << *m_.block_size
                                         << " bytes, past the end");
    }
    // The next member, if any: a header that the input cuts short ends the walk.
    m_ = GzipMember{.index = m_.index + 1, .start = member_end, .flags = 0, .block_size = {}};
    name_.reset();
    phase_ = Phase::Header;
    return std::nullopt;
  }

  // Moves on to the header field after `done` that the member's flags have.
  std::optional<std::uint64_t> next(Phase done) {
    static constexpr std::array<std::pair<Phase, std::uint8_t>, 4> kFields = {{
        {Phase::Extra, kFlagExtra},
        {Phase::Name, kFlagName},
        {Phase::Comment, kFlagComment},
        {Phase::HeaderCrc, kFlagHeaderCrc},
    }};
    phase_ = Phase::Data;
    bool after = done == Phase::Header;
    for (const auto& [phase, flag] : kFields) {
      if (after && (m_.flags & flag)) {
        phase_ = phase;
        break;
      }
      if (phase == done) after = true;
    }
    if (phase_ == Phase::Name || phase_ == Phase::Comment) text_ = TextField{};
    text_.start = at_;
    return std::nullopt;
  }

  std::optional<std::uint64_t> stop() {
    phase_ = Phase::Done;
    return std::nullopt;
  }

  Phase phase_ = Phase::Header;
  bool started_ = false;
  GzipMember m_;
  std::uint64_t at_ = 0;  // the next header field, or the data
  TextField text_;
  std::optional<TextField> name_;
  bool data_painted_ = false;
};

}  // namespace

void colorizeGzip(const RandomAccess& input, Colormap& colormap) {
  GzipWalk().step(input, input.size(), true, colormap);
}

std::unique_ptr<ForwardWalk> makeGzipForwardWalk() { return std::make_unique<GzipWalk>(); }

const Format kGzipFormat{
    .name = "gzip",
    .description = "gzip files, BGZF member by member",
    .prefix = 3,
    // The magic number and deflate, the only compression method.
    .matches = [](ByteSpan start) { return startsWith(start, "\x1f\x8b\x08"); },
    // Members follow one another; the trailer of one that runs to the end
    // is painted once the end is known.
    .need = InputNeed::Forward,
    .colorize = colorizeGzip,
    .forward = makeGzipForwardWalk,
};

}  // namespace lumo
