// Opening and reading inputs through the Win32 calls.
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
using testing::utf8;

std::string text(const ByteBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

std::string patterned(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return content;
}

TEST(WindowsInputSource, OpenFailuresAreToldApart) {
  TempFolder folder;
  folder.write("file", "x");
  std::filesystem::create_directories(folder.path() / "sub");
  const std::string base = utf8(folder.path());
  struct Case {
    std::string path;
    std::optional<Failure> failure;  // absent: any failure but these two
  } cases[] = {
      {base + "\\missing", Failure::FileNotFound},
      {base + "\\nope\\missing", Failure::FileNotFound},
      {base + "/nope/missing", Failure::FileNotFound},
      {base + "\\sub", Failure::IsDir},
      {base + "\\sub\\", Failure::IsDir},
      {base + "/sub", Failure::IsDir},
      {base, Failure::IsDir},
      {base + "\\file\\inner", std::nullopt},
      {base + "/file/inner", std::nullopt},
      {base + "\\bad\xff"
              "name",
       std::nullopt},
      {base + std::string("\\file\0x", 7), std::nullopt},
  };
  for (const Case& c : cases) {
    Result<InputSource> opened = InputSource::open(c.path);
    ASSERT_FALSE(opened.ok()) << c.path;
    if (c.failure) {
      EXPECT_EQ(failureName(opened.failure()), failureName(*c.failure)) << c.path;
    } else {
      EXPECT_NE(opened.failure(), Failure::FileNotFound) << c.path;
      EXPECT_NE(opened.failure(), Failure::IsDir) << c.path;
    }
  }
}

TEST(WindowsInputSource, NamesOutsideAsciiAreOpenedByTheirUtf8Spelling) {
  TempFolder folder;
  folder.write(L"gr\u00fc\u00dfe \u65e5\u672c.bin", "content");
  Result<InputSource> opened = InputSource::open(utf8(folder.path()) +
                                                 "\\gr\xc3\xbc\xc3\x9f"
                                                 "e \xe6\x97\xa5\xe6\x9c\xac.bin");
  ASSERT_TRUE(opened.ok()) << failureName(opened.failure());
  Result<ByteBuffer> bytes = opened->readAll();
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(text(*bytes), "content");
}

TEST(WindowsInputSource, FilesAreSizedAndReadWhole) {
  TempFolder folder;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{(3u << 20) + 5}}) {
    const std::string content = patterned(size);
    Result<InputSource> opened = InputSource::open(utf8(folder.write("data", content)));
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened->seekable(), size > 0);
    EXPECT_EQ(opened->size(), size);
    Result<ByteBuffer> bytes = opened->readAll();
    ASSERT_TRUE(bytes.ok()) << failureName(bytes.failure());
    EXPECT_TRUE(text(*bytes) == content) << "size " << size;
  }
}

TEST(WindowsInputSource, PositionedReadsLeaveThePositionAlone) {
  TempFolder folder;
  const std::string content = patterned(1000);
  Result<InputSource> opened = InputSource::open(utf8(folder.write("data", content)));
  ASSERT_TRUE(opened.ok());
  std::uint8_t chunk[16] = {};
  auto chunkText = [&](std::size_t n) { return std::string(reinterpret_cast<char*>(chunk), n); };

  ASSERT_EQ(*opened->read(chunk, 4), 4u);
  EXPECT_EQ(chunkText(4), content.substr(0, 4));
  ASSERT_EQ(*opened->readAt(500, chunk, 16), 16u);
  EXPECT_EQ(chunkText(16), content.substr(500, 16));
  ASSERT_EQ(*opened->readAt(995, chunk, 16), 5u) << "fewer at the end of the file";
  EXPECT_EQ(chunkText(5), content.substr(995));
  EXPECT_EQ(*opened->readAt(1000, chunk, 16), 0u);
  ASSERT_EQ(*opened->read(chunk, 4), 4u);
  EXPECT_EQ(chunkText(4), content.substr(4, 4)) << "read() goes on where it was";
}

TEST(WindowsInputSource, StandardInputPipeEndsWhenItsWriterCloses) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  OwnedHandle reader(readEnd), writer(writeEnd);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(writer.handle, "abc\0def", 7, &written, nullptr));
  writer.close();

  StdHandleSwap swap(STD_INPUT_HANDLE, reader.handle);
  InputSource input = InputSource::standardInput();
  EXPECT_FALSE(input.seekable());
  Result<ByteBuffer> bytes = input.readAll();
  ASSERT_TRUE(bytes.ok()) << failureName(bytes.failure());
  EXPECT_EQ(text(*bytes), std::string("abc\0def", 7));
}

TEST(WindowsInputSource, StandardInputThatIsADirectory) {
  TempFolder folder;
  OwnedHandle directory(::CreateFileW(folder.path().c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_NE(directory.handle, INVALID_HANDLE_VALUE);
  StdHandleSwap swap(STD_INPUT_HANDLE, directory.handle);
  InputSource input = InputSource::standardInput();
  Result<ByteBuffer> bytes = input.readAll();
  ASSERT_FALSE(bytes.ok());
  EXPECT_EQ(failureName(bytes.failure()), "IsDir");
  std::uint8_t byte = 0;
  Result<std::size_t> got = input.read(&byte, 1);
  ASSERT_FALSE(got.ok());
  EXPECT_EQ(failureName(got.failure()), "IsDir");
}

}  // namespace
}  // namespace lumo::platform

#endif  // _WIN32
