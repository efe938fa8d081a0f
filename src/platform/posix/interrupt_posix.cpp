#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix/retry_interrupted.h"

namespace lumo::platform {
namespace {

// ESC \ ends any string an interrupted dump left open (the terminal's echo
// of ^C reads as ESC ^ after a lone ESC, which opens a privacy message that
// swallows everything up to a terminator); ESC [0m resets the colors.
constexpr std::string_view kTerminalRestore = "\x1b\\\x1b[0m";

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// How long the handler waits for room on standard output. A reader that has
// stopped reading must not keep a terminated process alive.
constexpr int kWriteWaitMilliseconds = 250;

// Async-signal-safe throughout: poll, write, sigaction, raise and
// sigprocmask only, no buffer and no allocation.
void restoreTerminalAndRaise(int signal) {
  const char* bytes = kTerminalRestore.data();
  std::size_t left = kTerminalRestore.size();
  while (left > 0) {
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    if (posix::retryInterrupted([&] { return ::poll(&output, 1, kWriteWaitMilliseconds); }) <= 0) {
      break;
    }
    const ssize_t written =
        posix::retryInterrupted([&] { return ::write(STDOUT_FILENO, bytes, left); });
    if (written <= 0) break;
    bytes += written;
    left -= static_cast<std::size_t>(written);
  }

  // The default action, raised again: the shell sees the process ended by
  // this signal. It is blocked while the handler runs, so it arrives the
  // moment it is unblocked.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  ::sigaction(signal, &defaultAction, nullptr);
  ::raise(signal);
  sigset_t thisSignal;
  sigemptyset(&thisSignal);
  sigaddset(&thisSignal, signal);
  ::sigprocmask(SIG_UNBLOCK, &thisSignal, nullptr);
}

}  // namespace

void restoreTerminalOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = restoreTerminalAndRaise;
  // A second signal waits until the first has written the restore; only
  // the signal being handled ends the process.
  sigemptyset(&action.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  action.sa_flags = SA_RESTART;
  for (int signal : kEndingSignals) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) != 0) continue;
    if (previous.sa_handler == SIG_IGN) continue;  // as under nohup, or a background job
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace lumo::platform
