#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace lumo::e2e {
namespace {

struct Stream {
  int parentFd = -1;  // what the parent reads from (or writes to, for stdin)
  int childFd = -1;   // what the child gets
  std::string* collected = nullptr;
  std::size_t limit = 0;  // EarlyClose
  bool early = false;
};

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

Stream openSink(Sink sink, std::string* collected, std::size_t closeAfter) {
  Stream stream;
  stream.collected = collected;
  switch (sink) {
    case Sink::Pipe:
    case Sink::EarlyClose: {
      int fds[2];
      check(::pipe2(fds, O_CLOEXEC) == 0, "pipe");
      stream.parentFd = fds[0];
      stream.childFd = fds[1];
      stream.early = sink == Sink::EarlyClose;
      stream.limit = closeAfter;
      // A reader that leaves before reading anything is gone before the
      // child starts, so its first write fails whatever the timing.
      if (stream.early && closeAfter == 0) ::close(std::exchange(stream.parentFd, -1));
      break;
    }
    case Sink::Terminal: {
      int master = -1, slave = -1;
      check(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0, "openpty");
      termios mode{};
      ::tcgetattr(slave, &mode);
      ::cfmakeraw(&mode);
      ::tcsetattr(slave, TCSANOW, &mode);
      ::fcntl(master, F_SETFD, FD_CLOEXEC);
      ::fcntl(slave, F_SETFD, FD_CLOEXEC);
      stream.parentFd = master;
      stream.childFd = slave;
      break;
    }
    case Sink::DevFull:
      stream.childFd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
      check(stream.childFd >= 0, "open /dev/full");
      break;
    case Sink::Closed: break;
  }
  return stream;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  result.reserve(strings.size() + 1);
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

[[noreturn]] void execChild(const std::string& program, const ChildSpec& spec, int stdinFd,
                            const Stream& out, const Stream& err) {
  auto place = [](int from, int to) {
    if (from < 0) {
      ::close(to);
    } else if (from != to) {
      ::dup2(from, to);
    } else {
      ::fcntl(to, F_SETFD, 0);
    }
  };
  place(stdinFd, 0);
  place(out.childFd, 1);
  place(err.childFd, 2);
  if (!spec.cwd.empty() && ::chdir(spec.cwd.c_str()) != 0) ::_exit(126);
  ::signal(SIGPIPE, SIG_DFL);
  for (int ignored : spec.ignoredSignals) ::signal(ignored, SIG_IGN);
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), spec.args.begin(), spec.args.end());
  std::vector<std::string> env = spec.env;
  auto argp = pointers(argv);
  auto envp = pointers(env);
  ::execve(program.c_str(), argp.data(), envp.data());
  ::_exit(127);
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// How long the pump waits for a child that neither writes nor ends: long,
// because a loaded machine or a Wine prefix being set up for a neighbour
// test can keep a healthy child silent for many seconds.
constexpr int kIdleTimeout = 120000;  // milliseconds

// Sends the ChildSpec's signal once its delay after the first output has passed;
// returns how long poll may wait before it is due.
class SignalTimer {
 public:
  SignalTimer(const ChildSpec& spec, pid_t pid) : spec_(spec), pid_(pid) {}

  int pollTimeout(const std::string& output) {
    if (spec_.signal == 0 || sent_ || output.empty()) return kIdleTimeout;
    const auto now = std::chrono::steady_clock::now();
    if (!firstOutput_) firstOutput_ = now;
    const auto due = *firstOutput_ + spec_.signalDelay;
    if (now >= due) {
      ::kill(pid_, spec_.signal);
      sent_ = true;
      return kIdleTimeout;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, kIdleTimeout));
  }

 private:
  const ChildSpec& spec_;
  pid_t pid_;
  std::optional<std::chrono::steady_clock::time_point> firstOutput_;
  bool sent_ = false;
};

