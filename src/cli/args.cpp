#include "cli/args.h"

#include <array>
#include <string_view>

#include "cli/byte_count.h"
#include "parsers/registry.h"

namespace lumo {
namespace {

using Tristate = std::optional<bool> Args::*;

/// One entry of the flag table. Names are stored without the leading "--".
struct FlagEntry {
  enum class Kind : std::uint8_t { Action, Switch, Option };
  Kind kind;
  std::string_view name;          // the action's or option's name; a switch's positive name
  std::string_view negativeName;  // switches only; empty when there is none
  Tristate field = nullptr;       // switches only
  ArgsOutcome::Action action = ArgsOutcome::Action::Run;  // actions only
  std::string_view wants;  // options only: what the value is, for the error when it is missing
};

constexpr FlagEntry action(std::string_view name, ArgsOutcome::Action what) {
  return {FlagEntry::Kind::Action, name, {}, nullptr, what, {}};
}
constexpr FlagEntry toggle(std::string_view positive, std::string_view negative, Tristate field) {
  return {FlagEntry::Kind::Switch, positive, negative, field, ArgsOutcome::Action::Run, {}};
}

constexpr FlagEntry option(std::string_view name, std::string_view wants) {
  return {FlagEntry::Kind::Option, name, {}, nullptr, ArgsOutcome::Action::Run, wants};
}

// Searched in this order; no name is a prefix match, none takes "=value".
constexpr std::array<FlagEntry, 19> kFlagTable = {
    action("help", ArgsOutcome::Action::Help),
    action("version", ArgsOutcome::Action::Version),
    toggle("color", "no-color", &Args::color),
    toggle("uppercase", "lowercase", &Args::uppercase),
    toggle("size", "no-size", &Args::show_size),
    toggle("offset", "no-offset", &Args::show_offset),
    toggle("ascii", "no-ascii", &Args::show_ascii),
    toggle("skip-lines", "no-skip-lines", &Args::skip_lines),
    toggle("raw", {}, &Args::raw),
    toggle("show-palette", {}, &Args::show_palette),
    toggle("legend", {}, &Args::legend),
    toggle("annotate", {}, &Args::annotate),
    toggle("list", {}, &Args::list),
    toggle("json", {}, &Args::json),
    option("skip", "an offset"),
    option("length", "a number of bytes"),
    option("section", "a section name"),
    option("diff", "a file to compare with"),
    // Without a value it keeps its older behaviour: dropped at the end, and
    // a dash word after it is "expected arg string".
    option("parser", {}),
};

struct FlagMatch {
  const FlagEntry* entry = nullptr;
  bool positive = true;
};

FlagMatch findFlag(std::string_view name) {
  for (const FlagEntry& entry : kFlagTable) {
    if (name == entry.name) return {&entry, true};
    if (!entry.negativeName.empty() && name == entry.negativeName) return {&entry, false};
  }
  return {};
}

ArgsOutcome errorOutcome(ErrorMessage message, std::string_view first = {},
                         std::string_view second = {}) {
  ArgsOutcome outcome;
  outcome.action = ArgsOutcome::Action::Error;
  outcome.error = message;
  outcome.errorFirst = first;
  outcome.errorSecond = second;
  return outcome;
}

ArgsOutcome actionOutcome(ArgsOutcome::Action action) {
  ArgsOutcome outcome;
  outcome.action = action;
  return outcome;
}

/// The walk over the arguments: the Args under construction, the latest
/// text of each option and which option, if any, waits for its value.
class ArgsWalk {
 public:
  /// Takes one argument; an outcome other than Run ends the walk.
  std::optional<ArgsOutcome> take(const std::string& argument) {
    if (pending_ != nullptr) return takeValue(argument);
    if (argument.size() < 2 || argument[0] != '-') return takeFile(argument);
    if (argument[1] != '-') return takeShortFlag(argument);
    if (argument.size() == 2) return errorOutcome(ErrorMessage::ExpectedFlag);
    return takeLongFlag(argument);
  }

  /// Ends the walk: a trailing option without a value is an error (a
  /// trailing --parser is dropped), and the latest texts must be a parser
  /// name and byte counts.
  ArgsOutcome finish() {
    if (pending_ != nullptr && !pending_->wants.empty()) return missingValue();
    if (parserText_) {
      args_.parser = formatByName(*parserText_);
      if (!args_.parser) return errorOutcome(ErrorMessage::NoParserNamed, *parserText_);
    }
    if (skipText_) {
      args_.window.skip = parseByteCount(*skipText_);
      if (!args_.window.skip) return errorOutcome(ErrorMessage::NotAByteCount, "skip", *skipText_);
    }
    if (lengthText_) {
      args_.window.length = parseByteCount(*lengthText_);
      if (!args_.window.length) {
        return errorOutcome(ErrorMessage::NotAByteCount, "length", *lengthText_);
      }
      if (args_.window.length->from_end) {
        return errorOutcome(ErrorMessage::NegativeLength, *lengthText_);
      }
    }
    if (args_.json.value_or(false) && !args_.list.value_or(false)) {
      return errorOutcome(ErrorMessage::WorksOnlyWith, "json", "list");
    }
    ArgsOutcome outcome;
    outcome.args = std::move(args_);
    return outcome;
  }

