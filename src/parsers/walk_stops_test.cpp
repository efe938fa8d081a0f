// Checks where each format's walk says it stopped, and why: one small
// damaged file for each reason, and whole files that must record nothing.

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/parser_test_support.h"
#include "parsers/registry.h"

namespace lumo {
namespace {

using namespace lumo::testing;
using namespace std::string_view_literals;

// Fixture pieces: text, zeros, and little- or big-endian numbers.
Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes zeros(std::size_t n) { return Bytes(n, 0); }
Bytes le(std::uint64_t value, std::size_t width) {
  Bytes bytes;
  put(bytes, 0, value, width);
  return bytes;
}
Bytes be(std::uint64_t value, std::size_t width) {
  Bytes bytes;
  put(bytes, 0, value, width, true);
  return bytes;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
Bytes repeat(const Bytes& part, std::size_t times) {
  Bytes all;
  for (std::size_t k = 0; k < times; ++k) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string hex(std::uint64_t number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number, 16).ptr;
  return "0x" + std::string(digits, static_cast<std::size_t>(end - digits));
}

// "0x21 chunk 1 claims ..." for each recorded stop.
std::vector<std::string> stopsOf(const Colormap& colormap) {
  std::vector<std::string> stops;
  for (const WalkStop& stop : colormap.stops()) {
    stops.push_back(hex(stop.offset) + " " + std::string(colormap.label(stop.reason)));
  }
  return stops;
}

struct StopCase {
  std::string name;
  Bytes input;
  std::vector<std::string> stops;  // "0x{offset} {reason}"
};

void expectStops(const std::vector<StopCase>& cases) {
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    Result<Colormap> colormap = buildColormap(c.input, nullptr, true);
    ASSERT_TRUE(colormap);
    EXPECT_EQ(stopsOf(*colormap), c.stops);
    // Only the list and the legend read stops: without labels none is kept.
    for (KeptNames kept : {KeptNames::None, KeptNames::Sections}) {
      Result<Colormap> unlabelled = buildColormap(MemoryAccess(c.input), nullptr, kept);
      ASSERT_TRUE(unlabelled);
      EXPECT_TRUE(unlabelled->stops().empty());
    }
  }
}

// PNG: the signature and an IHDR chunk end at 0x21 (33).
Bytes pngStart() {
  return cat({text("\x89PNG\r\n\x1a\n"), be(13, 4), text("IHDR"), zeros(13), zeros(4)});
}

TEST(WalkStops, Png) {
  expectStops({
      {"whole", cat({pngStart(), be(0, 4), text("IEND"), zeros(4)}), {}},
      {"ends between chunks", pngStart(), {}},
      {"data past the end",
       cat({pngStart(), be(5000, 4), text("IDAT"), zeros(10)}),
       {"0x21 chunk 1 claims 5000 bytes, past the end"}},
      {"length of 2^31 or more",
       cat({pngStart(), be(0xffffffff, 4), text("IDAT"), zeros(8)}),
       {"0x21 chunk 1 claims 4294967295 bytes, 2^31 or more"}},
      {"header cut short",
       cat({pngStart(), zeros(3)}),
       {"0x21 input ends inside chunk 1's header"}},
  });
}

TEST(WalkStops, Jpeg) {
  const Bytes soi = text("\xff\xd8");
  const Bytes app0 = cat({text("\xff\xe0"), be(4, 2), zeros(2)});  // ends at 8
  expectStops({
      {"whole", cat({soi, app0, text("\xff\xd9")}), {}},
      {"not a marker",
       cat({soi, app0, text("\x12\x34")}),
       {"0x8 byte 0x12 where a marker should be"}},
      {"stuffed byte",
       cat({soi, app0, text("\xff"), zeros(1)}),
       {"0x8 ff 00 where a marker should be"}},
      {"second SOI", cat({soi, app0, soi}), {"0x8 a second SOI"}},
      {"length under 2",
       cat({soi, app0, text("\xff\xe1"), be(1, 2)}),
       {"0x8 segment 1 has length 1, under 2"}},
      {"length cut short",
       cat({soi, app0, text("\xff\xe1\x00"sv)}),
       {"0x8 input ends inside segment 1's length"}},
      {"segment past the end",
       cat({soi, app0, text("\xff\xe1"), be(256, 2), zeros(4)}),
       {"0x8 segment 1 claims 256 bytes, past the end"}},
      {"lone FF at the end", cat({soi, app0, text("\xff")}), {"0x8 input ends inside a marker"}},
      {"after 262144 segments",
       cat({soi, repeat(cat({text("\xff\xfe"), be(2, 2)}), 262144), text("\xff\xd9")}),
       {hex(2 + 4 * 262144) + " after 262144 segments"}},
  });
}

// GIF: the 13-byte header and logical screen descriptor, with `packed`.
Bytes gifHeader(std::uint8_t packed = 0) {
  return cat({text("GIF89a"), le(1, 2), le(1, 2), Bytes{packed}, zeros(2)});
}
// An image descriptor at 13 with `packed`; its data begins at 23.
Bytes gifImage(std::uint8_t packed = 0) {
  return cat({text(","), zeros(4), le(1, 2), le(1, 2), Bytes{packed}});
}

TEST(WalkStops, Gif) {
  expectStops({
      {"whole", cat({gifHeader(), gifImage(), text("\x02\x01\xaa\x00;"sv)}), {}},
      {"header cut short", text("GIF89a\x01\x00\x01"sv), {"0x0 input ends inside the header"}},
      {"global table past the end",
       cat({gifHeader(0x87), zeros(20)}),
       {"0x0 global color table claims 768 bytes, past the end"}},
      {"unknown block",
       cat({gifHeader(), text("\x99")}),
       {"0xd byte 0x99 where a block introducer should be"}},
      {"extension label cut short",
       cat({gifHeader(), text("!")}),
       {"0xd input ends inside extension 0's label"}},
      {"descriptor cut short",
       cat({gifHeader(), text(",\x00\x00"sv)}),
       {"0xd input ends inside image 0's descriptor"}},
      {"local table past the end",
       cat({gifHeader(), gifImage(0x81), zeros(3)}),
       {"0xd local color table of image 0 claims 12 bytes, past the end"}},
      {"no image data",
       cat({gifHeader(), gifImage()}),
       {"0xd input ends before the data of image 0"}},
      {"sub-block past the end",
       cat({gifHeader(), gifImage(), text("\x02\x10\xaa")}),
       {"0x18 a sub-block of data of image 0 claims 16 bytes, past the end"}},
      {"no terminator",
       cat({gifHeader(), gifImage(), text("\x02\x01\xaa")}),
       {"0x17 input ends inside data of image 0"}},
  });
}

// A gzip member header with `flags`, then `rest`.
Bytes gzipMember(std::uint8_t flags, const Bytes& rest) {
  return cat({Bytes{0x1f, 0x8b, 0x08, flags}, zeros(6), rest});
}
// A BGZF block of `size` bytes in all: header, BC extra field, data, trailer.
Bytes bgzfBlock(std::uint16_t size, std::size_t present) {
  Bytes block = gzipMember(0x04, cat({le(6, 2), text("BC"), le(2, 2), le(size - 1u, 2)}));
  block.resize(present);
  return block;
}

TEST(WalkStops, Gzip) {
  expectStops({
      {"whole member", gzipMember(0x08, cat({text("a.txt"), zeros(1), zeros(12)})), {}},
      {"whole BGZF blocks", cat({bgzfBlock(30, 30), bgzfBlock(28, 28)}), {}},
      {"header cut short",
       text("\x1f\x8b\x08\x00\x00"sv),
       {"0x0 input ends inside member 0's header"}},
      {"name without NUL",
       gzipMember(0x08, text("abc")),
       {"0x0 input ends inside the name of member 0"}},
      {"extra length cut short",
       gzipMember(0x04, zeros(1)),
       {"0x0 input ends inside member 0's extra field length"}},
      {"extra field past the end",
       gzipMember(0x04, cat({le(100, 2), zeros(3)})),
       {"0xa extra field of member 0 claims 100 bytes, past the end"}},
      {"header CRC cut short",
       gzipMember(0x02, zeros(1)),
       {"0x0 input ends inside member 0's header CRC"}},
      {"block past the end", bgzfBlock(100, 40), {"0x0 member 0 claims 100 bytes, past the end"}},
      {"no header after a block",
       cat({bgzfBlock(30, 30), text("not a gzip member")}),
       {"0x1e no gzip header where member 1 should begin"}},
  });
}

// The wasm preamble; sections begin at 8.
Bytes wasmPreamble() { return text(std::string_view("\0asm\1\0\0\0", 8)); }

TEST(WalkStops, Wasm) {
  expectStops({
      {"whole", cat({wasmPreamble(), text("\x01\x01"), zeros(1)}), {}},
      {"section past the end",
       cat({wasmPreamble(), text("\x01\x05"), zeros(1)}),
       {"0x8 section 0 claims 5 bytes, past the end"}},
      {"size cut short",
       cat({wasmPreamble(), text("\x01\x80")}),
       {"0x8 input ends inside section 0's size"}},
      {"size over 32 bits",
       cat({wasmPreamble(), text("\x01\xff\xff\xff\xff\x7f")}),
       {"0x8 section 0 has a size of more than 32 bits"}},
      {"after 65536 sections",
       cat({wasmPreamble(), repeat(text("\x01\x00"sv), 65537)}),
       {hex(8 + 2 * 65536) + " after 65536 sections"}},
  });
}

// A 64-bit ELF header: program headers at `phoff`, section headers at `shoff`.
Bytes elfHeader(std::uint64_t phoff, std::uint64_t phnum, std::uint64_t shoff,
                std::uint64_t shnum) {
  Bytes header = cat({text("\x7f"
                           "ELF\x02\x01\x01"),
                      zeros(9)});
  put(header, 32, phoff, 8);
  put(header, 40, shoff, 8);
  put(header, 56, phnum, 2);
  put(header, 60, shnum, 2);
  put(header, 62, 0, 2);
  return header;
}

TEST(WalkStops, Elf) {
  expectStops({
      {"whole", cat({elfHeader(64, 1, 0, 0), zeros(56)}), {}},
      {"header cut short",
       cat({text("\x7f"
                 "ELF\x02\x01\x01"),
            zeros(20)}),
       {"0x0 input ends inside the ELF header"}},
      {"table past the end",
       elfHeader(0x1000, 1, 0, 0),
       {"0x0 program header table at 0x1000 lies past the end"}},
      {"entry cut short",
       cat({elfHeader(64, 2, 0, 0), zeros(56 + 10)}),
       {"0x78 input ends inside program header 1"}},
      {"entries past the end",
       cat({elfHeader(64, 3, 0, 0), zeros(56)}),
       {"0x40 input ends before program header 1 of 3"}},
      {"section header cut short",
       cat({elfHeader(0, 0, 64, 2), zeros(64 + 20)}),
       {"0x80 input ends inside section header 1"}},
  });
}

// An MS-DOS header whose e_lfanew is `lfanew`.
Bytes dosHeader(std::uint32_t lfanew) { return cat({text("MZ"), zeros(58), le(lfanew, 4)}); }
// "PE\0\0" and a COFF file header of `sections` and an optional header of
// `optional` bytes.
Bytes peHeader(std::uint16_t sections, std::uint16_t optional) {
  return cat({text(std::string_view("PE\0\0", 4)), zeros(2), le(sections, 2), zeros(12),
              le(optional, 2), zeros(2)});
}

TEST(WalkStops, Pe) {
  expectStops({
      {"whole", cat({dosHeader(64), peHeader(1, 0), zeros(40)}), {}},
      {"DOS header cut short",
       cat({text("MZ"), zeros(10)}),
       {"0x0 input ends inside the DOS header"}},
      {"e_lfanew past the end", dosHeader(0x1000), {"0x3c e_lfanew 0x1000 points past the end"}},
      {"PE header cut short",
       cat({dosHeader(64), zeros(10)}),
       {"0x40 input ends inside the PE header"}},
      {"optional header past the end",
       cat({dosHeader(64), peHeader(0, 240), zeros(10)}),
       {"0x44 optional header claims 240 bytes, past the end"}},
      {"section header cut short",
       cat({dosHeader(64), peHeader(2, 0), zeros(48)}),
       {"0x80 input ends inside section header 1"}},
      {"section headers past the end",
       cat({dosHeader(64), peHeader(3, 0), zeros(40)}),
       {"0x58 input ends before section header 1 of 3"}},
  });
}

// A thin 64-bit little-endian Mach-O header of `ncmds` commands.
Bytes machOHeader(std::uint32_t ncmds) {
  return cat({le(0xfeedfacf, 4), le(0x01000007, 4), le(3, 4), le(2, 4), le(ncmds, 4), zeros(12)});
}
Bytes loadCommand(std::uint32_t cmd, std::uint32_t cmdsize, std::size_t present) {
  Bytes command = cat({le(cmd, 4), le(cmdsize, 4)});
  command.resize(present);
  return command;
}

TEST(WalkStops, MachO) {
  const Bytes thin = cat({machOHeader(1), loadCommand(0x2, 0, 8)});
  // A universal file with that thin file as its one slice, at 64.
  const Bytes universal = cat({be(0xcafebabe, 4), be(1, 4), be(0x01000007, 4), be(3, 4), be(64, 4),
                               be(thin.size(), 4), be(0, 4), zeros(36), thin});
  expectStops({
      {"whole", cat({machOHeader(1), loadCommand(0x2, 24, 24)}), {}},
      {"header cut short",
       cat({le(0xfeedfacf, 4), zeros(10)}),
       {"0x0 input ends inside the Mach-O header"}},
      {"size 0", thin, {"0x20 load command 0 has size 0, under 8"}},
      {"size not a multiple of 4",
       cat({machOHeader(1), loadCommand(0x2, 10, 12)}),
       {"0x20 load command 0 has size 10, not a multiple of 4"}},
      {"command past the end",
       cat({machOHeader(1), loadCommand(0x2, 64, 16)}),
       {"0x20 load command 0 claims 64 bytes, past the end"}},
      {"a slice says which it is",
       universal,
       {"0x60 slice 0 (x86_64): load command 0 has size 0, under 8"}},
      {"after 65536 structures",
       cat({machOHeader(65537), repeat(loadCommand(0x2, 8, 8), 65537)}),
       {hex(32 + 8 * 65536) + " after 65536 structures"}},
  });
}

// A local header of member `name` with `size` bytes of data (of which
// `present` follow), and the given flags.
Bytes zipLocal(std::string_view name, std::uint32_t size, std::size_t present,
               std::uint16_t flags = 0) {
  return cat({text("PK\3\4"), zeros(2), le(flags, 2), zeros(10), le(size, 4), le(size, 4),
              le(name.size(), 2), le(0, 2), text(name), zeros(present)});
}
// A central directory entry for a member at `local`, with `name_length`.
Bytes zipCentral(std::string_view name, std::uint32_t local, std::uint16_t name_length) {
  return cat({text("PK\1\2"), zeros(24), le(name_length, 2), zeros(12), le(local, 4), text(name)});
}
Bytes zipEnd(std::uint16_t entries, std::uint32_t size, std::uint32_t offset) {
  return cat({text("PK\5\6"), zeros(4), le(entries, 2), le(entries, 2), le(size, 4), le(offset, 4),
              zeros(2)});
}

TEST(WalkStops, Zip) {
  const Bytes member = zipLocal("a", 3, 3);  // 34 bytes
  expectStops({
      {"whole", cat({member, zipCentral("a", 0, 1), zipEnd(1, 47, 34)}), {}},
      {"member past the end, walked forward",
       zipLocal("a", 1000, 5),
       {"0x0 member 0 claims 1031 bytes, past the end"}},
      {"no local header, walked forward",
       cat({member, text("this is not a zip header at all!")}),
       {"0x22 no local header where member 1 should begin"}},
      {"local header cut short, walked forward",
       cat({member, text("PK\3\4"), zeros(5)}),
       {"0x22 input ends inside the local header of member 1"}},
      {"sizes after the data, walked forward",
       cat({zipLocal("a", 0, 3, 0x0008), zeros(16)}),
       {"0x0 member 0 gives its sizes only after its data"}},
      {"fewer entries than the end record says",
       cat({member, zipCentral("a", 0, 1), zipEnd(2, 47, 34)}),
       {"0x51 no signature where central directory entry 1 should begin"}},
      {"entry past the end",
       cat({member, zipCentral("a", 0, 0xffff), zipEnd(1, 47, 34)}),
       {"0x22 central directory entry 0 claims 65581 bytes, past the end"}},
  });
}

}  // namespace
}  // namespace lumo
