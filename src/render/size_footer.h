#pragma once

#include <cstdint>
#include <string>

#include "render/output.h"

namespace lumo {

/// "File size: {} bytes\n", and from 1024 bytes on the size in binary units
/// with two decimals, rounded half up from the shortest round-trip decimal.
std::string sizeFooterText(std::uint64_t size);

Status writeSizeFooter(std::uint64_t size, OutputBuffer& out);

}  // namespace lumo
