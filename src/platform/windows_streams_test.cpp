// Writing to the standard streams and telling whether they take escape
// sequences, through the Win32 calls.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/windows_test_support.h"

namespace lumo::platform {
namespace {

using testing::OwnedHandle;
using testing::StdHandleSwap;
using testing::TempFolder;

std::string fileContent(const std::filesystem::path& path) {
  Result<InputSource> opened = InputSource::open(testing::utf8(path));
  if (!opened) return "<cannot open>";
  Result<ByteBuffer> bytes = opened->readAll();
  if (!bytes) return "<cannot read>";
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

TEST(WindowsWriteAll, WritesEverythingIntoAFile) {
  TempFolder folder;
  const std::filesystem::path path = folder.path() / "out";
  std::string content((3u << 20) + 7, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 253);
  {
    OwnedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    StdHandleSwap swap(STD_ERROR_HANDLE, file.handle);
    ASSERT_TRUE(writeAll(StdStream::Error, content.data(), content.size()).ok());
    ASSERT_TRUE(writeAll(StdStream::Error, "").ok());
  }
  EXPECT_TRUE(fileContent(path) == content);
}

TEST(WindowsWriteAll, FailuresAreNamed) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  OwnedHandle reader(readEnd), writer(writeEnd);
  reader.close();
  TempFolder folder;
  const std::filesystem::path path = folder.write("readonly", "x");
  OwnedHandle readOnly(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  struct Case {
    const char* name;
    HANDLE handle;
    const char* failure;
  } cases[] = {
      {"pipe whose reader has gone", writer.handle, "BrokenPipe"},
      {"no handle", nullptr, "NotOpenForWriting"},
      {"invalid handle", INVALID_HANDLE_VALUE, "NotOpenForWriting"},
      {"file open for reading only", readOnly.handle, "AccessDenied"},
  };
  for (const Case& c : cases) {
    StdHandleSwap swap(STD_ERROR_HANDLE, c.handle);
    Status written = writeAll(StdStream::Error, "data");
    ASSERT_FALSE(written.ok()) << c.name;
    EXPECT_EQ(failureName(written.failure()), c.failure) << c.name;
  }
}

// A named pipe stands in for the pseudo-terminal of a terminal emulator
// such as mintty, which names its pipes like the first case.
struct PipeCase {
  const wchar_t* name;
  bool terminal;
};

TEST(WindowsTerminalTest, PipesOfMsysAndCygwinPseudoTerminalsTakeEscapes) {
  const PipeCase cases[] = {
      {L"msys-1888ae32e00d56aa-pty0-to-master", true},
      {L"cygwin-e022582115c10879-pty3-from-master", true},
      {L"msys-1888ae32e00d56aa-ptyx", true},
      {L"msys-1888ae32e00d56aa-pipe-0x1", false},
      {L"msys-pty", true},  // the prefix's own hyphen begins "-pty"
      {L"cygwin-e022582115c10879-tty3", false},
      {L"Msys-1888ae32e00d56aa-pty0-to-master", false},
      {L"lumo-msys-1888ae32e00d56aa-pty0-to-master", false},
  };
  for (const PipeCase& c : cases) {
    const std::wstring path = std::wstring(L"\\\\.\\pipe\\") + c.name;
    OwnedHandle server(::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1,
                                          4096, 4096, 0, nullptr));
    ASSERT_NE(server.handle, INVALID_HANDLE_VALUE);
    OwnedHandle client(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(client.handle, INVALID_HANDLE_VALUE);
    StdHandleSwap swap(STD_OUTPUT_HANDLE, client.handle);
    EXPECT_EQ(isTerminal(StdStream::Output), c.terminal) << testing::utf8(c.name);
    EXPECT_EQ(detectColorSupport(StdStream::Output), c.terminal) << testing::utf8(c.name);
  }
}

TEST(WindowsTerminalTest, AnonymousPipesFilesAndMissingHandlesDoNot) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  OwnedHandle reader(readEnd), writer(writeEnd);
  TempFolder folder;
  const std::filesystem::path path = folder.write("file", "");
  OwnedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  for (HANDLE handle : {writer.handle, file.handle, HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
    StdHandleSwap swap(STD_ERROR_HANDLE, handle);
    EXPECT_FALSE(isTerminal(StdStream::Error));
    EXPECT_FALSE(detectColorSupport(StdStream::Error));
  }
}

}  // namespace
}  // namespace lumo::platform

#endif  // _WIN32
