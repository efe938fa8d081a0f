#include "platform/stderr_report.h"

#include <array>
#include <mutex>

#include "platform/platform.h"

namespace lumo {
namespace {

// Every piece of text for standard error is written under this lock so the
// text of one report stays together.
std::recursive_mutex& stderrLock() {
  static std::recursive_mutex lock;
  return lock;
}

// Collects a report in 4096 bytes so that a report of that size reaches
// standard error as one write; longer pieces go out as the buffer fills.
class ReportBuffer {
 public:
  void append(std::string_view text) {
    if (text.size() > buffer_.size() - used_) flush();
    if (text.size() > buffer_.size()) {
      (void)platform::writeAll(platform::StdStream::Error, text);
      return;
    }
    text.copy(buffer_.data() + used_, text.size());
    used_ += text.size();
  }
  void flush() {
    if (used_ == 0) return;
    (void)platform::writeAll(platform::StdStream::Error, buffer_.data(), used_);
    used_ = 0;
  }

 private:
  std::array<char, 4096> buffer_{};
  std::size_t used_ = 0;
};

}  // namespace

std::string_view errorPrefix(bool colored) {
  return colored ? "\x1b[31m\x1b[1merror\x1b[0m" : "error";
}

std::string_view currentErrorPrefix() {
  return errorPrefix(platform::isTerminal(platform::StdStream::Error));
}

void writeReport(std::string_view text) {
  std::lock_guard<std::recursive_mutex> guard(stderrLock());
  ReportBuffer buffer;
  buffer.append(currentErrorPrefix());
  buffer.append(text);
  buffer.flush();
}

void writeToStderr(std::string_view text) {
  std::lock_guard<std::recursive_mutex> guard(stderrLock());
  (void)platform::writeAll(platform::StdStream::Error, text);
}

}  // namespace lumo
