#include "app/run_error.h"

namespace lumo {

RunError failed(ErrorMessage message, std::string_view first, std::string_view second) {
  RunError error;
  error.message = message;
  error.first = first;
  error.second = second;
  return error;
}

RunError notice(std::string text) {
  RunError error;
  error.notice = std::move(text);
  return error;
}

RunError readFailure(Failure failure, std::string_view displayName) {
  // A read failure names the input; memory and directories have their own.
  switch (failure) {
    case Failure::OutOfMemory: return failed(ErrorMessage::OutOfMemory);
    case Failure::IsDir: return failed(ErrorMessage::IsDirectory, displayName);
    default: return failed(ErrorMessage::CannotRead, displayName);
  }
}

RunError writeFailure(Failure failure) {
  switch (failure) {
    case Failure::BrokenPipe: return failed(ErrorMessage::BrokenPipe);
    case Failure::OutOfMemory: return failed(ErrorMessage::OutOfMemory);
    default: return failed(ErrorMessage::WriteFailed, failureName(failure));
  }
}

}  // namespace lumo
