#include "cli/error_report.h"

#include <array>
#include <mutex>

#include "platform/platform.h"

namespace lumo {
namespace {

constexpr std::array<std::string_view, 19> kMessageFormats = {
    ": Out of memory\n",
    ": Invalid config found\n",
    ": Error getting options and config file\n",
    ": {s}\n",
    ": no file specified\n",
    ": {s} not found\n",
    ": {s} is a directory\n",
    ": {s} could not be opened\n",
    ": Cannot read {s}\n",
    ": {s} does not match parser {s}\n",
    ": Broken pipe\n",
    ": Error writing to stdout: {s}\n",
    ": expected arg string\n",
    ": expected flag\n",
    ": `--{s}` and `--{s}` are mutually exclusive\n",
    ": `--{s}` specified multiple times\n",
    ": invalid flag `{s}`\n",
    ": multiple files specified\n",
    ": no parser named {s}\n",
};

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

std::string formatMessage(ErrorMessage message, std::string_view first, std::string_view second) {
  std::string_view format = kMessageFormats[static_cast<std::size_t>(message)];
  std::string text;
  text.reserve(format.size() + first.size() + second.size());
  std::array<std::string_view, 2> values = {first, second};
  std::size_t next = 0;
  constexpr std::string_view kPlaceholder = "{s}";
  while (!format.empty()) {
    std::size_t at = format.find(kPlaceholder);
    text.append(format.substr(0, at));
    if (at == std::string_view::npos) break;
    if (next < values.size()) text.append(values[next++]);
    format.remove_prefix(at + kPlaceholder.size());
  }
  return text;
}

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

void fatal(ErrorMessage message, std::string_view first, std::string_view second) {
  writeReport(formatMessage(message, first, second));
  platform::exitProcess(1);
}

}  // namespace lumo
