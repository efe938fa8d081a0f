#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "render/output.h"

namespace lumo {

/// "File size: {} bytes\n", and from 1024 bytes on the size in binary units
/// with two decimals, rounded half up from the shortest round-trip decimal.
std::string sizeFooterText(std::uint64_t size);

Status writeSizeFooter(std::uint64_t size, OutputBuffer& out);

/// The size line of a window of `shown` bytes from `start`:
/// "Bytes 0x{first:x}-0x{last:x} ({shown} bytes) of {total} bytes ({units})\n",
/// or "No bytes at 0x{start:x} of ..." when nothing was shown. The total has
/// the form of the whole-input line (units from 1024 bytes on); without a
/// known total (a stream that was not read to its end) " of ..." is left out.
std::string windowFooterText(std::uint64_t start, std::uint64_t shown,
                             std::optional<std::uint64_t> total);

}  // namespace lumo
