#include "config/config_file.h"

#include <new>
#include <string_view>

#include "config/config_schema.h"
#include "core/printable_name.h"
#include "platform/stderr_report.h"

namespace lumo {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

constexpr std::string_view kRelativePath = "lumo/config.ziggy";

// `directory` + separator + `rest`; no separator after an empty directory or
// one that already ends in either kind of slash.
std::string joinPath(std::string_view directory, std::string_view rest) {
  std::string path(directory);
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += kSeparator;
  path += rest;
  return path;
}

#ifndef _WIN32
std::optional<std::string_view> nonEmpty(const platform::Environment& environment,
                                         std::string_view name) {
  std::optional<std::string_view> value = environment.get(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}
#endif

std::optional<std::string> locate(const platform::Environment& environment) {
  if (std::optional<std::string_view> appData = environment.get("APPDATA")) {
    return joinPath(*appData, kRelativePath);
  }
#ifndef _WIN32
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG Base
  // Directory rules say: it would make the current folder, which may be
  // anyone's, supply the configuration.
  std::optional<std::string_view> configHome = nonEmpty(environment, "XDG_CONFIG_HOME");
  if (configHome && configHome->front() == '/') return joinPath(*configHome, kRelativePath);
  if (std::optional<std::string_view> home = nonEmpty(environment, "HOME")) {
    return joinPath(joinPath(*home, ".config"), kRelativePath);
  }
#endif
  return std::nullopt;
}

}  // namespace

std::optional<std::string> configPath(const platform::Environment& environment) {
  try {
    return locate(environment);
  } catch (const std::bad_alloc&) {
    return std::nullopt;  // without memory for the path there is no file to read
  }
}

std::string configDiagnosticReport(const ziggy::Diagnostic& diagnostic) {
  return ": " + ziggy::formatDiagnostic(diagnostic) + "\n";
}

Result<std::optional<Config>> readConfig(const platform::Environment& environment) {
  std::optional<std::string> path = configPath(environment);
  if (!path) return std::optional<Config>();

  // Whatever keeps the file from opening means the user has no file for us.
  Result<platform::InputSource> source = platform::InputSource::openRegularFile(*path);
  if (!source) return std::optional<Config>();
  Result<ByteBuffer> bytes = source->readAll();
  if (!bytes) return bytes.failure();
  if (bytes->size() == 0) return std::optional<Config>();

  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  try {
    // The path comes from the environment: it is printed made safe.
    ziggy::Diagnostic diagnostic{printableName(*path), {}};
    Result<Config> config = parseConfig(text, diagnostic);
    if (config) return std::optional<Config>(*config);
    if (config.failure() != Failure::Syntax) return config.failure();
    writeReport(configDiagnosticReport(diagnostic));
    return Failure::InvalidConfig;
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
}

}  // namespace lumo
