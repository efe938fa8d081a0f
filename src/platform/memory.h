#pragma once

#include <cstddef>

namespace lumo::platform {

/// Asks the system to map the pages of [data, data + size) now, for memory
/// that is about to be written whole: one call instead of a page fault per
/// page, which on virtual machines costs more than the writing itself. Only
/// a hint: partial pages at either end are left alone, and where the system
/// has no such call nothing happens.
void mapForWriting(void* data, std::size_t size);

}  // namespace lumo::platform
