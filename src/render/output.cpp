#include "render/output.h"

#include <cstring>

#include "platform/platform.h"

namespace lumo {

Status StdoutSink::write(const char* data, std::size_t size) {
  return platform::writeAll(platform::StdStream::Output, data, size);
}

OutputBuffer::OutputBuffer(ByteSink& sink, std::size_t capacity)
    : sink_(sink), buffer_(std::make_unique<char[]>(capacity)), capacity_(capacity) {}

Status OutputBuffer::append(std::string_view text) {
  if (text.size() > capacity_) {
    if (Status flushed = flush(); !flushed) return flushed;
    return sink_.write(text);
  }
  if (Status room = reserve(text.size()); !room) return room;
  std::memcpy(cursor(), text.data(), text.size());
  commit(text.size());
  return {};
}

Status OutputBuffer::flush() {
  if (used_ == 0) return {};
  std::size_t size = used_;
  used_ = 0;
  return sink_.write(buffer_.get(), size);
}

}  // namespace lumo
