#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace lumo::e2e {

/// Where one of the child's output streams goes.
enum class Sink {
  Pipe,        // collected through a pipe
  Terminal,    // collected through a pseudo-terminal (raw mode, no CR added)
  DevFull,     // /dev/full: every write fails with ENOSPC
  Closed,      // the descriptor is closed in the child
  EarlyClose,  // a pipe whose reader goes away after `closeAfter` bytes
};

struct ChildSpec {
  std::vector<std::string> args;  // without the program name
  std::string stdinData;          // what a pipe on standard input delivers
  bool stdinClosed = false;       // standard input closed instead
  std::string stdinFile;          // standard input redirected from this file
  Sink out = Sink::Pipe;
  Sink err = Sink::Pipe;
  std::size_t closeAfter = 0;  // EarlyClose: bytes read before the reader leaves
  /// The complete environment ("NAME=value"); HOME points nowhere by default
  /// so that no user configuration is found.
  std::vector<std::string> env = {"HOME=/nonexistent/lumo-test-home"};
  std::string cwd;  // empty: inherit
  /// Keeps the standard input pipe open after stdinData until the child has
  /// written this many bytes to standard output (or ended).
  std::size_t holdStdinUntilOutput = 0;
  /// Called with everything collected from standard output so far, each
  /// time more arrives.
  std::function<void(const std::string&)> onOutput;
  /// Sent to the child once `signalDelay` has passed since the first bytes
  /// of standard output arrived (0: no signal).
  int signal = 0;
  std::chrono::milliseconds signalDelay{0};
  /// Signals the child starts with ignored, as under nohup.
  std::vector<int> ignoredSignals;
};

struct ChildResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when killed by a signal
  int signal = 0;   // the signal that ended it, if any
  /// How much of standard output had arrived when standard input was closed.
  std::size_t outputBeforeStdinClosed = 0;
};

/// Runs `program` as `spec` describes and waits for it; the streams are read
/// concurrently so a large output never blocks the child.
ChildResult runChild(const std::string& program, const ChildSpec& spec);

/// Runs the built lumo binary.
ChildResult runLumo(const ChildSpec& spec);

/// A temporary directory removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  /// Writes `content` to path()/name (creating parent folders) and returns
  /// the full path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace lumo::e2e
