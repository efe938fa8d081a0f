// Damaged variants of valid files: whatever their header values say, every
// parser stays inside the input, terminates, and uses only its own slots.
// Most useful under the sanitizers.

#include <gtest/gtest.h>

#include <bitset>
#include <random>
#include <string>

#include "parsers/parser_test_support.h"
#include "parsers/parsers.h"

namespace lumo {
namespace {

using testing::Bytes;
using testing::put;

using SlotSet = std::bitset<kSlotCount>;

SlotSet slots(std::initializer_list<PaletteSlot> list) {
  SlotSet set;
  for (PaletteSlot slot : list) set.set(slot);
  return set;
}

Bytes validElf64() {
  Bytes b(400, 0);
  const Bytes ident = {0x7f, 'E', 'L', 'F', 2, 1, 1};
  std::copy(ident.begin(), ident.end(), b.begin());
  put(b, 32, 64, 8);   // e_phoff
  put(b, 40, 240, 8);  // e_shoff
  put(b, 56, 2, 2);    // e_phnum
  put(b, 60, 2, 2);    // e_shnum
  put(b, 64, 1, 4), put(b, 72, 176, 8), put(b, 96, 32, 8);
  put(b, 120, 1, 4), put(b, 128, 208, 8), put(b, 152, 32, 8);
  put(b, 244, 1, 4), put(b, 264, 180, 8), put(b, 272, 8, 8);
  put(b, 308, 8, 4), put(b, 328, 200, 8), put(b, 336, 8, 8);
  return b;
}

Bytes validPe() {
  Bytes b(400, 0);
  b[0] = 'M', b[1] = 'Z';
  put(b, 60, 64, 4);
  b[64] = 'P', b[65] = 'E';
  put(b, 70, 2, 2);   // NumberOfSections
  put(b, 84, 16, 2);  // SizeOfOptionalHeader
  put(b, 120, 32, 4), put(b, 124, 250, 4);
  put(b, 160, 32, 4), put(b, 164, 300, 4);
  return b;
}

// A thin 64-bit Mach-O file: a segment with two sections, a symbol table
// command, then the contents.
Bytes validMachO() {
  Bytes b(400, 0);
  put(b, 0, 0xfeedfacf, 4);
  put(b, 16, 2, 4);                                         // ncmds
  put(b, 32, 0x19, 4), put(b, 36, 72 + 2 * 80, 4);          // LC_SEGMENT_64
  put(b, 72, 300, 8), put(b, 80, 64, 8), put(b, 96, 2, 4);  // fileoff, filesize, nsects
  put(b, 104 + 40, 16, 8), put(b, 104 + 48, 300, 4);
  put(b, 184 + 40, 16, 8), put(b, 184 + 48, 320, 4), put(b, 184 + 64, 1, 4);
  put(b, 264, 0x2, 4), put(b, 268, 24, 4);  // LC_SYMTAB
  return b;
}

// The same file as the one slice of a universal file.
Bytes validUniversal() {
  Bytes b(64, 0);
  put(b, 0, 0xcafebabe, 4, true), put(b, 4, 1, 4, true);
  put(b, 8, 0x0100000c, 4, true), put(b, 16, 64, 4, true), put(b, 20, 400, 4, true);
  const Bytes thin = validMachO();
  b.insert(b.end(), thin.begin(), thin.end());
  return b;
}

Bytes validWasm() {
  Bytes b = {0x00, 'a', 's', 'm', 0x01, 0x00, 0x00, 0x00};
  const Bytes sections = {0x01, 0x04, 0x01, 0x60, 0x00, 0x00,                   // type
                          0x00, 0x07, 0x04, 'n',  'a',  'm',  'e', 0x00, 0x00,  // custom
                          0x0a, 0x04, 0x01, 0x02, 0x00, 0x0b};                  // code
  b.insert(b.end(), sections.begin(), sections.end());
  b.resize(120, 0x41);
  return b;
}

// A signature, an IHDR, an IDAT, an IEND and bytes after it.
Bytes validPng() {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const Bytes chunks = {0, 0, 0, 13,  'I', 'H', 'D', 'R',  0,    0, 0, 1, 0,
                        0, 0, 1, 8,   0,   0,   0,   0,    1,    2, 3, 4, 0,
                        0, 0, 2, 'I', 'D', 'A', 'T', 0x78, 0x9c, 5, 6, 7, 8,
                        0, 0, 0, 0,   'I', 'E', 'N', 'D',  9,    9, 9, 9};
  b.insert(b.end(), chunks.begin(), chunks.end());
  b.resize(100, 0x41);
  return b;
}

// Two BGZF blocks with a name and a comment, then a member to the end.
Bytes validGzip() {
  const Bytes block = {0x1f, 0x8b, 8,   0x1c, 0, 0, 0, 0, 0, 3, 6, 0, 'B', 'C', 2, 0,  35, 0,
                       'n',  0,    'c', 0,    3, 0, 1, 2, 3, 4, 5, 6, 7,   8,   9, 10, 11, 12};
  Bytes b = block;
  b.insert(b.end(), block.begin(), block.end());
  b.insert(b.end(), block.begin(), block.begin() + 10);
  b.resize(100, 0x41);
  return b;
}

// A global table, a comment, an image with a local table, the trailer.
Bytes validGif() {
  Bytes b = testing::bytesOf("GIF89a");
  const Bytes rest = {4,    0,    4,    0,    0x80, 0, 0,   1, 2, 3,    4, 5, 6,  // screen, table
                      0x21, 0xfe, 2,    'h',  'i',  0,                            // comment
                      0x2c, 0,    0,    0,    0,    2, 0,   2, 0, 0x80, 9, 9, 9,
                      8,    8,    8,  // image, table
                      2,    3,    0x44, 0x01, 0x05, 0, 0x3b};
  b.insert(b.end(), rest.begin(), rest.end());
  b.resize(80, 0x41);
  return b;
}

struct Subject {
  const char* name;
  Bytes seed;
  void (*parser)(const RandomAccess&, Colormap&);
  SlotSet allowed;
};

TEST(ParserRobustnessTest, DamagedInputsStayInBoundsAndInPalette) {
  const Subject subjects[] = {
      {"elf", validElf64(), colorizeElf,
       slots({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC5, kC5Alt})},
      {"pe", validPe(), colorizePe,
       slots({kNormalAlt, kC1, kC1Accent, kC2, kC2Accent, kC3, kC3Alt, kC4, kC4Alt, kC4Accent, kC5,
              kC5Alt, kC5Accent})},
      {"macho", validMachO(), colorizeMachO,
       slots({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC5, kC5Alt})},
      {"universal", validUniversal(), colorizeMachO,
       slots({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC5, kC5Alt})},
      {"wasm", validWasm(), colorizeWasm, slots({kNormalAlt, kC1, kC2, kC2Alt, kC3, kC3Alt, kC4})},
      {"png", validPng(), colorizePng,
       slots({kNormalAlt, kC1, kC2, kC2Alt, kC2Accent, kC3, kC3Alt, kC3Accent})},
      {"gzip", validGzip(), colorizeGzip,
       slots({kNormalAlt, kC2, kC2Alt, kC2Accent, kC3, kC3Alt, kC3Accent})},
      {"gif", validGif(), colorizeGif,
       slots({kNormalAlt, kC1, kC1Alt, kC2, kC2Alt, kC3, kC3Alt, kC4, kC4Alt, kC4Accent, kC5,
              kC5Alt, kC5Accent})},
  };
  std::mt19937 random(20240611);
  for (const Subject& subject : subjects) {
    for (int round = 0; round < 3000; ++round) {
      Bytes input = subject.seed;
      // Keep the magic; damage a few bytes, often with extreme values, and
      // sometimes cut the input short.
      const int damaged = 1 + static_cast<int>(random() % 8);
      for (int k = 0; k < damaged; ++k) {
        const std::size_t at = 4 + random() % (input.size() - 4);
        const std::uint32_t pick = random() % 4;
        input[at] = pick == 0 ? 0xff : pick == 1 ? 0x00 : static_cast<std::uint8_t>(random());
      }
      if (random() % 4 == 0) input.resize(4 + random() % (input.size() - 4));

      // colorize() also checks the resolved runs against a painted byte array.
      const std::string mask = testing::colorize(subject.parser, input);
      for (std::size_t k = 0; k < mask.size(); ++k) {
        const std::size_t slot = std::string_view("._!1aA2bB3cC4dD5eE").find(mask[k]);
        ASSERT_TRUE(slot < kSlotCount && subject.allowed.test(slot))
            << subject.name << " round " << round << " offset " << k << " mask " << mask;
      }
    }
  }
}

}  // namespace
}  // namespace lumo
