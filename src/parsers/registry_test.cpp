#include "parsers/registry.h"

#include <gtest/gtest.h>

#include "parsers/parser_test_support.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::maskOf;

TEST(RegistryTest, NamesAndDescriptionsInOrder) {
  const std::pair<std::string_view, std::string_view> expected[] = {
      {"elf", "32-bit and 64-bit ELF files"},
      {"pe", "PE (portable executable) files"},
      {"qoi", "QOI (Quite OK Image)"},
      {"macho", "Mach-O files, thin and universal"},
      {"wasm", "WebAssembly modules"},
      {"zip", "ZIP archives (JAR, APK, DOCX, XLSX, EPUB)"},
      {"png", "PNG images"},
      {"gzip", "gzip files, BGZF member by member"},
      {"gif", "GIF images"},
      {"data", "Binary or ASCII data"},
  };
  ASSERT_EQ(kParserKinds.size(), 10u);
  for (std::size_t k = 0; k < kParserKinds.size(); ++k) {
    EXPECT_EQ(parserName(kParserKinds[k]), expected[k].first);
    EXPECT_EQ(parserDescription(kParserKinds[k]), expected[k].second);
  }
}

TEST(RegistryTest, ParserByNameIsExact) {
  EXPECT_EQ(parserByName("elf"), ParserKind::Elf);
  EXPECT_EQ(parserByName("pe"), ParserKind::Pe);
  EXPECT_EQ(parserByName("qoi"), ParserKind::Qoi);
  EXPECT_EQ(parserByName("macho"), ParserKind::Macho);
  EXPECT_EQ(parserByName("wasm"), ParserKind::Wasm);
  EXPECT_EQ(parserByName("zip"), ParserKind::Zip);
  EXPECT_EQ(parserByName("png"), ParserKind::Png);
  EXPECT_EQ(parserByName("gzip"), ParserKind::Gzip);
  EXPECT_EQ(parserByName("gif"), ParserKind::Gif);
  EXPECT_EQ(parserByName("data"), ParserKind::Data);
  for (std::string_view miss :
       {"ELF", "Elf", "el", "elf ", " elf", "elfx", "", "dat", "d", "mach-o", "macho64", "WASM"}) {
    EXPECT_EQ(parserByName(miss), std::nullopt) << "'" << miss << "'";
  }
  EXPECT_EQ(parserByName(std::string_view("elf\0", 4)), std::nullopt);
}

TEST(RegistryTest, MagicAndDetection) {
  struct Case {
    const char* name;
    Bytes input;
    bool elf, pe, qoi;
    ParserKind detected;
  };
  const Case cases[] = {
      {"empty", {}, false, false, false, ParserKind::Data},
      {"elf magic alone",
       bytesOf("\x7f"
               "ELF"),
       true, false, false, ParserKind::Elf},
      {"elf magic cut short",
       bytesOf("\x7f"
               "EL"),
       false, false, false, ParserKind::Data},
      {"mz alone", bytesOf("MZ"), false, true, false, ParserKind::Pe},
      {"m alone", bytesOf("M"), false, false, false, ParserKind::Data},
      {"qoif", bytesOf("qoif...."), false, false, true, ParserKind::Qoi},
      {"QOIF upper case", bytesOf("QOIF"), false, false, false, ParserKind::Data},
      {"mz lower case", bytesOf("mz"), false, false, false, ParserKind::Data},
      {"magic at offset 1",
       bytesOf(" \x7f"
               "ELF"),
       false, false, false, ParserKind::Data},
      {"elf with high bit lost",
       bytesOf("\xff"
               "ELF"),
       false, false, false, ParserKind::Data},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(matchesMagic(ParserKind::Elf, c.input), c.elf);
    EXPECT_EQ(matchesMagic(ParserKind::Pe, c.input), c.pe);
    EXPECT_EQ(matchesMagic(ParserKind::Qoi, c.input), c.qoi);
    EXPECT_TRUE(matchesMagic(ParserKind::Data, c.input));
    EXPECT_EQ(detectParser(c.input), c.detected);
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
    ParserKind detected;
  };
  const Case cases[] = {
      {"mach-o 32-bit big-endian", bigEndianWords({0xfeedface}), ParserKind::Macho},
      {"mach-o 64-bit big-endian", bigEndianWords({0xfeedfacf}), ParserKind::Macho},
      {"mach-o 32-bit little-endian", bigEndianWords({0xcefaedfe}), ParserKind::Macho},
      {"mach-o 64-bit little-endian", bigEndianWords({0xcffaedfe}), ParserKind::Macho},
      {"mach-o magic cut short", Bytes{0xcf, 0xfa, 0xed}, ParserKind::Data},
      {"neither magic", bigEndianWords({0xfeedfacd}), ParserKind::Data},
      {"universal, one slice", bigEndianWords({0xcafebabe, 1}), ParserKind::Macho},
      {"universal, thirty slices", bigEndianWords({0xcafebabe, 30}), ParserKind::Macho},
      {"universal 64-bit layout", bigEndianWords({0xcafebabf, 2}), ParserKind::Macho},
      {"no slices", bigEndianWords({0xcafebabe, 0}), ParserKind::Data},
      {"31 slices", bigEndianWords({0xcafebabe, 31}), ParserKind::Data},
      // A class file: minor version 0, major version 52 (Java 8).
      {"java class file", bigEndianWords({0xcafebabe, 52}), ParserKind::Data},
      {"universal magic little-endian", bigEndianWords({0xbebafeca, 0x01000000}), ParserKind::Data},
      {"universal header cut short", Bytes{0xca, 0xfe, 0xba, 0xbe, 0, 0, 0}, ParserKind::Data},
      {"wasm version 1", Bytes{0, 'a', 's', 'm', 1, 0, 0, 0}, ParserKind::Wasm},
      {"wasm version 2", Bytes{0, 'a', 's', 'm', 2, 0, 0, 0}, ParserKind::Data},
      {"wasm without version", Bytes{0, 'a', 's', 'm'}, ParserKind::Data},
      {"wasm upper case", Bytes{0, 'A', 'S', 'M', 1, 0, 0, 0}, ParserKind::Data},
      {"gif 87a", bytesOf("GIF87a"), ParserKind::Gif},
      {"gif 89a", bytesOf("GIF89a\x01"), ParserKind::Gif},
      {"gif other version", bytesOf("GIF88a"), ParserKind::Data},
      {"gif cut short", bytesOf("GIF89"), ParserKind::Data},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detectParser(c.input), c.detected);
    EXPECT_EQ(matchesMagic(ParserKind::Macho, c.input), c.detected == ParserKind::Macho);
    EXPECT_EQ(matchesMagic(ParserKind::Wasm, c.input), c.detected == ParserKind::Wasm);
    const Result<Colormap> forced = buildColormap(c.input, c.detected);
    EXPECT_TRUE(forced.ok());
  }
}

