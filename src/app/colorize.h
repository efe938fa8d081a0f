#pragma once

#include <memory>
#include <string_view>

#include "app/run_error.h"
#include "colormap/colormap.h"
#include "config/options.h"
#include "core/byte_span.h"
#include "parsers/forward_walk.h"
#include "parsers/random_access.h"

// The one place where the run meets the formats: which one colors the
// input, and what it needs to read.

namespace lumo {

/// How many first bytes of a stream decide its format.
std::size_t formatPrefixSize();

/// Whether the stream that starts with `head` must be read whole before it
/// is colored: its format reads its headers anywhere, and colors or names
/// are wanted at all.
bool needsWholeStream(ByteSpan head, const Options& options);

/// The walk that colors the stream starting with `head` as it flows, when
/// its format has one and colors but no names are wanted (names for the
/// legend, the headings and a section's place are wanted whole before the
/// dump); else none.
std::unique_ptr<ForwardWalk> forwardWalkOf(ByteSpan head, const Options& options);

/// The colormap of `input` as the options ask: none when nothing reads it,
/// though a forced format must still match. Fails with the mismatch or
/// with OutOfMemory. `keepLabels` keeps every label even where the options
/// alone would need only the sections.
RunResult<Colormap> colorize(const RandomAccess& input, const Options& options,
                             std::string_view displayName, bool keepLabels = false);

}  // namespace lumo
