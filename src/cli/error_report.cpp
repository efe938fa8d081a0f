#include "cli/error_report.h"

#include <array>

#include "core/printable_name.h"
#include "platform/platform.h"
#include "platform/stderr_report.h"

namespace lumo {
namespace {

// A switch, not a table, so that a message without a text fails the build.
constexpr std::string_view messageFormat(ErrorMessage message) {
  switch (message) {
    case ErrorMessage::OutOfMemory: return ": Out of memory\n";
    case ErrorMessage::InvalidConfig: return ": Invalid config found\n";
    case ErrorMessage::OptionsFailed: return ": Error getting options and config file\n";
    case ErrorMessage::FailureName: return ": {s}\n";
    case ErrorMessage::NoFileSpecified: return ": no file specified\n";
    case ErrorMessage::NotFound: return ": {s} not found\n";
    case ErrorMessage::IsDirectory: return ": {s} is a directory\n";
    case ErrorMessage::CouldNotOpen: return ": {s} could not be opened\n";
    case ErrorMessage::CannotRead: return ": Cannot read {s}\n";
    case ErrorMessage::NonMatchingParser: return ": {s} does not match parser {s}\n";
    case ErrorMessage::BrokenPipe: return ": Broken pipe\n";
    case ErrorMessage::WriteFailed: return ": Error writing to stdout: {s}\n";
    case ErrorMessage::ExpectedArgString: return ": expected arg string\n";
    case ErrorMessage::ExpectedFlag: return ": expected flag\n";
    case ErrorMessage::MutuallyExclusive: return ": `--{s}` and `--{s}` are mutually exclusive\n";
    case ErrorMessage::SpecifiedMultipleTimes: return ": `--{s}` specified multiple times\n";
    case ErrorMessage::InvalidFlag: return ": invalid flag `{s}`\n";
    case ErrorMessage::MultipleFiles: return ": multiple files specified\n";
    case ErrorMessage::NoParserNamed: return ": no parser named {s}\n";
    case ErrorMessage::NotAByteCount: return ": `--{s}` value `{s}` is not a byte count\n";
    case ErrorMessage::NegativeLength: return ": `--length` value `{s}` is negative\n";
    case ErrorMessage::SkipFromEndOfStream:
      return ": `--skip` from the end needs a file, not {s}\n";
    case ErrorMessage::NoNamedSections: return ": {s} has no named sections\n";
    case ErrorMessage::NoSectionNamed: return ": no section named {s} (sections: {s})\n";
    case ErrorMessage::MissingValue: return ": `--{s}` needs {s}\n";
    case ErrorMessage::NoSectionNamedIn: return ": no section named {s} in {s}\n";
    case ErrorMessage::BothStandardInput:
      return ": `--diff` and the file cannot both be standard input\n";
    case ErrorMessage::WorksOnlyWith: return ": `--{s}` works only with `--{s}`\n";
    case ErrorMessage::NoStructureNumbered:
      return ": no structure numbered {s} (`--list` shows {s})\n";
    case ErrorMessage::AmbiguousSection: return ": more than one section named {s}: {s}\n";
  }
  return ": {s}\n";
}

}  // namespace

std::string formatMessage(ErrorMessage message, std::string_view first, std::string_view second) {
  std::string_view format = messageFormat(message);
  // Every value that a message prints is a name from outside or a fixed
  // word; the names are made safe here, where they all enter.
  const std::array<std::string, 2> values = {printableName(first), printableName(second)};
  std::string text;
  text.reserve(format.size() + values[0].size() + values[1].size());
  std::size_t next = 0;
  constexpr std::string_view kPlaceholder = "{s}";
  while (!format.empty()) {
    std::size_t at = format.find(kPlaceholder);
    text.append(format.substr(0, at));
    if (at == std::string_view::npos) break;
    if (next < values.size()) text.append(values[next++]);
    format.remove_prefix(at + kPlaceholder.size());
  }
  return text;
}

void fatal(ErrorMessage message, std::string_view first, std::string_view second) {
  writeReport(formatMessage(message, first, second));
  platform::exitProcess(1);
}

}  // namespace lumo
