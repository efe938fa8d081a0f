#include "platform/failure.h"

namespace lumo {

std::string_view failureName(Failure failure) {
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

}  // namespace lumo
