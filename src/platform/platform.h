#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/byte_span.h"
#include "core/failure.h"
#include "platform/byte_buffer.h"

/// Everything lumo needs of the operating system. One implementation per
/// platform (src/platform/posix, src/platform/win32); nothing outside this
/// folder includes an OS header.
namespace lumo::platform {

enum class StdStream : std::uint8_t { Input, Output, Error };

/// Process set-up that must precede everything else: a vanished reader of
/// standard output must show as a failed write, never as a signal.
void prepareProcess();

/// The command-line arguments as UTF-8, the program's own name skipped.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// Writes everything, repeating partial and interrupted writes.
Status writeAll(StdStream stream, const void* data, std::size_t size);
inline Status writeAll(StdStream stream, std::string_view text) {
  return writeAll(stream, text.data(), text.size());
}

/// Whether the stream is a terminal that takes escape sequences; changes
/// nothing.
bool isTerminal(StdStream stream);

/// Whether the stream takes escape sequences; on Windows this may switch a
/// console's escape processing on.
bool detectColorSupport(StdStream stream);

/// An input to read to its end: standard input (never closed) or a file
/// opened by path (closed when this is destroyed).
class InputSource {
 public:
  static InputSource standardInput();
  /// Opens `path` for reading only. Fails with IsDir, FileNotFound, or any
  /// other failure for the remaining reasons.
  static Result<InputSource> open(const std::string& path);
  /// Like open(), but only a regular file: anything else (a FIFO, a device)
  /// fails without waiting for a writer or reading without end.
  static Result<InputSource> openRegularFile(const std::string& path);

  InputSource() = default;
  ~InputSource();
  InputSource(InputSource&& other) noexcept;
  InputSource& operator=(InputSource&& other) noexcept;
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  /// Reads to the end of input. Fails with OutOfMemory, IsDir, or any other
  /// failure of the read.
  Result<ByteBuffer> readAll();

  /// Whether the input has a size and positioned reads: a regular file or a
  /// block device with content. Standard input never counts as one, since
  /// whoever started lumo may have read part of it already.
  bool seekable() const { return size_ > 0; }
  /// The size found when the file was opened (seekable inputs only).
  std::uint64_t size() const { return size_; }
  /// Whether this is a file by path that is a plain file on disk. One that
  /// is not seekable reported size 0: it is empty, or its bytes are made as
  /// it is read (as under /proc), which only reading tells apart.
  bool regularFile() const { return regular_file_; }

  /// Reads what is there, up to `count` bytes, from the current position;
  /// 0 at the end of input. Interrupted reads are repeated; a pipe whose
  /// writer has gone is the end. Fails with IsDir or another read failure.
  Result<std::size_t> read(std::uint8_t* out, std::size_t count);

  /// Reads up to `count` bytes at `offset` without moving the position;
  /// fewer only at the end of the file (seekable inputs only).
  Result<std::size_t> readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count);

 private:
  friend class SpillFile;
  InputSource(long long handle, bool owned, std::uint64_t size)
      : handle_(handle), owned_(owned), size_(size) {}
  long long handle_ = -1;
  bool owned_ = false;
  std::uint64_t size_ = 0;
  bool regular_file_ = false;
};

/// An unnamed file in the temporary folder ($TMPDIR, else /tmp; on Windows
/// the folder GetTempPath names) that holds a copy of a stream, so that the
/// stream can be read at any offset. The system removes it when its handle
/// is closed, also when the process is killed: it never outlives the run.
class SpillFile {
 public:
  /// Fails when no such file can be made: the folder is missing, not
  /// writable or without free space, or its free space cannot be told.
  static Result<SpillFile> create();

  SpillFile() = default;
  ~SpillFile();
  SpillFile(SpillFile&& other) noexcept;
  SpillFile& operator=(SpillFile&& other) noexcept;
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  /// How many more bytes may be appended: half the free space the folder
  /// had at create(), less what is already there, so that a copy of an
  /// endless stream stops long before the disk is full.
  std::uint64_t room() const { return limit_ - size_; }
  std::uint64_t size() const { return size_; }

  /// Writes all of `bytes` at the end. FileTooBig, writing nothing, when
  /// they exceed room(); a failed write leaves size() as it was.
  Status append(ByteSpan bytes);

  /// The copy as a seekable input of size() bytes; this is left empty.
  InputSource toInput() &&;

 private:
  SpillFile(long long handle, std::uint64_t limit) : handle_(handle), limit_(limit) {}
  long long handle_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t limit_ = 0;
};

/// The process environment, read once; names compare as the platform
/// compares them.
class Environment {
 public:
  /// OutOfMemory when it cannot be copied.
  static Result<Environment> read();
  /// For tests: an environment made of the given pairs.
  static Environment of(std::vector<std::pair<std::string, std::string>> variables);

  std::optional<std::string_view> get(std::string_view name) const;

 private:
  std::vector<std::pair<std::string, std::string>> variables_;
};

/// For runs that write escape sequences to standard output: the signals
/// that end a run from the terminal (Ctrl-C and its kin) first write a
/// string terminator and a reset there, so that a dump cut inside an escape
/// sequence leaves the terminal usable, and then end the process as they
/// would have without it. A signal that the process was started ignoring
/// stays ignored.
void restoreTerminalOnInterrupt();

/// Hints that a large buffer will be filled and read through once; on
/// Linux this asks for huge pages, which saves most page faults.
void adviseLargeBuffer(void* data, std::size_t size);

/// Ends the process at once with the given status.
[[noreturn]] void exitProcess(int status);

}  // namespace lumo::platform
