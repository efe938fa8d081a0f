#include "config/options.h"

#include <array>
#include <new>

#include "config/config_file.h"

namespace lumo {
namespace {

/// One boolean option with its key in the configuration file and its switch
/// on the command line.
struct BooleanOption {
  bool Options::*option;
  std::optional<bool> Config::*fromConfig;
  std::optional<bool> Args::*fromFlags;
};

constexpr std::array<BooleanOption, 7> kBooleanOptions = {{
    {&Options::color, &Config::color, &Args::color},
    {&Options::uppercase, &Config::uppercase, &Args::uppercase},
    {&Options::show_size, &Config::show_size, &Args::show_size},
    {&Options::show_offset, &Config::show_offset, &Args::show_offset},
    {&Options::show_ascii, &Config::show_ascii, &Args::show_ascii},
    {&Options::skip_lines, &Config::skip_lines, &Args::skip_lines},
    {&Options::raw, &Config::raw, &Args::raw},
}};

void applyConfig(Options& options, const Config& config) {
  for (const BooleanOption& entry : kBooleanOptions) {
    if (const std::optional<bool>& value = config.*entry.fromConfig) options.*entry.option = *value;
  }
  // A file palette always names all eighteen slots, so it replaces the whole.
  if (config.palette) options.palette = *config.palette;
}

// NO_COLOR can only turn color off, and only with a non-empty value.
void applyNoColor(Options& options, const platform::Environment& environment) {
  std::optional<std::string_view> noColor = environment.get("NO_COLOR");
  if (noColor && !noColor->empty()) options.color = false;
}

void applyFlags(Options& options, const Args& args) {
  for (const BooleanOption& entry : kBooleanOptions) {
    if (const std::optional<bool>& value = args.*entry.fromFlags) options.*entry.option = *value;
  }
  options.parser = args.parser;
  options.window = args.window;
  options.legend = args.legend.value_or(false);
  options.annotate = args.annotate.value_or(false);
  options.list = args.list.value_or(false);
}

}  // namespace

Options mergeOptions(const Args& args, bool terminal, const std::optional<Config>& config,
                     const platform::Environment& environment) {
  Options options;
  options.color = terminal;
  if (config) applyConfig(options, *config);
  applyNoColor(options, environment);
  applyFlags(options, args);
  return options;
}

Result<Options> resolveOptions(const Args& args) {
  try {
    Result<platform::Environment> environment = platform::Environment::read();
    if (!environment) return environment.failure();
    // Made on every run, before the file and whatever the flags say: on a
    // Windows console it also switches escape processing on.
    bool terminal = platform::detectColorSupport(platform::StdStream::Output);
    Result<std::optional<Config>> config = readConfig(*environment);
    if (!config) return config.failure();
    return mergeOptions(args, terminal, *config, *environment);
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
}

}  // namespace lumo
