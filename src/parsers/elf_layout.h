#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/byte_span.h"
#include "parsers/byte_order.h"

namespace lumo {

/// Everything that differs between the ELF classes and byte orders, settled
/// once after the header is read so the table walks never branch on either.
/// Entry sizes are the class's fixed ones; e_phentsize and e_shentsize are
/// not consulted.
struct ElfLayout {
  std::uint64_t header_size = 0;
  FieldAt phoff, shoff, phnum, shnum, shstrndx;

  std::uint64_t program_entry_size = 0;
  FieldAt p_type, p_flags, p_offset, p_filesz;

  std::uint64_t section_entry_size = 0;
  FieldAt sh_name, sh_type, sh_offset, sh_size, sh_link, sh_info;

  ByteOrder order = ByteOrder::Little;
};

/// The header values that the table walks need: the 16-bit fields as read,
/// widened so that extended numbering can replace them.
struct ElfHeader {
  std::uint64_t phoff = 0;
  std::uint64_t shoff = 0;
  std::uint64_t phnum = 0;
  std::uint64_t shnum = 0;
  std::uint64_t shstrndx = 0;
};

/// One program or section header entry: its type and the file stretch of
/// its contents; `name`, `link` and `info` are sh_name, sh_link and sh_info
/// for a section (section 0's hold the extended counts), `flags` p_flags for
/// a segment.
struct ElfEntry {
  std::uint32_t type = 0;
  std::uint32_t name = 0;
  std::uint32_t flags = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
  std::uint32_t info = 0;
};

inline constexpr std::size_t kElfClassOffset = 4;
inline constexpr std::size_t kElfDataOffset = 5;

/// The layout for the EI_CLASS byte (1: 32-bit, 2: 64-bit), little-endian
/// until `withByteOrder`; nothing for any other class.
std::optional<ElfLayout> elfLayoutForClass(std::uint8_t elf_class);

/// The layout with the byte order of the EI_DATA byte: 2 means big-endian,
/// every other value little-endian.
ElfLayout withByteOrder(ElfLayout layout, std::uint8_t elf_data);

/// The header's decoder, for a record of exactly the layout's header size.
ElfHeader decodeElfHeader(const ElfLayout& layout, ByteSpan record);

/// The entry decoders for one layout (records of exactly its entry sizes),
/// chosen once per table: a walk over 65535 entries then never looks at the
/// class or the byte order again.
using EntryDecoder = ElfEntry (*)(ByteSpan record);
struct EntryDecoders {
  EntryDecoder program = nullptr;
  EntryDecoder section = nullptr;
};
EntryDecoders entryDecoders(const ElfLayout& layout);

}  // namespace lumo
