#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "colormap/alternating_slot.h"
#include "colormap/painter.h"
#include "parsers/byte_order.h"
#include "parsers/input_cursor.h"
#include "parsers/name_reader.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

constexpr std::uint64_t kLocalSize = 30;
constexpr std::uint64_t kCentralSize = 46;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kZip64LocatorSize = 20;
constexpr std::uint64_t kZip64EndSize = 56;
// The comment length has 16 bits: the end record lies this near the end.
constexpr std::uint64_t kMaxComment = 0xffff;
// Covers the million-member archives that real tools make; every member
// costs a few paints, so a crafted directory stops here.
constexpr std::uint64_t kMaxMembers = std::uint64_t{1} << 20;
constexpr std::uint32_t kMax32 = 0xffffffff;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kDescriptorFlag = 0x0008;

constexpr std::string_view kLocalMagic("PK\3\4", 4);
constexpr std::string_view kCentralMagic("PK\1\2", 4);
constexpr std::string_view kEndMagic("PK\5\6", 4);
constexpr std::string_view kZip64EndMagic("PK\6\6", 4);
constexpr std::string_view kZip64LocatorMagic("PK\6\7", 4);
constexpr std::string_view kDescriptorMagic("PK\7\10", 4);
constexpr std::string_view kApkMagic("APK Sig Block 42");

// Where the fields of each record sit; every field is little-endian.
struct EndFields {
  FieldAt entries, directory_size, directory_offset, comment_length;
};
constexpr EndFields kEnd{.entries = {10, 2},
                         .directory_size = {12, 4},
                         .directory_offset = {16, 4},
                         .comment_length = {20, 2}};

struct Zip64Fields {
  FieldAt locator_offset;  // in the locator: where the zip64 end record is
  FieldAt record_size, entries, directory_size, directory_offset;
};
constexpr Zip64Fields kZip64{.locator_offset = {8, 8},
                             .record_size = {4, 8},
                             .entries = {32, 8},
                             .directory_size = {40, 8},
                             .directory_offset = {48, 8}};

struct ExtraFields {
  FieldAt id, size;
};
constexpr ExtraFields kExtra{.id = {0, 2}, .size = {2, 2}};

struct LocalFields {
  FieldAt flags, compressed, uncompressed, name_length, extra_length;
};
constexpr LocalFields kLocal{.flags = {6, 2},
                             .compressed = {18, 4},
                             .uncompressed = {22, 4},
                             .name_length = {26, 2},
                             .extra_length = {28, 2}};

struct CentralFields {
  FieldAt compressed, uncompressed, name_length, extra_length, comment_length, local_offset;
};
constexpr CentralFields kCentral{.compressed = {20, 4},
                                 .uncompressed = {24, 4},
                                 .name_length = {28, 2},
                                 .extra_length = {30, 2},
                                 .comment_length = {32, 2},
                                 .local_offset = {42, 4}};

// A 64-bit size or offset: in the zip64 extra field and the APK signing block.
constexpr std::size_t kWide = 8;

std::uint64_t load(ByteSpan record, FieldAt field) {
  return loadUnsigned(record, field, ByteOrder::Little);
}

// a + b, or nothing when it wraps.
std::optional<std::uint64_t> add(std::uint64_t a, std::uint64_t b) {
  if (b > std::numeric_limits<std::uint64_t>::max() - a) return std::nullopt;
  return a + b;
}

