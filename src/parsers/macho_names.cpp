#include "parsers/macho_names.h"

#include <array>
#include <utility>

namespace lumo {
namespace {

// From mach-o/loader.h; LC_REQ_DYLD (0x80000000) is part of the value.
constexpr std::array<std::pair<std::uint32_t, std::string_view>, 48> kLoadCommands = {{
    {0x1, "LC_SEGMENT"},
    {0x2, "LC_SYMTAB"},
    {0x3, "LC_SYMSEG"},
    {0x4, "LC_THREAD"},
    {0x5, "LC_UNIXTHREAD"},
    {0x6, "LC_LOADFVMLIB"},
    {0x7, "LC_IDFVMLIB"},
    {0x8, "LC_IDENT"},
    {0x9, "LC_FVMFILE"},
    {0xa, "LC_PREPAGE"},
    {0xb, "LC_DYSYMTAB"},
    {0xc, "LC_LOAD_DYLIB"},
    {0xd, "LC_ID_DYLIB"},
    {0xe, "LC_LOAD_DYLINKER"},
    {0xf, "LC_ID_DYLINKER"},
    {0x10, "LC_PREBOUND_DYLIB"},
    {0x11, "LC_ROUTINES"},
    {0x12, "LC_SUB_FRAMEWORK"},
    {0x13, "LC_SUB_UMBRELLA"},
    {0x14, "LC_SUB_CLIENT"},
    {0x15, "LC_SUB_LIBRARY"},
    {0x16, "LC_TWOLEVEL_HINTS"},
    {0x17, "LC_PREBIND_CKSUM"},
    {0x80000018, "LC_LOAD_WEAK_DYLIB"},
    {0x19, "LC_SEGMENT_64"},
    {0x1a, "LC_ROUTINES_64"},
    {0x1b, "LC_UUID"},
    {0x8000001c, "LC_RPATH"},
    {0x1d, "LC_CODE_SIGNATURE"},
    {0x1e, "LC_SEGMENT_SPLIT_INFO"},
    {0x8000001f, "LC_REEXPORT_DYLIB"},
    {0x20, "LC_LAZY_LOAD_DYLIB"},
    {0x21, "LC_ENCRYPTION_INFO"},
    {0x22, "LC_DYLD_INFO"},
    {0x80000022, "LC_DYLD_INFO_ONLY"},
    {0x80000023, "LC_LOAD_UPWARD_DYLIB"},
    {0x24, "LC_VERSION_MIN_MACOSX"},
    {0x25, "LC_VERSION_MIN_IPHONEOS"},
    {0x26, "LC_FUNCTION_STARTS"},
    {0x27, "LC_DYLD_ENVIRONMENT"},
    {0x80000028, "LC_MAIN"},
    {0x29, "LC_DATA_IN_CODE"},
    {0x2a, "LC_SOURCE_VERSION"},
    {0x2b, "LC_DYLIB_CODE_SIGN_DRS"},
    {0x2c, "LC_ENCRYPTION_INFO_64"},
    {0x2d, "LC_LINKER_OPTION"},
    {0x32, "LC_BUILD_VERSION"},
    {0x80000033, "LC_DYLD_EXPORTS_TRIE"},
}};

constexpr std::uint32_t kCpuArch64 = 0x01000000;
constexpr std::uint32_t kCpuArch64_32 = 0x02000000;
constexpr std::uint32_t kCpuX86 = 7;
constexpr std::uint32_t kCpuArm = 12;
constexpr std::uint32_t kCpuPowerPc = 18;
constexpr std::uint32_t kCpuSubtypeArm64E = 2;
constexpr std::uint32_t kCpuSubtypeMask = 0x00ffffff;  // the high byte holds capability bits

}  // namespace

std::string_view loadCommandName(std::uint32_t cmd) {
  for (const auto& [value, name] : kLoadCommands) {
    if (value == cmd) return name;
  }
  return {};
}

std::string_view cpuTypeName(std::uint32_t cputype, std::uint32_t cpusubtype) {
  switch (cputype) {
    case kCpuX86: return "i386";
    case kCpuX86 | kCpuArch64: return "x86_64";
    case kCpuArm: return "arm";
    case kCpuArm | kCpuArch64:
      return (cpusubtype & kCpuSubtypeMask) == kCpuSubtypeArm64E ? "arm64e" : "arm64";
    case kCpuArm | kCpuArch64_32: return "arm64_32";
    case kCpuPowerPc: return "ppc";
    case kCpuPowerPc | kCpuArch64: return "ppc64";
    default: return {};
  }
}

}  // namespace lumo
