#include "parsers/registry.h"

#include <gtest/gtest.h>

#include "parsers/parser_test_support.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::maskOf;

// The format of that name, which must exist.
const Format& named(std::string_view name) {
  const Format* format = formatByName(name);
  EXPECT_NE(format, nullptr) << name;
  return format != nullptr ? *format : *formats().back();
}

TEST(RegistryTest, NamesAndDescriptionsInOrder) {
  const std::pair<std::string_view, std::string_view> expected[] = {
      {"elf", "32-bit and 64-bit ELF files"},
      {"pe", "PE (portable executable) files"},
      {"qoi", "QOI (Quite OK Image)"},
      {"macho", "Mach-O files, thin and universal"},
      {"wasm", "WebAssembly modules"},
      {"zip", "ZIP archives (JAR, APK, DOCX, XLSX, EPUB)"},
      {"png", "PNG images"},
      {"jpeg", "JPEG images"},
      {"gzip", "gzip files, BGZF member by member"},
      {"gif", "GIF images"},
      {"data", "Binary or ASCII data"},
  };
  ASSERT_EQ(formats().size(), 11u);
  for (std::size_t k = 0; k < formats().size(); ++k) {
    EXPECT_EQ(formats()[k]->name, expected[k].first);
    EXPECT_EQ(formats()[k]->description, expected[k].second);
  }
}

TEST(RegistryTest, ParserByNameIsExact) {
  ASSERT_NE(formatByName("elf"), nullptr);
  EXPECT_EQ(formatByName("elf")->name, "elf");
  ASSERT_NE(formatByName("pe"), nullptr);
  EXPECT_EQ(formatByName("pe")->name, "pe");
  ASSERT_NE(formatByName("qoi"), nullptr);
  EXPECT_EQ(formatByName("qoi")->name, "qoi");
  ASSERT_NE(formatByName("macho"), nullptr);
  EXPECT_EQ(formatByName("macho")->name, "macho");
  ASSERT_NE(formatByName("wasm"), nullptr);
  EXPECT_EQ(formatByName("wasm")->name, "wasm");
  ASSERT_NE(formatByName("zip"), nullptr);
  EXPECT_EQ(formatByName("zip")->name, "zip");
  ASSERT_NE(formatByName("png"), nullptr);
  EXPECT_EQ(formatByName("png")->name, "png");
  ASSERT_NE(formatByName("jpeg"), nullptr);
  EXPECT_EQ(formatByName("jpeg")->name, "jpeg");
  ASSERT_NE(formatByName("gzip"), nullptr);
  EXPECT_EQ(formatByName("gzip")->name, "gzip");
  ASSERT_NE(formatByName("gif"), nullptr);
  EXPECT_EQ(formatByName("gif")->name, "gif");
  ASSERT_NE(formatByName("data"), nullptr);
  EXPECT_EQ(formatByName("data")->name, "data");
  for (std::string_view miss :
       {"ELF", "Elf", "el", "elf ", " elf", "elfx", "", "dat", "d", "mach-o", "macho64", "WASM"}) {
    EXPECT_EQ(formatByName(miss), nullptr) << "'" << miss << "'";
  }
  EXPECT_EQ(formatByName(std::string_view("elf\0", 4)), nullptr);
}