// Where the central directory is, as the end records say.
struct Directory {
  std::uint64_t end = 0;  // the end of central directory record
  std::uint64_t comment = 0;
  std::uint64_t zip64_end = 0;  // 0: none (it never starts at 0)
  std::uint64_t zip64_end_size = 0;
  std::uint64_t entries = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// One member as its central entry (or, walking forward, its local header)
// tells it.
struct Member {
  std::uint64_t local = 0;
  std::uint64_t compressed = 0;
  std::uint32_t index = 0;
  bool zip64 = false;
};

// The end of central directory record: the last signature within the
// comment's reach whose comment ends exactly at the end of the input, else
// the last signature found. The search reads forward, window by window.
std::optional<std::uint64_t> findEnd(InputCursor& cursor, std::uint64_t size) {
  if (size < kEndSize) return std::nullopt;
  const std::uint64_t last = size - kEndSize;
  const std::uint64_t first = last > kMaxComment ? last - kMaxComment : 0;
  std::optional<std::uint64_t> exact;
  std::optional<std::uint64_t> any;
  // Each window overlaps the next by a signature's length less one.
  constexpr std::uint64_t kStep = InputCursor::kHeldRecord - 3;
  for (std::uint64_t at = first; at <= last; at += kStep) {
    cursor.seek(at);
    const ByteSpan window = cursor.peekUpTo(InputCursor::kHeldRecord);
    for (std::size_t k = 0; k + 4 <= window.size() && at + k <= last && k < kStep; ++k) {
      if (!startsWith(window.subspan(k), kEndMagic)) continue;
      any = at + k;
      if (k + kEndSize <= window.size() &&
          at + k + kEndSize + load(window.subspan(k), kEnd.comment_length) == size) {
        exact = at + k;
      } else if (k + kEndSize > window.size()) {
        // The record straddles windows: read it whole.
        cursor.seek(at + k);
        const ByteSpan record = cursor.peekUpTo(kEndSize);
        if (record.size() == kEndSize &&
            at + k + kEndSize + load(record, kEnd.comment_length) == size) {
          exact = at + k;
        }
        cursor.seek(at);
      }
    }
  }
  return exact ? exact : any;
}

std::optional<Directory> readDirectory(InputCursor& cursor, std::uint64_t size) {
  const std::optional<std::uint64_t> end = findEnd(cursor, size);
  if (!end) return std::nullopt;
  cursor.seek(*end);
  const Result<ByteSpan> record = cursor.readExact(kEndSize);
  if (!record) return std::nullopt;
  Directory d{.end = *end,
              .comment = load(*record, kEnd.comment_length),
              .entries = load(*record, kEnd.entries),
              .offset = load(*record, kEnd.directory_offset),
              .size = load(*record, kEnd.directory_size)};
  if (*end < kZip64LocatorSize) return d;
  cursor.seek(*end - kZip64LocatorSize);
  const Result<ByteSpan> locator = cursor.readExact(kZip64LocatorSize);
  if (!locator || !startsWith(*locator, kZip64LocatorMagic)) return d;
  const std::uint64_t zip64_end = load(*locator, kZip64.locator_offset);
  if (zip64_end == 0 || zip64_end >= *end) return d;
  cursor.seek(zip64_end);
  const Result<ByteSpan> zip64 = cursor.readExact(kZip64EndSize);
  if (!zip64 || !startsWith(*zip64, kZip64EndMagic)) return d;
  const std::optional<std::uint64_t> record_size = add(load(*zip64, kZip64.record_size), 12);
  d.zip64_end = zip64_end;
  d.zip64_end_size = record_size.value_or(kZip64EndSize);
  d.entries = load(*zip64, kZip64.entries);
  d.size = load(*zip64, kZip64.directory_size);
  d.offset = load(*zip64, kZip64.directory_offset);
  return d;
}

// The zip64 extra field holds, in this order, those of the uncompressed
// size, compressed size and local header offset whose 32-bit field is all
// ones. The cursor stands at the extra field, `length` bytes long.
void applyZip64Extra(InputCursor& cursor, std::uint64_t length, bool usize_wide, bool csize_wide,
                     bool local_wide, Member& member) {
  const std::uint64_t end = cursor.position() + length;
  while (cursor.position() + 4 <= end) {
    const Result<ByteSpan> head = cursor.readExact(4);
    if (!head) return;
    const std::uint64_t id = load(*head, kExtra.id);
    const std::uint64_t size = load(*head, kExtra.size);
    if (id != kZip64ExtraId) {
      cursor.seek(cursor.position() + size);
      continue;
    }
    const Result<ByteSpan> body = cursor.readExact(std::min<std::uint64_t>(size, 24));
    if (!body) return;
    std::size_t at = 0;
    const auto take = [&](bool wide, std::uint64_t& field) {
      if (!wide) return;
      if (at + kWide <= body->size()) field = load(*body, FieldAt{at, kWide});
      at += kWide;
    };
    std::uint64_t ignored = 0;
    take(usize_wide, ignored);
    take(csize_wide, member.compressed);
    take(local_wide, member.local);
    member.zip64 = true;
    return;
  }
}

// "local header of member 3 a.txt": `kind`, the member's number and its
// name, read when the label is built.
auto memberPart(std::string_view kind, std::uint32_t index, LazyName& name) {
  return [kind, index, &name](Label& label) {
    label.kind = kind;
    label.index = index;
    label.name = name.get();
  };
}

// A member's local header, name, extra field, data and data descriptor.
// False when no local header is there.
struct LocalWalk {
  bool found = false;
  std::uint64_t next = 0;  // just past the member
  bool sizes_known = true;
};

LocalWalk paintLocal(InputCursor& cursor, const Painter& painter, Member member,
                     bool from_central) {
  cursor.seek(member.local);
  const Result<ByteSpan> header = cursor.readExact(kLocalSize);
  if (!header || !startsWith(*header, kLocalMagic)) return {};
  const std::uint64_t flags = load(*header, kLocal.flags);
  const std::uint64_t csize32 = load(*header, kLocal.compressed);
  const std::uint64_t usize32 = load(*header, kLocal.uncompressed);
  const std::uint64_t name_length = load(*header, kLocal.name_length);
  const std::uint64_t extra_length = load(*header, kLocal.extra_length);
  const std::uint64_t name_at = member.local + kLocalSize;
  const std::uint64_t extra_at = name_at + name_length;
  const std::uint64_t data = extra_at + extra_length;
  LazyName name(cursor, name_at, name_length, NameEnd::Length);
  if (!from_central) {
    cursor.seek(extra_at);
    member.compressed = csize32;
    applyZip64Extra(cursor, extra_length, usize32 == kMax32, csize32 == kMax32, false, member);
  }
  const bool descriptor = (flags & kDescriptorFlag) != 0;
  painter.paintNamedEntry(member.local, kLocalSize, name_length, extra_length, kC2, kC2Accent,
                          member.index, memberPart("local header of member", member.index, name),
                          memberPart("name of member", member.index, name));
  if (!from_central && descriptor && member.compressed == 0) {
    // The sizes come after the data, which cannot be found without inflating.
    return {.found = true, .next = data, .sizes_known = false};
  }
  painter.paintSelectable(data, member.compressed, alternatingSlot(kC2Alt, member.index),
                          [&](Label& label) {
                            memberPart("data of member", member.index, name)(label);
                            // A name with a NUL byte cannot be given on a command line: it is no
                            // choice.
                            if (label.name.find('\0') == std::string_view::npos)
                              label.select = label.name;
                          });
  const std::optional<std::uint64_t> data_end = add(data, member.compressed);
  if (!data_end) return {};
  LocalWalk walk{.found = true, .next = *data_end};
  if (descriptor) {
    cursor.seek(*data_end);
    const ByteSpan head = cursor.peekUpTo(4);
    const std::uint64_t fields = member.zip64 ? 20 : 12;
    const std::uint64_t length = startsWith(head, kDescriptorMagic) ? fields + 4 : fields;
    painter.paint(*data_end, length, alternatingSlot(kC2, member.index),
                  memberPart("data descriptor of member", member.index, name));
    walk.next = *data_end + length;
  }
  return walk;
}

// The central directory, entry by entry; each entry's member goes to
// `members`. False when the directory is not where the end record says.
bool walkCentral(InputCursor& cursor, const Painter& painter, const Directory& d,
                 std::uint64_t size, std::vector<Member>& members) {
  cursor.seek(d.offset);
  // Writers without zip64 leave a count that does not fit at its maximum:
  // then the entries run until the directory ends.
  const bool saturated = d.zip64_end == 0 && d.entries == 0xffff;
  const std::uint64_t count = saturated ? kMaxMembers : std::min(d.entries, kMaxMembers);
  // Room for the entries that the input can hold, without copies as it grows.
  const std::uint64_t room = (size - std::min(d.offset, size)) / kCentralSize;
  members.reserve(static_cast<std::size_t>(std::min(count, room)));
  for (std::uint64_t k = 0; k < count; ++k) {
    const std::uint64_t start = cursor.position();
    const Result<ByteSpan> header = cursor.readExact(kCentralSize);
    if (!header || !startsWith(*header, kCentralMagic)) {
      // A directory of a saturated count runs until something else begins.
      if (k > 0 && !saturated && start < size) {
        cursor.seek(start);
        painter.stop(start, !startsWith(cursor.peekUpTo(4), kCentralMagic)
                                ? LabelText() << "no signature where central directory entry " << k
                                              << " should begin"
                                : LabelText() << "input ends inside central directory entry " << k);
      }
      return k > 0;
    }
    const std::uint64_t csize32 = load(*header, kCentral.compressed);
    const std::uint64_t usize32 = load(*header, kCentral.uncompressed);
    const std::uint64_t name_length = load(*header, kCentral.name_length);
    const std::uint64_t extra_length = load(*header, kCentral.extra_length);
    const std::uint64_t comment_length = load(*header, kCentral.comment_length);
    const std::uint64_t local32 = load(*header, kCentral.local_offset);
    Member member{.local = local32, .compressed = csize32, .index = static_cast<std::uint32_t>(k)};
    const std::uint64_t name_at = start + kCentralSize;
    LazyName name(cursor, name_at, name_length, NameEnd::Length);
    cursor.seek(name_at + name_length);
    applyZip64Extra(cursor, extra_length, usize32 == kMax32, csize32 == kMax32, local32 == kMax32,
                    member);
    const std::uint64_t length = kCentralSize + name_length + extra_length + comment_length;
    if (start + length > size) {
      painter.stop(start, LabelText() << "central directory entry " << k << " claims " << length
                                      << " bytes, past the end");
    }
    painter.paintNamedEntry(start, kCentralSize, name_length, extra_length + comment_length, kC4,
                            kC4Accent, member.index,
                            memberPart("central directory entry", member.index, name),
                            memberPart("name in central directory entry", member.index, name));
    members.push_back(member);
    cursor.seek(start + length);
  }
  if (count == kMaxMembers && (saturated || d.entries > kMaxMembers)) {
    painter.stop(cursor.position(), LabelText()
                                        << "after " << kMaxMembers << " central directory entries");
  }
  return true;
}

// Without a usable central directory, the local headers one after another
// from the start, until one whose sizes are unknown.
void walkForward(InputCursor& cursor, const Painter& painter, std::uint64_t size) {
  std::uint64_t at = 0;
  for (std::uint32_t k = 0; k < kMaxMembers && at < size; ++k) {
    const LocalWalk walk = paintLocal(cursor, painter, Member{.local = at, .index = k}, false);
    if (!walk.found) {
      // The central directory or the end record ends the members.
      cursor.seek(at);
      const ByteSpan head = cursor.peekUpTo(4);
      const bool ends = startsWith(head, kCentralMagic) || startsWith(head, kEndMagic) ||
                        startsWith(head, kZip64EndMagic);
      if (!ends && size - at < kLocalSize) {
        painter.stop(
            at, LabelText() << "input ends inside the local header of member " << std::uint64_t{k});
      } else if (!ends && !startsWith(head, kLocalMagic)) {
        painter.stop(at, LabelText() << "no local header where member " << std::uint64_t{k}
                                     << " should begin");
      }
      return;
    }
    if (!walk.sizes_known) {
      painter.stop(at, LabelText() << "member " << std::uint64_t{k}
                                   << " gives its sizes only after its data");
      return;
    }
    if (walk.next > size) {
      painter.stop(at, LabelText() << "member " << std::uint64_t{k} << " claims " << walk.next - at
                                   << " bytes, past the end");
    }
    at = walk.next;
  }
  if (at < size) {
    painter.stop(at, LabelText() << "after " << kMaxMembers << " local headers");
  }
}

// The APK signing block ends just before the central directory with its
// size and magic; it starts with the same size.
void paintApkBlock(InputCursor& cursor, const Painter& painter, std::uint64_t directory) {
  if (directory < 24) return;
  cursor.seek(directory - 24);
  const Result<ByteSpan> tail = cursor.readExact(24);
  if (!tail || !startsWith(tail->subspan(8), kApkMagic)) return;
  const std::uint64_t size = load(*tail, FieldAt{0, kWide});
  const std::optional<std::uint64_t> whole = add(size, 8);
  if (!whole || *whole > directory) return;
  const std::uint64_t start = directory - *whole;
  cursor.seek(start);
  const Result<ByteSpan> head = cursor.readExact(8);
  if (!head || load(*head, FieldAt{0, kWide}) != size) return;
  painter.paint(start, *whole, kC1Alt, titled("APK signing block"));
}

}  // namespace

