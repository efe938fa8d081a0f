// The command line, split at zero bytes into arguments. Whatever they are,
// the classification never fails to decide; an error's message is one
// line after the prefix, with no control byte of an argument in it; a run's file and switches come
// from arguments that are really there; and an outcome decided before the last argument does not
// change when more arguments follow.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/args.h"
#include "cli/error_report.h"
#include "core/printable_name.h"
#include "fuzz_check.h"
#include "parsers/registry.h"

namespace {

using lumo::ArgsOutcome;

std::vector<std::string> splitArguments(std::string_view text) {
  std::vector<std::string> arguments;
  if (text.empty()) return arguments;
  while (true) {
    const std::size_t zero = text.find('\0');
    arguments.emplace_back(text.substr(0, zero));
    if (zero == std::string_view::npos) return arguments;
    text.remove_prefix(zero + 1);
  }
}

bool has(const std::vector<std::string>& arguments, std::string_view argument) {
  return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

// A set switch names a flag that was given in the matching form.
void checkSwitch(const std::vector<std::string>& arguments, std::optional<bool> value,
                 std::string_view positive, std::string_view negative) {
  if (!value) return;
  FUZZ_CHECK(has(arguments, std::string("--") + std::string(*value ? positive : negative)));
}

void checkRun(const std::vector<std::string>& arguments, const lumo::Args& args) {
  if (args.file) {
    FUZZ_CHECK(has(arguments, *args.file));
    FUZZ_CHECK(args.file->size() < 2 || (*args.file)[0] != '-');
  }
  checkSwitch(arguments, args.color, "color", "no-color");
  checkSwitch(arguments, args.uppercase, "uppercase", "lowercase");
  checkSwitch(arguments, args.show_size, "size", "no-size");
  checkSwitch(arguments, args.show_offset, "offset", "no-offset");
  checkSwitch(arguments, args.show_ascii, "ascii", "no-ascii");
  checkSwitch(arguments, args.skip_lines, "skip-lines", "no-skip-lines");
  checkSwitch(arguments, args.raw, "raw", "");
  checkSwitch(arguments, args.show_palette, "show-palette", "");
  if (args.raw) FUZZ_CHECK(*args.raw);
  if (args.show_palette) FUZZ_CHECK(*args.show_palette);
  checkSwitch(arguments, args.legend, "legend", "");
  checkSwitch(arguments, args.list, "list", "");
  checkSwitch(arguments, args.json, "json", "");
  if (args.json) FUZZ_CHECK(args.list.value_or(false));
  if (args.window.skip) FUZZ_CHECK(has(arguments, "--skip"));
  if (args.window.length) {
    FUZZ_CHECK(has(arguments, "--length"));
    FUZZ_CHECK(!args.window.length->from_end);
  }
  if (args.window.section) {
    FUZZ_CHECK(has(arguments, "--section") && has(arguments, *args.window.section));
    // Any word may name a section (real ones are named "-x"), except one
    // of lumo's own flags, which is read as the flag.
    const std::string& name = *args.window.section;
    FUZZ_CHECK(!name.starts_with("--") ||
               lumo::classifyArgs({name}).action == lumo::ArgsOutcome::Action::Error);
  }
  if (args.diff) FUZZ_CHECK(has(arguments, "--diff") && has(arguments, *args.diff));
  if (args.parser) {
    FUZZ_CHECK(has(arguments, "--parser"));
    FUZZ_CHECK(has(arguments, std::string(args.parser->name)));
  }
}

bool asksFor(const std::vector<std::string>& arguments, char letter, std::string_view name) {
  return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& argument) {
    return argument == name ||
           (argument.size() >= 2 && argument[0] == '-' && argument[1] == letter);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> arguments =
      splitArguments(std::string_view(reinterpret_cast<const char*>(data), size));
  const ArgsOutcome outcome = lumo::classifyArgs(arguments);

  switch (outcome.action) {
    case ArgsOutcome::Action::Run: checkRun(arguments, outcome.args); return 0;
    case ArgsOutcome::Action::Help: FUZZ_CHECK(asksFor(arguments, 'h', "--help")); break;
    case ArgsOutcome::Action::Version: FUZZ_CHECK(asksFor(arguments, 'v', "--version")); break;
    case ArgsOutcome::Action::Error: {
      const std::string message =
          lumo::formatMessage(outcome.error, outcome.errorFirst, outcome.errorSecond);
      FUZZ_CHECK(message.size() >= 3 && message.substr(0, 2) == ": " && message.back() == '\n');
      FUZZ_CHECK(message.find(lumo::printableName(outcome.errorFirst)) != std::string::npos);
      FUZZ_CHECK(message.find(lumo::printableName(outcome.errorSecond)) != std::string::npos);
      // No control byte of an argument reaches the terminal.
      for (std::size_t i = 0; i + 1 < message.size(); ++i) {
        const auto byte = static_cast<unsigned char>(message[i]);
        FUZZ_CHECK(byte >= 0x20 && byte != 0x7f);
      }
      // The parser name and the byte counts are looked up, and --json is
      // held to --list, only after the last argument.
      if (outcome.error == lumo::ErrorMessage::NoParserNamed ||
          outcome.error == lumo::ErrorMessage::NotAByteCount ||
          outcome.error == lumo::ErrorMessage::NegativeLength ||
          outcome.error == lumo::ErrorMessage::WorksOnlyWith) {
        return 0;
      }
      break;
    }
  }

  // Decided on the way: whatever follows cannot change it.
  std::vector<std::string> longer = arguments;
  longer.emplace_back("--help");
  const ArgsOutcome again = lumo::classifyArgs(longer);
  FUZZ_CHECK(again.action == outcome.action && again.error == outcome.error &&
             again.errorFirst == outcome.errorFirst && again.errorSecond == outcome.errorSecond);
  return 0;
}
