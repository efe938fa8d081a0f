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
    .sh_link = {40, 4},
    .sh_info = {44, 4},
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
    .sh_link = {24, 4},
    .sh_info = {28, 4},
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
      .phnum = loadUnsigned(record, layout.phnum, layout.order),
      .shnum = loadUnsigned(record, layout.shnum, layout.order),
      .shstrndx = loadUnsigned(record, layout.shstrndx, layout.order),
  };
}

namespace {

// Decoders fixed to one class and byte order: every field's place, width and
// order is then a constant, and each load compiles to a move (and a swap).
template <const ElfLayout& kLayout, ByteOrder kOrder>
ElfEntry programEntry(ByteSpan record) {
  return {
      .type = static_cast<std::uint32_t>(loadUnsigned(record, kLayout.p_type, kOrder)),
      .flags = static_cast<std::uint32_t>(loadUnsigned(record, kLayout.p_flags, kOrder)),
      .offset = loadUnsigned(record, kLayout.p_offset, kOrder),
      .size = loadUnsigned(record, kLayout.p_filesz, kOrder),
  };
}

template <const ElfLayout& kLayout, ByteOrder kOrder>
ElfEntry sectionEntry(ByteSpan record) {
  return {
      .type = static_cast<std::uint32_t>(loadUnsigned(record, kLayout.sh_type, kOrder)),
      .name = static_cast<std::uint32_t>(loadUnsigned(record, kLayout.sh_name, kOrder)),
      .offset = loadUnsigned(record, kLayout.sh_offset, kOrder),
      .size = loadUnsigned(record, kLayout.sh_size, kOrder),
      .link = static_cast<std::uint32_t>(loadUnsigned(record, kLayout.sh_link, kOrder)),
      .info = static_cast<std::uint32_t>(loadUnsigned(record, kLayout.sh_info, kOrder)),
  };
}

template <const ElfLayout& kLayout, ByteOrder kOrder>
constexpr EntryDecoders kDecoders{programEntry<kLayout, kOrder>, sectionEntry<kLayout, kOrder>};

}  // namespace

EntryDecoders entryDecoders(const ElfLayout& layout) {
  const bool big = layout.order == ByteOrder::Big;
  if (layout.header_size == kElf64.header_size) {
    return big ? kDecoders<kElf64, ByteOrder::Big> : kDecoders<kElf64, ByteOrder::Little>;
  }
  return big ? kDecoders<kElf32, ByteOrder::Big> : kDecoders<kElf32, ByteOrder::Little>;
}

}  // namespace lumo