TEST(RegistryTest, MagicAndDetection) {
  struct Case {
    const char* name;
    Bytes input;
    bool elf, pe, qoi;
    std::string_view detected;
  };
  const Case cases[] = {
      {"empty", {}, false, false, false, "data"},
      {"elf magic alone",
       bytesOf("\x7f"
               "ELF"),
       true, false, false, "elf"},
      {"elf magic cut short",
       bytesOf("\x7f"
               "EL"),
       false, false, false, "data"},
      {"mz alone", bytesOf("MZ"), false, true, false, "pe"},
      {"m alone", bytesOf("M"), false, false, false, "data"},
      {"qoif", bytesOf("qoif...."), false, false, true, "qoi"},
      {"QOIF upper case", bytesOf("QOIF"), false, false, false, "data"},
      {"mz lower case", bytesOf("mz"), false, false, false, "data"},
      {"magic at offset 1",
       bytesOf(" \x7f"
               "ELF"),
       false, false, false, "data"},
      {"elf with high bit lost",
       bytesOf("\xff"
               "ELF"),
       false, false, false, "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(matchesMagic(named("elf"), c.input), c.elf);
    EXPECT_EQ(matchesMagic(named("pe"), c.input), c.pe);
    EXPECT_EQ(matchesMagic(named("qoi"), c.input), c.qoi);
    EXPECT_TRUE(matchesMagic(named("data"), c.input));
    EXPECT_EQ(detectFormat(c.input).name, c.detected);
  }
}

Bytes bigEndianWords(std::initializer_list<std::uint32_t> words) {
  Bytes bytes;
  for (std::uint32_t word : words) testing::put(bytes, bytes.size(), word, 4, true);
  return bytes;
}

TEST(RegistryTest, MachOAndWasmMagic) {
  struct Case {
    const char* name;
    Bytes input;
    std::string_view detected;
  };
  const Case cases[] = {
      {"mach-o 32-bit big-endian", bigEndianWords({0xfeedface}), "macho"},
      {"mach-o 64-bit big-endian", bigEndianWords({0xfeedfacf}), "macho"},
      {"mach-o 32-bit little-endian", bigEndianWords({0xcefaedfe}), "macho"},
      {"mach-o 64-bit little-endian", bigEndianWords({0xcffaedfe}), "macho"},
      {"mach-o magic cut short", Bytes{0xcf, 0xfa, 0xed}, "data"},
      {"neither magic", bigEndianWords({0xfeedfacd}), "data"},
      {"universal, one slice", bigEndianWords({0xcafebabe, 1}), "macho"},
      {"universal, thirty slices", bigEndianWords({0xcafebabe, 30}), "macho"},
      {"universal 64-bit layout", bigEndianWords({0xcafebabf, 2}), "macho"},
      {"no slices", bigEndianWords({0xcafebabe, 0}), "data"},
      {"31 slices", bigEndianWords({0xcafebabe, 31}), "data"},
      // A class file: minor version 0, major version 52 (Java 8).
      {"java class file", bigEndianWords({0xcafebabe, 52}), "data"},
      {"universal magic little-endian", bigEndianWords({0xbebafeca, 0x01000000}), "data"},
      {"universal header cut short", Bytes{0xca, 0xfe, 0xba, 0xbe, 0, 0, 0}, "data"},
      {"wasm version 1", Bytes{0, 'a', 's', 'm', 1, 0, 0, 0}, "wasm"},
      {"wasm version 2", Bytes{0, 'a', 's', 'm', 2, 0, 0, 0}, "data"},
      {"wasm without version", Bytes{0, 'a', 's', 'm'}, "data"},
      {"wasm upper case", Bytes{0, 'A', 'S', 'M', 1, 0, 0, 0}, "data"},
      {"gif 87a", bytesOf("GIF87a"), "gif"},
      {"gif 89a", bytesOf("GIF89a\x01"), "gif"},
      {"gif other version", bytesOf("GIF88a"), "data"},
      {"gif cut short", bytesOf("GIF89"), "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detectFormat(c.input).name, c.detected);
    EXPECT_EQ(matchesMagic(named("macho"), c.input), c.detected == "macho");
    EXPECT_EQ(matchesMagic(named("wasm"), c.input), c.detected == "wasm");
    const Result<Colormap> forced = buildColormap(c.input, &named(c.detected));
    EXPECT_TRUE(forced.ok());
  }
}

TEST(RegistryTest, ZipMagic) {
  struct Case {
    const char* name;
    Bytes input;
    std::string_view detected;
  };
  const Case cases[] = {
      {"local header", Bytes{'P', 'K', 3, 4, 20, 0}, "zip"},
      {"empty archive's end record", Bytes{'P', 'K', 5, 6, 0, 0}, "zip"},
      {"spanned archive marker", Bytes{'P', 'K', 7, 8, 'P', 'K', 3, 4}, "data"},
      {"central entry first", Bytes{'P', 'K', 1, 2}, "data"},
      {"cut short", Bytes{'P', 'K', 3}, "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detectFormat(c.input).name, c.detected);
    EXPECT_EQ(matchesMagic(named("zip"), c.input), c.detected == "zip");
  }
}

TEST(RegistryTest, BuildColormapChoosesAndRunsTheParser) {
  struct Case {
    const char* name;
    Bytes input;
    std::string_view forced;  // empty: none
    std::string mask;
  };
  const Case cases[] = {
      {"empty is data", {}, "", ""},
      {"empty forced data", {}, "data", ""},
      {"mz alone is pe", bytesOf("MZ"), "", "__"},
      {"elf magic alone is elf",
       bytesOf("\x7f"
               "ELF"),
       "", "____"},
      {"qoi", bytesOf("qoif"), "", "AAAA"},
      {"upper-case QOIF is data", bytesOf("QOIF"), "", "...."},
      {"elf forced as data",
       bytesOf("\x7f"
               "ELF\x02"),
       "data", "_..._"},
      {"pe forced as pe", bytesOf("MZ!"), "pe", "___"},
      {"qoi forced as data", bytesOf("qoif"), "data", "...."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<Colormap> colormap =
        buildColormap(c.input, c.forced.empty() ? nullptr : &named(c.forced));
    ASSERT_TRUE(colormap.ok());
    EXPECT_EQ(maskOf(*colormap, c.input), c.mask);
  }
}

TEST(RegistryTest, ForcedParserMustMatchItsMagic) {
  struct Case {
    const char* name;
    Bytes input;
    std::string_view forced;
  };
  const Case cases[] = {
      {"empty as elf", {}, "elf"},
      {"empty as pe", {}, "pe"},
      {"empty as qoi", {}, "qoi"},
      {"mz as elf", bytesOf("MZ\x90\x00"), "elf"},
      {"elf as pe",
       bytesOf("\x7f"
               "ELF"),
       "pe"},
      {"QOIF as qoi", bytesOf("QOIF"), "qoi"},
      {"empty as macho", {}, "macho"},
      {"empty as wasm", {}, "wasm"},
      {"class file as macho", Bytes{0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 52}, "macho"},
      {"elf as wasm",
       bytesOf("\x7f"
               "ELF\x02\x01\x01\x00"),
       "wasm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<Colormap> colormap =
        buildColormap(c.input, c.forced.empty() ? nullptr : &named(c.forced));
    ASSERT_FALSE(colormap.ok());
    EXPECT_EQ(colormap.failure(), Failure::NonMatchingParser);
  }
}

}  // namespace
}  // namespace lumo