 private:
  ArgsOutcome missingValue() const {
    return errorOutcome(ErrorMessage::MissingValue, pending_->name, pending_->wants);
  }

  // A number after --skip or --length may start with "-"; a section name may
  // be any word but one of lumo's long flags, since real sections are named
  // "-x"; a parser name never starts with "-".
  std::optional<ArgsOutcome> takeValue(const std::string& argument) {
    const std::string_view name = pending_->name;
    const bool dashed = !argument.empty() && argument[0] == '-';
    if (name == "section") {
      if (isLongFlag(argument)) return missingValue();
    } else if (name == "diff" && argument == "-") {
      // Standard input as the file to compare with.
    } else if (dashed && !(name != "parser" && looksNegativeNumber(argument))) {
      if (name == "parser") return errorOutcome(ErrorMessage::ExpectedArgString);
      return missingValue();
    }
    if (name == "parser") parserText_ = argument;
    if (name == "skip") skipText_ = argument;
    if (name == "length") lengthText_ = argument;
    if (name == "section") args_.window.section = argument;
    if (name == "diff") args_.diff = argument;
    pending_ = nullptr;
    return std::nullopt;
  }

  static bool isLongFlag(std::string_view argument) {
    return argument.starts_with("--") && findFlag(argument.substr(2)).entry != nullptr;
  }

  // "", "-" and anything not starting with a dash.
  std::optional<ArgsOutcome> takeFile(const std::string& argument) {
    if (args_.file) return errorOutcome(ErrorMessage::MultipleFiles);
    args_.file = argument;
    return std::nullopt;
  }

  // Only the character after the dash counts: "-help" and "-hx" are help.
  static std::optional<ArgsOutcome> takeShortFlag(const std::string& argument) {
    if (argument[1] == 'h') return actionOutcome(ArgsOutcome::Action::Help);
    if (argument[1] == 'v') return actionOutcome(ArgsOutcome::Action::Version);
    return errorOutcome(ErrorMessage::InvalidFlag, argument);
  }

  std::optional<ArgsOutcome> takeLongFlag(const std::string& argument) {
    FlagMatch match = findFlag(std::string_view(argument).substr(2));
    if (match.entry == nullptr) return errorOutcome(ErrorMessage::InvalidFlag, argument);
    switch (match.entry->kind) {
      case FlagEntry::Kind::Action: return actionOutcome(match.entry->action);
      case FlagEntry::Kind::Option: pending_ = match.entry; return std::nullopt;
      case FlagEntry::Kind::Switch: return setSwitch(*match.entry, match.positive);
    }
    return std::nullopt;
  }

  std::optional<ArgsOutcome> setSwitch(const FlagEntry& entry, bool value) {
    std::optional<bool>& field = args_.*entry.field;
    if (!field) {
      field = value;
      return std::nullopt;
    }
    if (*field == value) {
      return errorOutcome(ErrorMessage::SpecifiedMultipleTimes,
                          value ? entry.name : entry.negativeName);
    }
    return errorOutcome(ErrorMessage::MutuallyExclusive, entry.name, entry.negativeName);
  }

  Args args_;
  std::optional<std::string> parserText_;
  std::optional<std::string> skipText_;
  std::optional<std::string> lengthText_;
  const FlagEntry* pending_ = nullptr;  // the option waiting for its value, if any
};

}  // namespace

ArgsOutcome classifyArgs(const std::vector<std::string>& arguments) {
  ArgsWalk walk;
  for (const std::string& argument : arguments) {
    if (std::optional<ArgsOutcome> outcome = walk.take(argument)) return std::move(*outcome);
  }
  return walk.finish();
}

Args parseArgs(const std::vector<std::string>& arguments) {
  ArgsOutcome outcome = classifyArgs(arguments);
  switch (outcome.action) {
    case ArgsOutcome::Action::Help: printHelp();
    case ArgsOutcome::Action::Version: printVersion();
    case ArgsOutcome::Action::Error: fatal(outcome.error, outcome.errorFirst, outcome.errorSecond);
    case ArgsOutcome::Action::Run: break;
  }
  return std::move(outcome.args);
}

}  // namespace lumo
