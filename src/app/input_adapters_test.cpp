#include "app/input_adapters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace lumo {
namespace {

// A stream of 0, 1, 2, ... (mod 256) that counts the reads made of it and
// returns at most `piece` bytes a read, as a pipe may.
class CountingStream final : public InputStream {
 public:
  CountingStream(std::size_t size, std::size_t piece) : size_(size), piece_(piece) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override {
    ++reads;
    const std::size_t n = std::min({count, piece_, size_ - offset_});
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(offset_ + i);
    offset_ += n;
    return n;
  }
  bool mayWait() const override { return true; }
  std::size_t reads = 0;

 private:
  std::size_t size_;
  std::size_t piece_;
  std::size_t offset_ = 0;
};

// Every read through the read-ahead blocks gives exactly what a read of the
// bytes gives, in any order: forward, backward, across a block's edge,
// alternating between two far places (a table and its string table), past
// the end, and larger than a block.
TEST(FileAccess, ReadsEqualTheFilesOwnBytes) {
  std::vector<std::uint8_t> bytes(200000);
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    bytes[k] = static_cast<std::uint8_t>(k * 7 + k / 251);
  }
  // Removed at the end, also when a check fails: Windows keeps an open file.
  struct ScratchFile {
    std::filesystem::path path;
    ~ScratchFile() {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  } scratch{std::filesystem::temp_directory_path() /
            ("lumo-file-access-" + std::to_string(reinterpret_cast<std::uintptr_t>(&bytes)))};
  {
    std::ofstream file(scratch.path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Result<platform::InputSource> source = platform::InputSource::open(scratch.path.string());
  ASSERT_TRUE(source.ok());
  const FileAccess file(*source);
  const MemoryAccess memory(bytes);
  ASSERT_EQ(file.size(), bytes.size());
  const std::pair<std::uint64_t, std::size_t> reads[] = {
      {0, 8},       {8, 80},       {65530, 16},   {65536, 8},   {4, 4},
      {150000, 64}, {100, 40},     {150064, 64},  {120, 40},    {199990, 20},
      {200000, 1},  {250000, 8},   {0, 100000},   {131070, 80}, {199999, 1},
      {0, 0},       {70000, 4096}, {70000, 4097}, {66000, 8},
  };
  for (const auto& [offset, count] : reads) {
    SCOPED_TRACE(offset);
    std::vector<std::uint8_t> expected(count + 1, 0xee), actual(count + 1, 0xee);
    const Result<std::size_t> want = memory.readChecked(offset, expected.data(), count);
    const Result<std::size_t> got = file.readChecked(offset, actual.data(), count);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(*got, *want);
    EXPECT_EQ(actual, expected);
  }
}

struct DropCase {
  std::size_t size;   // of the input
  std::size_t piece;  // most bytes one read of the input gives
  std::uint64_t skip;
  std::size_t ask;                     // the caller's read size
  std::size_t maxReads;                // of the input, to drop the skip and read once
  std::optional<std::uint64_t> ended;  // sizeFoundWhileSkipping after the reads
};

TEST(DroppingStream, DropsInLargeBlocksWhateverTheCallerAsks) {
  constexpr std::size_t kMiB = 1 << 20;
  const DropCase cases[] = {
      // 60 MiB skipped by a caller that reads 16 bytes: a thousand reads at
      // most, not millions.
      {61 * kMiB, 1 << 30, 60 * kMiB, 16, 60 * 16 + 1, std::nullopt},
      {200000, 1 << 30, 150000, 1, 4, std::nullopt},
      // A pipe gives what it has: the reads follow its pieces.
      {200000, 4096, 150000, 16, 150000 / 4096 + 2, std::nullopt},
      // The input ends during the skip, or exactly at it: its size is known.
      {920, 1 << 30, 2000, 16, 2, 920},
      {920, 1 << 30, 920, 16, 2, 920},
      {920, 100, 2000, 16, 11, 920},
      {0, 1 << 30, 5, 16, 1, 0},
  };
  for (const DropCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " skip " << c.skip << " ask " << c.ask);
    CountingStream inner(c.size, c.piece);
    DroppingStream stream(inner, c.skip);
    std::vector<std::uint8_t> out(c.ask);
    Result<std::size_t> got = stream.read(out.data(), out.size());
    ASSERT_TRUE(got.ok());
    EXPECT_LE(inner.reads, c.maxReads);
    if (c.skip < c.size) {
      ASSERT_GT(*got, 0u);
      EXPECT_EQ(out[0], static_cast<std::uint8_t>(c.skip));
    } else {
      EXPECT_EQ(*got, 0u);
    }
    // Reading on to the end: the size is known only if nothing passed.
    while (got.ok() && *got > 0) got = stream.read(out.data(), out.size());
    EXPECT_EQ(stream.sizeFoundWhileSkipping(), c.ended);
  }
}

}  // namespace
}  // namespace lumo
