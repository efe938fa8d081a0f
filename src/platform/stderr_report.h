#pragma once

#include <string_view>

namespace lumo {

/// "error", in red and bold when standard error is a terminal.
std::string_view errorPrefix(bool colored);

/// The prefix for standard error, chosen by the terminal test of standard
/// error alone (never by the color option).
std::string_view currentErrorPrefix();

/// Writes the error prefix and then `text` to standard error as one report
/// (one write where it fits 4096 bytes), holding the standard-error lock.
/// Write failures are ignored.
void writeReport(std::string_view text);

/// Writes `text` to standard error in one piece where it fits the report
/// buffer; failures are ignored. Used for help, version and diagnostics.
void writeToStderr(std::string_view text);

}  // namespace lumo