void colorizeZip(const RandomAccess& input, Colormap& colormap) {
  const Painter painter(colormap);
  painter.fill(kNormalAlt);
  InputCursor cursor(input);
  const std::uint64_t size = input.size();
  const std::optional<Directory> directory = readDirectory(cursor, size);
  std::vector<Member> members;
  const bool usable = directory && directory->entries > 0 &&
                      walkCentral(cursor, painter, *directory, size, members) && !members.empty();
  if (usable) {
    // Local headers in file order, each once however many entries name it.
    // Writers list members in file order, which needs no sort (nor the
    // buffer of a stable one: the index keeps equal headers in order).
    const auto before = [](const Member& a, const Member& b) {
      return a.local != b.local ? a.local < b.local : a.index < b.index;
    };
    if (!std::is_sorted(members.begin(), members.end(), before)) {
      std::sort(members.begin(), members.end(), before);
    }
    std::uint64_t previous = std::numeric_limits<std::uint64_t>::max();
    for (const Member& member : members) {
      if (member.local == previous) continue;
      previous = member.local;
      paintLocal(cursor, painter, member, true);
    }
    paintApkBlock(cursor, painter, directory->offset);
  } else {
    walkForward(cursor, painter, size);
  }
  std::vector<Member>().swap(members);
  if (!directory) return;
  if (directory->zip64_end != 0) {
    painter.paint(directory->zip64_end, directory->zip64_end_size, kC1,
                  titled("zip64 end of central directory"));
    painter.paint(directory->end - kZip64LocatorSize, kZip64LocatorSize, kC1,
                  titled("zip64 end of central directory locator"));
  }
  painter.paint(directory->end, kEndSize, kC1, titled("end of central directory"));
  painter.paint(directory->end + kEndSize, directory->comment, kC1Alt, titled("archive comment"));
}

const Format kZipFormat{
    .name = "zip",
    .description = "ZIP archives (JAR, APK, DOCX, XLSX, EPUB)",
    .prefix = 4,
    // A local header or, for an archive with no members, the end record.
    .matches =
        [](ByteSpan start) { return startsWith(start, "PK\3\4") || startsWith(start, "PK\5\6"); },
    // The central directory sits at the end and names the members.
    .need = InputNeed::Anywhere,
    .colorize = colorizeZip,
};

}  // namespace lumo