// Feeds standard input and drains the output streams until all are done.
void pump(pid_t pid, int stdinWrite, const ChildSpec& spec, Stream& out, Stream& err,
          ChildResult& result) {
  SignalTimer timer(spec, pid);
  const std::string& input = spec.stdinData;
  std::size_t inputSent = 0;
  if (stdinWrite >= 0) ::fcntl(stdinWrite, F_SETFL, O_NONBLOCK);
  while (stdinWrite >= 0 || out.parentFd >= 0 || err.parentFd >= 0) {
    // Standard input closes once everything is sent and enough output came,
    // or when standard output has ended anyway.
    if (stdinWrite >= 0 && inputSent >= input.size() &&
        (out.collected->size() >= spec.holdStdinUntilOutput || out.parentFd < 0)) {
      result.outputBeforeStdinClosed = out.collected->size();
      closeFd(stdinWrite);
    }
    pollfd fds[3];
    int count = 0;
    int inIndex = -1, outIndex = -1, errIndex = -1;
    if (stdinWrite >= 0 && inputSent < input.size()) {
      inIndex = count;
      fds[count++] = {stdinWrite, POLLOUT, 0};
    }
    if (out.parentFd >= 0) {
      outIndex = count;
      fds[count++] = {out.parentFd, POLLIN, 0};
    }
    if (err.parentFd >= 0) {
      errIndex = count;
      fds[count++] = {err.parentFd, POLLIN, 0};
    }
    if (count == 0) continue;
    const int timeout = timer.pollTimeout(*out.collected);
    const int ready = ::poll(fds, static_cast<nfds_t>(count), timeout);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0 && timeout < kIdleTimeout) continue;  // the signal is due
    if (ready == 0 && stdinWrite >= 0) {
      // A child that waits for the rest of its input gets its end.
      result.outputBeforeStdinClosed = out.collected->size();
      closeFd(stdinWrite);
      continue;
    }
    if (ready <= 0) {
      // A stuck child is ended, so that waitpid returns and the test tells
      // by the signal, instead of hanging on a child that never ends.
      ::kill(pid, SIGKILL);
      break;
    }
    if (inIndex >= 0 && fds[inIndex].revents != 0) {
      ssize_t n = ::write(stdinWrite, input.data() + inputSent, input.size() - inputSent);
      if (n > 0) inputSent += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) inputSent = input.size();
    }
    for (auto [index, stream] : {std::pair{outIndex, &out}, std::pair{errIndex, &err}}) {
      if (index < 0 || fds[index].revents == 0) continue;
      char buffer[65536];
      std::size_t want = sizeof buffer;
      if (stream->early) want = std::min(want, stream->limit - stream->collected->size());
      ssize_t n = want == 0 ? 0 : ::read(stream->parentFd, buffer, want);
      if (n > 0) stream->collected->append(buffer, static_cast<std::size_t>(n));
      if (n > 0 && stream == &out && spec.onOutput) spec.onOutput(*stream->collected);
      if (n < 0 && errno == EINTR) continue;
      // A pseudo-terminal reports EIO once the child's side is closed.
      bool done = n <= 0 || (stream->early && stream->collected->size() >= stream->limit);
      if (done) closeFd(stream->parentFd);
    }
  }
  closeFd(stdinWrite);
}

}  // namespace

ChildResult runChild(const std::string& program, const ChildSpec& spec) {
  // A child that exits without reading its input must not kill the test.
  static const bool ignoringSigpipe = [] {
    ::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)ignoringSigpipe;
  ChildResult result;
  Stream out = openSink(spec.out, &result.out, spec.closeAfter);
  Stream err = openSink(spec.err, &result.err, spec.closeAfter);

  int stdinRead = -1, stdinWrite = -1;
  if (!spec.stdinFile.empty()) {
    stdinRead = ::open(spec.stdinFile.c_str(), O_RDONLY | O_CLOEXEC);
    check(stdinRead >= 0, "open stdin file");
  } else if (!spec.stdinClosed) {
    int fds[2];
    check(::pipe2(fds, O_CLOEXEC) == 0, "pipe");
    stdinRead = fds[0];
    stdinWrite = fds[1];
  }

  pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) execChild(program, spec, stdinRead, out, err);

  closeFd(stdinRead);
  closeFd(out.childFd);
  closeFd(err.childFd);
  pump(pid, stdinWrite, spec, out, err, result);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  closeFd(out.parentFd);
  closeFd(err.parentFd);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

ChildResult runLumo(const ChildSpec& spec) { return runChild(LUMO_BINARY, spec); }

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumo-e2e-XXXXXX").string();
  check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
  std::filesystem::path full = std::filesystem::path(path_) / name;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << content;
  return full.string();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace lumo::e2e
