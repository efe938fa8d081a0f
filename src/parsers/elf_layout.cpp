#include "parsers/elf_layout.h"

namespace lumo {
namespace {

constexpr ElfLayout kElf64 = {
    .header_size = 64,
    .phoff = {32, 8},
    .shoff = {40, 8},
    .phnum = {56, 2},
    .shnum = {60, 2},
    .shstrndx = {62, 2},
    .program_entry_size = 56,
    .p_type = {0, 4},
    .p_flags = {4, 4},
    .p_offset = {8, 8},
    .p_filesz = {32, 8},
    .section_entry_size = 64,
    .sh_name = {0, 4},
    .sh_type = {4, 4},
    .sh_offset = {24, 8},
    .sh_size = {32, 8},
};

constexpr ElfLayout kElf32 = {
    .header_size = 52,
    .phoff = {28, 4},
    .shoff = {32, 4},
    .phnum = {44, 2},
    .shnum = {48, 2},
    .shstrndx = {50, 2},
    .program_entry_size = 32,
    .p_type = {0, 4},
    .p_flags = {24, 4},
    .p_offset = {4, 4},
    .p_filesz = {16, 4},
    .section_entry_size = 40,
    .sh_name = {0, 4},
    .sh_type = {4, 4},
    .sh_offset = {16, 4},
    .sh_size = {20, 4},
};

constexpr std::uint8_t kElfClass32 = 1;
constexpr std::uint8_t kElfClass64 = 2;
constexpr std::uint8_t kElfDataBigEndian = 2;

}  // namespace

std::optional<ElfLayout> elfLayoutForClass(std::uint8_t elf_class) {
  if (elf_class == kElfClass64) return kElf64;
  if (elf_class == kElfClass32) return kElf32;
  return std::nullopt;
}

ElfLayout withByteOrder(ElfLayout layout, std::uint8_t elf_data) {
  layout.order = elf_data == kElfDataBigEndian ? ByteOrder::Big : ByteOrder::Little;
  return layout;
}

ElfHeader decodeElfHeader(const ElfLayout& layout, ByteSpan record) {
  return {
      .phoff = loadUnsigned(record, layout.phoff, layout.order),
      .shoff = loadUnsigned(record, layout.shoff, layout.order),
      .phnum = static_cast<std::uint16_t>(loadUnsigned(record, layout.phnum, layout.order)),
      .shnum = static_cast<std::uint16_t>(loadUnsigned(record, layout.shnum, layout.order)),
      .shstrndx = static_cast<std::uint16_t>(loadUnsigned(record, layout.shstrndx, layout.order)),
  };
}

ElfEntry decodeProgramEntry(const ElfLayout& layout, ByteSpan record) {
  return {
      .type = static_cast<std::uint32_t>(loadUnsigned(record, layout.p_type, layout.order)),
      .flags = static_cast<std::uint32_t>(loadUnsigned(record, layout.p_flags, layout.order)),
      .offset = loadUnsigned(record, layout.p_offset, layout.order),
      .size = loadUnsigned(record, layout.p_filesz, layout.order),
  };
}

ElfEntry decodeSectionEntry(const ElfLayout& layout, ByteSpan record) {
  return {
      .type = static_cast<std::uint32_t>(loadUnsigned(record, layout.sh_type, layout.order)),
      .name = static_cast<std::uint32_t>(loadUnsigned(record, layout.sh_name, layout.order)),
      .offset = loadUnsigned(record, layout.sh_offset, layout.order),
      .size = loadUnsigned(record, layout.sh_size, layout.order),
  };
}

}  // namespace lumo
