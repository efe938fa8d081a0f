// Reads and writes that a signal interrupts are repeated: a stream of
// signals while a pipe is read or written loses and repeats nothing. The
// handler is installed without SA_RESTART, so a blocked read or write
// really returns EINTR (or a partial count) to the code under test.
#ifndef _WIN32

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace lumo::platform {
namespace {

std::atomic<int> signalsCaught{0};

void countSignal(int) { signalsCaught.fetch_add(1, std::memory_order_relaxed); }

// A pattern that shows any lost, repeated or reordered byte.
std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return bytes;
}

// Sends SIGUSR1 to one thread again and again until destroyed.
class Interrupter {
 public:
  explicit Interrupter(pthread_t target)
      : thread_([this, target] {
          while (!stop_.load()) {
            ::pthread_kill(target, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
          }
        }) {}
  ~Interrupter() {
    stop_.store(true);
    thread_.join();
  }
  Interrupter(const Interrupter&) = delete;
  Interrupter& operator=(const Interrupter&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Writes `data` into `fd` in small pieces with pauses, so the other side
// blocks again and again, then closes it. Stops early when the reader has
// gone.
void trickle(int fd, const std::string& data) {
  constexpr std::size_t kPiece = 4000;
  for (std::size_t at = 0; at < data.size(); at += kPiece) {
    const std::size_t size = std::min(kPiece, data.size() - at);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd, data.data() + at + done, size - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n < 0 && errno != EINTR) break;
    }
    if (at % (64 * kPiece) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::close(fd);
}

class InterruptedIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action {};
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: blocked calls return EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous_), 0);
    // A side that gives up early must not end the test by SIGPIPE.
    previousPipe_ = ::signal(SIGPIPE, SIG_IGN);
    signalsCaught = 0;
  }
  void TearDown() override {
    ::sigaction(SIGUSR1, &previous_, nullptr);
    ::signal(SIGPIPE, previousPipe_);
  }

  // A pipe whose read end is opened again by path, as lumo opens its input.
  static Result<InputSource> openReadEnd(int readFd) {
    return InputSource::open("/proc/self/fd/" + std::to_string(readFd));
  }

 private:
  struct sigaction previous_ {};
  void (*previousPipe_)(int) = SIG_DFL;
};

TEST_F(InterruptedIoTest, ReadingAPipeToItsEnd) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Result<InputSource> source = openReadEnd(fds[0]);
  ::close(fds[0]);
  ASSERT_TRUE(source.ok());
  const std::string data = pattern(3 << 20);
  std::thread writer(trickle, fds[1], std::cref(data));

  Result<ByteBuffer> bytes = Failure::Unexpected;
  {
    Interrupter interrupter(::pthread_self());
    bytes = source->readAll();
  }
  source = Failure::Unexpected;  // closes the read end, should the read have stopped early
  writer.join();
  ASSERT_TRUE(bytes.ok()) << failureName(bytes.failure());
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size()) == data)
      << "read " << bytes->size() << " of " << data.size() << " bytes, or other bytes";
  EXPECT_GT(signalsCaught.load(), 0);
}

TEST_F(InterruptedIoTest, ReadingAPipeInPieces) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Result<InputSource> source = openReadEnd(fds[0]);
  ::close(fds[0]);
  ASSERT_TRUE(source.ok());
  const std::string data = pattern(3 << 20);
  std::thread writer(trickle, fds[1], std::cref(data));

  std::string received;
  Status status;
  {
    Interrupter interrupter(::pthread_self());
    std::uint8_t piece[1000];
    while (true) {
      Result<std::size_t> got = source->read(piece, sizeof piece);
      if (!got) {
        status = got.status();
        break;
      }
      if (*got == 0) break;
      received.append(reinterpret_cast<const char*>(piece), *got);
    }
  }
  source = Failure::Unexpected;  // closes the read end, should the read have stopped early
  writer.join();
  ASSERT_TRUE(status.ok()) << failureName(status.failure());
  EXPECT_TRUE(received == data) << "read " << received.size() << " of " << data.size()
                                << " bytes, or other bytes";
  EXPECT_GT(signalsCaught.load(), 0);
}

TEST_F(InterruptedIoTest, WritingToASlowPipe) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string data = pattern(3 << 20);
  // Standard output is the pipe while writeAll runs; the reader drains it
  // slowly, so most writes block and many are cut short by a signal.
  const int savedOutput = ::dup(STDOUT_FILENO);
  ASSERT_GE(savedOutput, 0);
  ASSERT_GE(::dup2(fds[1], STDOUT_FILENO), 0);
  ::close(fds[1]);
  std::string received;
  std::thread reader([&] {
    char piece[3000];
    std::size_t reads = 0;
    while (true) {
      const ssize_t n = ::read(fds[0], piece, sizeof piece);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      received.append(piece, static_cast<std::size_t>(n));
      if (++reads % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });

  Status status;
  {
    Interrupter interrupter(::pthread_self());
    status = writeAll(StdStream::Output, data);
  }
  ::dup2(savedOutput, STDOUT_FILENO);  // closes the pipe's last write end
  ::close(savedOutput);
  reader.join();
  ::close(fds[0]);
  ASSERT_TRUE(status.ok()) << failureName(status.failure());
  EXPECT_TRUE(received == data) << "received " << received.size() << " of " << data.size()
                                << " bytes, or other bytes";
  EXPECT_GT(signalsCaught.load(), 0);
}

}  // namespace
}  // namespace lumo::platform

#endif  // _WIN32
