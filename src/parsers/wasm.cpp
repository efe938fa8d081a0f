#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <optional>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/forward_walk.h"
#include "parsers/input_cursor.h"
#include "parsers/name_reader.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kPreambleSize = 8;  // "\0asm" and the version
constexpr std::uint8_t kCustomSectionId = 0;
// An unsigned 32-bit LEB128 number takes at most five bytes.
constexpr std::size_t kMaxLeb32Bytes = 5;
// A module has a dozen standard sections and a few custom ones; no real one
// comes near this. A crafted module of millions of tiny sections would cost
// a paint each.
constexpr std::uint64_t kMaxSections = 65536;

constexpr std::array<std::string_view, 14> kSectionNames = {
    "custom", "type",  "import",  "function", "table", "memory",    "global",
    "export", "start", "element", "code",     "data",  "datacount", "tag"};

std::string_view sectionName(std::uint8_t id) {
  return id < kSectionNames.size() ? kSectionNames[id] : std::string_view{};
}

// One section as the walk found it.
struct WasmSection {
  std::uint64_t index = 0;
  std::uint8_t id = 0;
  std::uint64_t start = 0;     // the id byte
  std::uint64_t contents = 0;  // after the size
  std::uint64_t size = 0;
};

// A LEB128 number at the start of `bytes`, and how many bytes it took.
struct Leb32 {
  std::uint32_t value = 0;
  std::size_t length = 0;
};

// Nothing when the bytes end inside the number, when it runs past its
// maximum length, or when its value needs more than 32 bits.
std::optional<Leb32> decodeLeb32(ByteSpan bytes) {
  std::uint64_t value = 0;
  const std::size_t limit = std::min(bytes.size(), kMaxLeb32Bytes);
  for (std::size_t k = 0; k < limit; ++k) {
    value |= std::uint64_t{bytes[k] & 0x7fu} << (7 * k);
    if ((bytes[k] & 0x80u) == 0) {
      if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
      return Leb32{static_cast<std::uint32_t>(value), k + 1};
    }
  }
  return std::nullopt;
}

// A LEB128 number at the cursor that ends at or before `end`; the cursor
// then moves past it.
std::optional<std::uint32_t> readLeb32(InputCursor& cursor, std::uint64_t end) {
  const std::optional<Leb32> number = decodeLeb32(cursor.peekUpTo(kMaxLeb32Bytes));
  if (!number || cursor.position() + number->length > end) return std::nullopt;
  cursor.seek(cursor.position() + number->length);
  return number->value;
}

// The section's kind by its id: a name for --section, or "id N".
void describeId(Label& label, const WasmSection& s) {
  const std::string_view name = sectionName(s.id);
  if (name.empty()) {
    label.detail = (label.scratch[0] << "id " << std::uint64_t{s.id}).view();
  } else {
    label.name = name;
    label.form = NameForm::Parenthesized;
  }
}

void paintHeader(const Painter& painter, const WasmSection& s) {
  painter.paintEntry(s.start, s.contents - s.start, kC2, s.index, [&](Label& label) {
    label.kind = "section header";
    label.index = s.index;
    describeId(label, s);
  });
}

void paintContents(const Painter& painter, const WasmSection& s) {
  painter.paintSelectable(s.contents, s.size, alternatingSlot(kC2Alt, s.index), [&](Label& label) {
    label.kind = "section";
    label.index = s.index;
    describeId(label, s);
    label.select = label.name;
  });
}

// A custom section's contents begin with its name: a LEB128 length and the
// bytes. Only what lies inside the section is painted; the later paint of
// the name wins over the contents.
void paintCustomSection(InputCursor& cursor, const Painter& painter, const WasmSection& s) {
  const std::uint64_t end = s.contents + s.size;
  const std::optional<std::uint32_t> length = readLeb32(cursor, end);
  if (!length) {
    painter.paint(s.contents, s.size, alternatingSlot(kC2Alt, s.index), titled("custom section"));
    return;
  }
  const std::uint64_t name_end = std::min(cursor.position() + *length, end);
  LazyName name(cursor, cursor.position(), name_end - cursor.position(), NameEnd::Length);
  painter.paintSelectable(s.contents, s.size, alternatingSlot(kC2Alt, s.index), [&](Label& label) {
    label.kind = "custom section";
    label.name = name.get();
    label.form = NameForm::Quoted;
    // A name with a NUL byte cannot be given on a
    // command line: it is no choice.
    if (label.name.find('\0') == std::string_view::npos) {
      label.select = label.name;
    }
  });
  painter.paint(s.contents, name_end - s.contents, kC4, [&](Label& label) {
    label.kind = "name of custom section";
    label.name = name.get();
    label.form = NameForm::Quoted;
  });
}

