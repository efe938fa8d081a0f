#pragma once

#include <cstdint>
#include <string_view>

namespace lumo {

/// The LC_ name of a load command type, or empty when it has none here.
std::string_view loadCommandName(std::uint32_t cmd);

/// The architecture name of a CPU type and subtype as the tools print it
/// ("arm64", "x86_64"), or empty when it has none here.
std::string_view cpuTypeName(std::uint32_t cputype, std::uint32_t cpusubtype);

}  // namespace lumo
