#include "platform/environment_names.h"
#include "platform/platform.h"

namespace lumo::platform {

Environment Environment::of(std::vector<std::pair<std::string, std::string>> variables) {
  Environment environment;
  environment.variables_ = std::move(variables);
  return environment;
}

std::optional<std::string_view> Environment::get(std::string_view name) const {
  // The first definition wins, as getenv does.
  for (const auto& [key, value] : variables_) {
    if (sameEnvironmentName(key, name)) return std::string_view(value);
  }
  return std::nullopt;
}

}  // namespace lumo::platform
