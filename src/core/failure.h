#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

namespace lumo {

/// The program-wide vocabulary of failures. Every operation that can fail
/// returns one of these as a value; only the program flow turns them into a
/// message and ends the process.
enum class Failure : std::uint8_t {
  OutOfMemory,
  InvalidConfig,
  NonMatchingParser,
  FileNotFound,
  IsDir,
  BrokenPipe,
  EndOfStream,
  Syntax,
  NotOpenForWriting,
  SystemResources,
  LockViolation,
  ConnectionResetByPeer,
  OperationAborted,
  NoSpaceLeft,
  DiskQuota,
  FileTooBig,
  InputOutput,
  AccessDenied,
  WouldBlock,
  DeviceBusy,
  InvalidArgument,
  Unexpected,
};

/// The bare identifier of a failure, as the error messages print it.
constexpr std::string_view failureName(Failure failure) {
  switch (failure) {
    case Failure::OutOfMemory: return "OutOfMemory";
    case Failure::InvalidConfig: return "InvalidConfig";
    case Failure::NonMatchingParser: return "NonMatchingParser";
    case Failure::FileNotFound: return "FileNotFound";
    case Failure::IsDir: return "IsDir";
    case Failure::BrokenPipe: return "BrokenPipe";
    case Failure::EndOfStream: return "EndOfStream";
    case Failure::Syntax: return "Syntax";
    case Failure::NotOpenForWriting: return "NotOpenForWriting";
    case Failure::SystemResources: return "SystemResources";
    case Failure::LockViolation: return "LockViolation";
    case Failure::ConnectionResetByPeer: return "ConnectionResetByPeer";
    case Failure::OperationAborted: return "OperationAborted";
    case Failure::NoSpaceLeft: return "NoSpaceLeft";
    case Failure::DiskQuota: return "DiskQuota";
    case Failure::FileTooBig: return "FileTooBig";
    case Failure::InputOutput: return "InputOutput";
    case Failure::AccessDenied: return "AccessDenied";
    case Failure::WouldBlock: return "WouldBlock";
    case Failure::DeviceBusy: return "DeviceBusy";
    case Failure::InvalidArgument: return "InvalidArgument";
    case Failure::Unexpected: return "Unexpected";
  }
  return "Unexpected";
}

/// Success or one failure; the result of operations that yield nothing.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Failure failure) : failed_(true), failure_(failure) {}  // NOLINT: implicit by design

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  /// Only meaningful when !ok().
  Failure failure() const { return failure_; }

 private:
  bool failed_ = false;
  Failure failure_ = Failure::Unexpected;
};

/// A value or one failure.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : ok_(true), value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Failure failure) : failure_(failure) {}            // NOLINT: implicit by design

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  Failure failure() const { return failure_; }
  Status status() const { return ok_ ? Status() : Status(failure_); }

  T& value() & { return value_; }
  const T& value() const& { return value_; }
  T&& value() && { return std::move(value_); }
  T* operator->() { return &value_; }
  const T* operator->() const { return &value_; }
  T& operator*() & { return value_; }
  const T& operator*() const& { return value_; }

 private:
  bool ok_ = false;
  Failure failure_ = Failure::Unexpected;
  T value_{};
};

}  // namespace lumo
