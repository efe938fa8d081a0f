#pragma once

#include <string>
#include <string_view>

#include "core/failure.h"

namespace lumo {

/// The catalogue of the messages that end a run. Each is written after the
/// error prefix; {s} placeholders are filled in order.
enum class ErrorMessage : std::uint8_t {
  OutOfMemory,             // ": Out of memory\n"
  InvalidConfig,           // ": Invalid config found\n"
  OptionsFailed,           // ": Error getting options and config file\n"
  FailureName,             // ": {s}\n"
  NoFileSpecified,         // ": no file specified\n"
  NotFound,                // ": {s} not found\n"
  IsDirectory,             // ": {s} is a directory\n"
  CouldNotOpen,            // ": {s} could not be opened\n"
  CannotRead,              // ": Cannot read {s}\n"
  NonMatchingParser,       // ": {s} does not match parser {s}\n"
  BrokenPipe,              // ": Broken pipe\n"
  WriteFailed,             // ": Error writing to stdout: {s}\n"
  ExpectedArgString,       // ": expected arg string\n"
  ExpectedFlag,            // ": expected flag\n"
  MutuallyExclusive,       // ": `--{s}` and `--{s}` are mutually exclusive\n"
  SpecifiedMultipleTimes,  // ": `--{s}` specified multiple times\n"
  InvalidFlag,             // ": invalid flag `{s}`\n"
  MultipleFiles,           // ": multiple files specified\n"
  NoParserNamed,           // ": no parser named {s}\n"
  NotAByteCount,           // ": `--{s}` value `{s}` is not a byte count\n"
  NegativeLength,          // ": `--length` value `{s}` is negative\n"
  SkipFromEndOfStream,     // ": `--skip` from the end needs a file, not {s}\n"
  NoNamedSections,         // ": {s} has no named sections\n"
  NoSectionNamed,          // ": no section named {s} (sections: {s})\n"
  MissingValue,            // ": `--{s}` needs {s}\n"
  NoSectionNamedIn,        // ": no section named {s} in {s}\n"
  BothStandardInput,       // ": `--diff` and the file cannot both be standard input\n"
  WorksOnlyWith,           // ": `--{s}` works only with `--{s}`\n"
  NoStructureNumbered,     // ": no structure numbered {s} (`--list` shows {s})\n"
  AmbiguousSection,        // ": more than one section named {s}: {s}\n"
};

/// The message text with its placeholders filled: each value byte for byte,
/// except that control bytes are written as "\xNN" (printableName).
std::string formatMessage(ErrorMessage message, std::string_view first = {},
                          std::string_view second = {});

/// Writes the prefix and the filled message as one report and ends the
/// process with status 1. Buffered standard output is dropped.
[[noreturn]] void fatal(ErrorMessage message, std::string_view first = {},
                        std::string_view second = {});

}  // namespace lumo
