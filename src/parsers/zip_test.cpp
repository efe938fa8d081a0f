// Hostile and damaged archives: each must end quickly with few paints, keep
// what it could read, and leave the rest normal_alt.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using namespace lumo::testing;

void putText(Bytes& bytes, std::uint64_t at, std::string_view text) {
  if (bytes.size() < at + text.size()) bytes.resize(at + text.size());
  std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// One little-endian field of a record: its offset in the record and width.
struct Field {
  std::uint64_t offset = 0;
  std::uint64_t value = 0;
  std::size_t width = 0;
};

// A record at `at`: its signature, its fields, then `tail` just past `size`
// bytes of fixed fields.
void putRecord(Bytes& b, std::uint64_t at, std::string_view magic, std::uint64_t size,
               std::initializer_list<Field> fields, std::string_view tail = {}) {
  putText(b, at, magic);
  if (b.size() < at + size) b.resize(at + size);
  for (const Field& field : fields) put(b, at + field.offset, field.value, field.width);
  putText(b, at + size, tail);
}

// A central entry of 46 bytes and `name`, for a stored member of `size`
// bytes whose local header is at `local`.
void putCentral(Bytes& b, std::uint64_t at, std::string_view name, std::uint64_t size,
                std::uint64_t local) {
  putRecord(b, at, std::string_view("PK\1\2", 4), 46,
            {{20, size, 4}, {24, size, 4}, {28, name.size(), 2}, {42, local, 4}}, name);
}

// The end record: `entries` in a directory of `size` bytes at `offset`.
void putEnd(Bytes& b, std::uint64_t at, std::uint64_t entries, std::uint64_t size,
            std::uint64_t offset) {
  putRecord(b, at, std::string_view("PK\5\6", 4), 22,
            {{8, entries, 2}, {10, entries, 2}, {12, size, 4}, {16, offset, 4}, {20, 0, 2}});
}

// An archive of stored members, one row each: its name and its data; then
// their central entries and the end record.
Bytes archive(const std::vector<std::pair<std::string_view, std::string_view>>& members) {
  Bytes b;
  std::vector<std::uint64_t> locals;
  for (const auto& [name, data] : members) {
    locals.push_back(b.size());
    putRecord(b, b.size(), std::string_view("PK\3\4", 4), 30,
              {{18, data.size(), 4}, {22, data.size(), 4}, {26, name.size(), 2}},
              std::string(name) + std::string(data));
  }
  const std::uint64_t directory = b.size();
  for (std::size_t k = 0; k < members.size(); ++k) {
    putCentral(b, b.size(), members[k].first, members[k].second.size(), locals[k]);
  }
  putEnd(b, b.size(), members.size(), b.size() - directory, directory);
  return b;
}

// A stored member "a" holding "xyz" at 0 (31 bytes of header and name, its
// data to 34), its central entry at 34 (47 bytes), the end record at 81.
Bytes oneMember() { return archive({{"a", "xyz"}}); }
constexpr std::uint64_t kEnd = 81;

TEST(ZipTest, OneMemberIsPaintedWhole) {
  const Bytes b = oneMember();
  EXPECT_EQ(colorize(colorizeZip, b),
            std::string(30, '2') + "B" + "bbb" + std::string(46, '4') + "D" + std::string(22, '1'));
}

TEST(ZipTest, ManyMembersShareAFewPaintsAndKeepEverySection) {
  // Empty members, as a million-member archive has: without labels their
  // headers and names form a row of entries, while --section still finds
  // every member.
  constexpr std::size_t kMembers = 1000;
  std::vector<std::string> names;
  names.reserve(kMembers);
  for (std::size_t k = 0; k < kMembers; ++k) names.push_back("m" + std::to_string(1000 + k));
  std::vector<std::pair<std::string_view, std::string_view>> rows;
  rows.reserve(names.size());
  for (const std::string& name : names) rows.emplace_back(name, "");
  const Bytes b = archive(rows);
  const std::string mask = colorize(colorizeZip, b);
  // Member 1's header and name, and central entry 1's.
  EXPECT_EQ(mask.substr(35, 35), std::string(30, '3') + "CCCCC");
  EXPECT_EQ(mask.substr(35 * kMembers + 51, 51), std::string(46, '5') + "EEEEE");
  for (KeptNames kept : {KeptNames::None, KeptNames::Sections}) {
    Colormap colormap(kept);
    colorizeZip(MemoryAccess(b), colormap);
    EXPECT_LT(colormap.paints().size(), 10u);
    ASSERT_EQ(colormap.sections().size(), kept == KeptNames::None ? 0u : kMembers);
  }
  Colormap sections(KeptNames::Sections);
  colorizeZip(MemoryAccess(b), sections);
  const NamedSection& last = sections.sections().back();
  EXPECT_EQ(sections.label(last.name), "m1999");
  EXPECT_EQ(last.offset, 35 * kMembers);
  EXPECT_FALSE(last.has_bytes);
}

TEST(ZipHostile, DamageStopsTheWalkAndLeavesTheRest) {
  struct Case {
    const char* name;
    std::function<Bytes()> make;
    // The mask's letter at these offsets.
    std::vector<std::pair<std::uint64_t, char>> expect;
  };
  const Case cases[] = {
      {"directory offset past the end: the local headers are walked forward",
       [] {
         Bytes b = oneMember();
         put(b, kEnd + 16, 0xfffffff0, 4);
         return b;
       },
       {{0, '2'}, {30, 'B'}, {31, 'b'}, {34, '_'}, {kEnd, '1'}}},
      {"zip64 values near 2^64",
       [] {
         // The member, then a zip64 record with huge values at 34, its
         // locator at 90 and the end record at 110.
         Bytes z = oneMember();
         z.resize(34);
         putText(z, 34, std::string_view("PK\6\6", 4));
         put(z, 34 + 4, 0xffffffffffffff00ull, 8);
         put(z, 34 + 32, 0xffffffffffffffffull, 8);
         put(z, 34 + 40, 0xffffffffffffffffull, 8);
         put(z, 34 + 48, 0xfffffffffffffff0ull, 8);
         putText(z, 90, std::string_view("PK\6\7", 4));
         put(z, 90 + 8, 34, 8);
         put(z, 90 + 16, 1, 4);
         putText(z, 110, std::string_view("PK\5\6", 4));
         put(z, 110 + 8, 0xffff, 2);
         put(z, 110 + 10, 0xffff, 2);
         put(z, 110 + 12, 0xffffffff, 4);
         put(z, 110 + 16, 0xffffffff, 4);
         put(z, 110 + 20, 0, 2);
         return z;
       },
       {{0, '2'}, {33, 'b'}, {34, '1'}, {90, '1'}, {110, '1'}, {131, '1'}}},
      {"an end signature inside the comment",
       [] {
         Bytes b = oneMember();
         // Its comment length does not reach the end: the real record wins.
         std::string fake = std::string("PK\5\6", 4) + std::string(18, '\0');
         fake[20] = 5;
         put(b, kEnd + 20, fake.size(), 2);
         putText(b, kEnd + 22, fake);
         return b;
       },
       {{0, '2'}, {34, '4'}, {kEnd, '1'}, {kEnd + 22, 'a'}, {kEnd + 43, 'a'}}},
      {"a local header offset into the central directory",
       [] {
         Bytes b = oneMember();
         put(b, 34 + 42, 34, 4);
         return b;
       },
       {{0, '_'}, {31, '_'}, {34, '4'}, {80, 'D'}, {kEnd, '1'}}},
      {"a member whose sizes are unknown stops the forward walk",
       [] {
         Bytes b = oneMember();
         put(b, 6, 8, 2);
         put(b, 18, 0, 4);
         put(b, kEnd, 0, 4);  // no end record
         return b;
       },
       {{0, '2'}, {30, 'B'}, {31, '_'}, {34, '_'}}},
      {"an entry count far beyond the entries",
       [] {
         Bytes b = oneMember();
         put(b, kEnd + 10, 0xffff, 2);
         return b;
       },
       {{0, '2'}, {31, 'b'}, {34, '4'}, {kEnd, '1'}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes b = c.make();
    const std::string mask = colorize(colorizeZip, b);
    for (const auto& [offset, letter] : c.expect) EXPECT_EQ(mask.at(offset), letter) << offset;
  }
}

TEST(ZipHostile, CentralEntriesNamingOneLocalHeaderPaintItOnce) {
  // 200000 central entries, all naming the member at 0.
  Bytes b = oneMember();
  b.resize(34);
  constexpr std::uint64_t kEntries = 200000;
  for (std::uint64_t k = 0; k < kEntries; ++k) putCentral(b, b.size(), "a", 3, 0);
  putEnd(b, b.size(), 0xfffe, b.size() - 34, 34);
  Colormap named(true);
  colorizeZip(MemoryAccess(b), named);
  std::size_t local_headers = 0;
  for (const Paint& paint : named.paints()) {
    local_headers += named.label(paint.label).starts_with("local header");
  }
  EXPECT_EQ(local_headers, 1u);
  const std::string mask = colorize(colorizeZip, b);
  EXPECT_EQ(mask.substr(0, 34), std::string(30, '2') + "Bbbb");
  // The walk ends with the count.
  EXPECT_EQ(mask.substr(34 + 47 * 0xfffd, 48), std::string(46, '5') + "E" + "_");
}

}  // namespace
}  // namespace lumo
