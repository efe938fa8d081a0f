// An opened file reads from any offset, as often as asked, and the failures
// of opening it come back as values that name it.
#include "app/document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace lumo {
namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder()
      : path_(fs::temp_directory_path() /
              ("lumo-document-test-" + std::to_string(std::random_device()()))) {
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  std::string write(const std::string& name, const std::string& content) const {
    const fs::path file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
  }
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

std::string readAll(InputStream& stream) {
  std::string bytes;
  std::vector<std::uint8_t> block(7);  // small, so that reads cross blocks
  while (true) {
    Result<std::size_t> got = stream.read(block.data(), block.size());
    EXPECT_TRUE(got.ok());
    if (!got.ok() || *got == 0) return bytes;
    bytes.append(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(*got));
  }
}

TEST(Document, AFileGivesItsBytesFromAnyOffsetAsOftenAsAsked) {
  Folder folder;
  const std::string content = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (const std::string& bytes : {content, std::string()}) {
    const std::string path = folder.write(bytes.empty() ? "empty" : "digits", bytes);
    RunResult<Document> document = openDocument(path, Options{});
    ASSERT_TRUE(document.ok()) << path;
    EXPECT_EQ(document->displayName(), path);
    EXPECT_EQ(document->size(), std::optional<std::uint64_t>(bytes.size()));
    for (std::uint64_t offset :
         {std::uint64_t{20}, std::uint64_t{0}, std::uint64_t{36}, std::uint64_t{1000}}) {
      const std::unique_ptr<InputStream> stream = document->streamFrom(offset);
      const std::size_t start =
          static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes.size()));
      EXPECT_EQ(readAll(*stream), bytes.substr(start)) << path << " from " << offset;
    }
    std::uint8_t byte = 0;
    EXPECT_EQ(document->access().readAt(10, &byte, 1), bytes.empty() ? 0u : 1u);
    if (!bytes.empty()) {
      EXPECT_EQ(byte, 'a');
    }
  }
}

TEST(Document, FailuresToOpenNameTheInput) {
  Folder folder;
  struct Case {
    std::string path;
    ErrorMessage message;
  };
  for (const Case& c : {Case{folder.path() + "/missing", ErrorMessage::NotFound},
                        Case{folder.path(), ErrorMessage::IsDirectory}}) {
    RunResult<Document> document = openDocument(c.path, Options{});
    ASSERT_FALSE(document.ok()) << c.path;
    EXPECT_EQ(
        formatMessage(document.error().message, document.error().first, document.error().second),
        formatMessage(c.message, c.path));
    EXPECT_EQ(document.error().first, c.path);
  }
}

}  // namespace
}  // namespace lumo
