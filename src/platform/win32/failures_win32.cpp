#include "platform/win32/win32_internal.h"

namespace lumo::platform::win32 {

Failure writeFailure(DWORD error) {
  switch (error) {
    // A pipe whose reader has gone: ERROR_NO_DATA on Windows; Wine reports a
    // Unix pipe without reader as not connected.
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED: return Failure::BrokenPipe;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Failure::NoSpaceLeft;
    case ERROR_ACCESS_DENIED: return Failure::AccessDenied;
    case ERROR_INVALID_HANDLE: return Failure::NotOpenForWriting;
    case ERROR_OPERATION_ABORTED: return Failure::OperationAborted;
    case ERROR_LOCK_VIOLATION: return Failure::LockViolation;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NOT_ENOUGH_QUOTA: return Failure::SystemResources;
    default: return Failure::Unexpected;
  }
}

Failure readFailure(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED: return Failure::AccessDenied;
    case ERROR_INVALID_HANDLE: return Failure::NotOpenForWriting;
    case ERROR_LOCK_VIOLATION: return Failure::LockViolation;
    case ERROR_NETNAME_DELETED: return Failure::ConnectionResetByPeer;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NOT_ENOUGH_QUOTA: return Failure::SystemResources;
    default: return Failure::Unexpected;
  }
}

}  // namespace lumo::platform::win32
