#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "cli/error_report.h"
#include "core/failure.h"

namespace lumo {

/// Why a run ends before its dump is done: a message of the catalogue with
/// its values, or a notice that ends the run without failing it.
struct RunError {
  ErrorMessage message = ErrorMessage::FailureName;
  std::string first;
  std::string second;
  /// When not empty, written to standard error as it is instead of the
  /// message, and the run ends with status 0: there is nothing to show.
  std::string notice;
};

/// The run ends with `message`, its placeholders filled with the values.
RunError failed(ErrorMessage message, std::string_view first = {}, std::string_view second = {});

/// The run ends with status 0 once `text` is written to standard error.
RunError notice(std::string text);

/// The message for a failure of reading the input named `displayName`.
RunError readFailure(Failure failure, std::string_view displayName);

/// The message for a failure of writing standard output.
RunError writeFailure(Failure failure);

/// A value, or why the run ends.
template <typename T>
class [[nodiscard]] RunResult {
 public:
  RunResult(T value) : value_(std::move(value)) {}         // NOLINT: implicit by design
  RunResult(RunError error) : error_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  T& operator*() & { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  /// Only meaningful when !ok().
  const RunError& error() const { return error_; }

 private:
  std::optional<T> value_;
  RunError error_;
};

/// Success, or why the run ends.
class [[nodiscard]] RunStatus {
 public:
  RunStatus() = default;
  RunStatus(RunError error) : error_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  /// Only meaningful when !ok().
  const RunError& error() const { return *error_; }

 private:
  std::optional<RunError> error_;
};

}  // namespace lumo