// Walks the section at `start` and returns where the next one begins;
// nothing when the section is damaged and the walk must stop. `end` is the
// end of the input, once it is known.
std::optional<std::uint64_t> walkSection(InputCursor& cursor, const Painter& painter,
                                         std::uint64_t index, std::uint64_t start,
                                         std::uint64_t end) {
  // The id byte and the size, read at once.
  cursor.seek(start);
  WasmSection s{.index = index, .start = start};
  const ByteSpan header = cursor.peekUpTo(1 + kMaxLeb32Bytes);
  if (header.empty()) return std::nullopt;
  s.id = header[0];
  const std::optional<Leb32> size = decodeLeb32(header.subspan(1));
  if (!size) {
    // Five bytes hold any valid size: with fewer, the input ended inside it.
    painter.stop(start, header.size() <= kMaxLeb32Bytes
                            ? LabelText() << "input ends inside section " << index << "'s size"
                            : LabelText()
                                  << "section " << index << " has a size of more than 32 bits");
    return std::nullopt;
  }
  s.contents = s.start + 1 + size->length;
  s.size = size->value;
  paintHeader(painter, s);
  if (s.id == kCustomSectionId) {
    cursor.seek(s.contents);
    paintCustomSection(cursor, painter, s);
  } else {
    paintContents(painter, s);
  }
  // `contents` lies inside the input and the size has 32 bits: no wrap.
  if (s.contents + s.size > end) {
    painter.stop(start, LabelText() << "section " << index << " claims " << s.size
                                    << " bytes, past the end");
  }
  return s.contents + s.size;
}

void paintPreamble(const Painter& painter) {
  painter.fill(kNormalAlt);
  painter.paint(0, kPreambleSize, kC1, titled("wasm preamble"));
}

// The bytes a section's walk reads from its start: the id, the size, and a
// custom section's name length and name.
constexpr std::uint64_t kSectionLookahead = 1 + 2 * kMaxLeb32Bytes + kNameCap;
static_assert(kSectionLookahead <= kForwardLookahead);

// The same walk over a stream: a section is walked once its first
// kSectionLookahead bytes are in memory, or the stream has ended.
class WasmForwardWalk final : public ForwardWalk {
 public:
  std::uint64_t advance(const StreamView& view, Colormap& colormap) override {
    const Painter painter(colormap);
    if (next_ == 0) {
      paintPreamble(painter);
      next_ = kPreambleSize;
    }
    InputCursor cursor(view);
    while (!done_) {
      if (index_ == kMaxSections || (view.ended() && next_ >= view.end())) {
        if (index_ == kMaxSections && next_ < view.end()) {
          painter.stop(next_, LabelText() << "after " << kMaxSections << " sections");
        }
        done_ = true;
        break;
      }
      // A section that began past the bytes in memory waits for them.
      if (next_ >= view.end()) return view.end();
      if (!view.ended() && view.end() - next_ < kSectionLookahead) return next_;
      const std::optional<std::uint64_t> after =
          walkSection(cursor, painter, index_, next_, view.size());
      if (!after) {
        done_ = true;
        break;
      }
      next_ = *after;
      ++index_;
    }
    // The walk is over: nothing it paints changes any more.
    return std::numeric_limits<std::uint64_t>::max();
  }

 private:
  std::uint64_t next_ = 0;  // where the next section begins; 0 before the preamble
  std::uint64_t index_ = 0;
  bool done_ = false;
};

}  // namespace

void colorizeWasm(const RandomAccess& input, Colormap& colormap) {
  const Painter painter(colormap);
  paintPreamble(painter);
  InputCursor cursor(input);
  if (!cursor.skip(kPreambleSize)) return;
  // Each section takes at least two bytes, so the walk is linear; and it
  // stops after kMaxSections, so that its paints stay few.
  std::uint64_t next = kPreambleSize;
  for (std::uint64_t index = 0; index < kMaxSections && next < input.size(); ++index) {
    const std::optional<std::uint64_t> after =
        walkSection(cursor, painter, index, next, input.size());
    if (!after) return;
    next = *after;
  }
  if (next < input.size()) {
    painter.stop(next, LabelText() << "after " << kMaxSections << " sections");
  }
}

std::unique_ptr<ForwardWalk> makeWasmForwardWalk() { return std::make_unique<WasmForwardWalk>(); }

const Format kWasmFormat{
    .name = "wasm",
    .description = "WebAssembly modules",
    .prefix = 8,
    // "\0asm" and version 1
    .matches =
        [](ByteSpan start) { return startsWith(start, std::string_view("\0asm\1\0\0\0", 8)); },
    // Sections follow one another, so the module can be coloured as it flows.
    .need = InputNeed::Forward,
    .colorize = colorizeWasm,
    .forward = makeWasmForwardWalk,
};

}  // namespace lumo