TEST(RegistryTest, ZipMagic) {
  struct Case {
    const char* name;
    Bytes input;
    ParserKind detected;
  };
  const Case cases[] = {
      {"local header", Bytes{'P', 'K', 3, 4, 20, 0}, ParserKind::Zip},
      {"empty archive's end record", Bytes{'P', 'K', 5, 6, 0, 0}, ParserKind::Zip},
      {"spanned archive marker", Bytes{'P', 'K', 7, 8, 'P', 'K', 3, 4}, ParserKind::Data},
      {"central entry first", Bytes{'P', 'K', 1, 2}, ParserKind::Data},
      {"cut short", Bytes{'P', 'K', 3}, ParserKind::Data},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detectParser(c.input), c.detected);
    EXPECT_EQ(matchesMagic(ParserKind::Zip, c.input), c.detected == ParserKind::Zip);
  }
}

TEST(RegistryTest, BuildColormapChoosesAndRunsTheParser) {
  struct Case {
    const char* name;
    Bytes input;
    std::optional<ParserKind> forced;
    std::string mask;
  };
  const Case cases[] = {
      {"empty is data", {}, std::nullopt, ""},
      {"empty forced data", {}, ParserKind::Data, ""},
      {"mz alone is pe", bytesOf("MZ"), std::nullopt, "__"},
      {"elf magic alone is elf",
       bytesOf("\x7f"
               "ELF"),
       std::nullopt, "____"},
      {"qoi", bytesOf("qoif"), std::nullopt, "AAAA"},
      {"upper-case QOIF is data", bytesOf("QOIF"), std::nullopt, "...."},
      {"elf forced as data",
       bytesOf("\x7f"
               "ELF\x02"),
       ParserKind::Data, "_..._"},
      {"pe forced as pe", bytesOf("MZ!"), ParserKind::Pe, "___"},
      {"qoi forced as data", bytesOf("qoif"), ParserKind::Data, "...."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<Colormap> colormap = buildColormap(c.input, c.forced);
    ASSERT_TRUE(colormap.ok());
    EXPECT_EQ(maskOf(*colormap, c.input), c.mask);
  }
}

TEST(RegistryTest, ForcedParserMustMatchItsMagic) {
  struct Case {
    const char* name;
    Bytes input;
    ParserKind forced;
  };
  const Case cases[] = {
      {"empty as elf", {}, ParserKind::Elf},
      {"empty as pe", {}, ParserKind::Pe},
      {"empty as qoi", {}, ParserKind::Qoi},
      {"mz as elf", bytesOf("MZ\x90\x00"), ParserKind::Elf},
      {"elf as pe",
       bytesOf("\x7f"
               "ELF"),
       ParserKind::Pe},
      {"QOIF as qoi", bytesOf("QOIF"), ParserKind::Qoi},
      {"empty as macho", {}, ParserKind::Macho},
      {"empty as wasm", {}, ParserKind::Wasm},
      {"class file as macho", Bytes{0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 52}, ParserKind::Macho},
      {"elf as wasm",
       bytesOf("\x7f"
               "ELF\x02\x01\x01\x00"),
       ParserKind::Wasm},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<Colormap> colormap = buildColormap(c.input, c.forced);
    ASSERT_FALSE(colormap.ok());
    EXPECT_EQ(colormap.failure(), Failure::NonMatchingParser);
  }
}

}  // namespace
}  // namespace lumo
