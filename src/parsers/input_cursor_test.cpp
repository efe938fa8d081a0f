#include "parsers/input_cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <ostream>
#include <vector>

#include "parsers/byte_order.h"

namespace lumo {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

const std::vector<std::uint8_t> kTen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

struct ReadCase {
  const char* name;
  std::uint64_t position;
  std::uint64_t count;
  bool ok;                      // of readExact and skip
  std::size_t peeked;           // how many bytes peekUpTo gives
  std::size_t input_size = 10;  // holding 0, 1, 2 and so on
};

// Without it the test names would show the case's raw bytes, a pointer
// among them, and change with every build.
void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class CursorReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(CursorReadTest, ReadExactSkipAndPeekKeepToTheInput) {
  const ReadCase& c = GetParam();
  std::vector<std::uint8_t> bytes(c.input_size);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  const MemoryAccess input(bytes);
  InputCursor reader(input), skipper(input), peeker(input);
  for (InputCursor* cursor : {&reader, &skipper, &peeker}) cursor->seek(c.position);
  const Result<ByteSpan> read = reader.readExact(c.count);
  const Status skipped = skipper.skip(c.count);
  const ByteSpan peeked = peeker.peekUpTo(c.count);

  ASSERT_EQ(peeked.size(), c.peeked);
  if (!peeked.empty()) {
    EXPECT_TRUE(std::equal(peeked.begin(), peeked.end(),
                           bytes.begin() + static_cast<std::ptrdiff_t>(c.position)));
  }
  EXPECT_EQ(peeker.position(), c.position);
  ASSERT_EQ(read.ok(), c.ok);
  ASSERT_EQ(skipped.ok(), c.ok);
  if (c.ok) {
    EXPECT_EQ(read->size(), c.count);
    if (c.count > 0) {
      EXPECT_EQ(read->front(), bytes[c.position]);
    }
    EXPECT_EQ(reader.position(), c.position + c.count);
    EXPECT_EQ(skipper.position(), c.position + c.count);
  } else {
    EXPECT_EQ(read.failure(), Failure::EndOfStream);
    EXPECT_EQ(skipped.failure(), Failure::EndOfStream);
    EXPECT_EQ(reader.position(), c.position);
    EXPECT_EQ(skipper.position(), c.position);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, CursorReadTest,
    ::testing::Values(
        ReadCase{"all", 0, 10, true, 10}, ReadCase{"up_to_end", 6, 4, true, 4},
        ReadCase{"middle", 3, 4, true, 4}, ReadCase{"one_past_end", 6, 5, false, 4},
        ReadCase{"short_near_end", 7, 6, false, 3}, ReadCase{"nothing_at_end", 10, 0, true, 0},
        ReadCase{"one_at_end", 10, 1, false, 0}, ReadCase{"several_at_end", 10, 5, false, 0},
        ReadCase{"nothing_past_end", 1000, 0, true, 0}, ReadCase{"past_end", 1000, 1, false, 0},
        // position + count would wrap to a small number
        ReadCase{"wrapping_count", 2, kMax - 1, false, 8},
        ReadCase{"position_near_max", kMax - 1, 2, false, 0},
        ReadCase{"huge_skip", 0, kMax, false, 10},
        // beyond one 512-byte step
        ReadCase{"longer_than_input", 0, 600, false, 10},
        // more than one record where the input holds more than one
        ReadCase{"above_max_record", 2, InputCursor::kHeldRecord + 10, false,
                 InputCursor::kHeldRecord, InputCursor::kHeldRecord + 5}),
    [](const ::testing::TestParamInfo<ReadCase>& param_info) { return param_info.param.name; });

TEST(InputCursorTest, ConsecutiveReadsAdvance) {
  const MemoryAccess cursorInput(kTen);
  InputCursor cursor(cursorInput);
  ASSERT_TRUE(cursor.readExact(3).ok());
  const Result<ByteSpan> next = cursor.readExact(2);
  ASSERT_TRUE(next.ok());
  EXPECT_EQ((*next)[0], 3);
  EXPECT_EQ((*next)[1], 4);
  ASSERT_TRUE(cursor.skip(4).ok());
  EXPECT_EQ(cursor.position(), 9u);
  EXPECT_FALSE(cursor.readExact(2).ok());
  EXPECT_TRUE(cursor.readExact(1).ok());
}

TEST(InputCursorTest, SkipCrossesManyStepsWithinInput) {
  const std::vector<std::uint8_t> big(2000, 0xab);
  const MemoryAccess cursorInput(big);
  InputCursor cursor(cursorInput);
  ASSERT_TRUE(cursor.skip(1999).ok());
  EXPECT_EQ(cursor.position(), 1999u);
  EXPECT_FALSE(cursor.skip(2).ok());
  EXPECT_TRUE(cursor.skip(1).ok());
}

TEST(InputCursorTest, EmptyInputHasNothingToRead) {
  const MemoryAccess cursorInput(ByteSpan{});
  InputCursor cursor(cursorInput);
  EXPECT_TRUE(cursor.readExact(0).ok());
  EXPECT_EQ(cursor.readExact(1).failure(), Failure::EndOfStream);
  EXPECT_EQ(cursor.skip(1).failure(), Failure::EndOfStream);
}

// A file that shrinks after it was opened still claims its old size.
class ShrunkInput final : public RandomAccess {
 public:
  std::uint64_t size() const override { return 100; }
  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    return MemoryAccess(kTen).readChecked(offset, out, count);
  }
};

TEST(InputCursorTest, ShortReadsAreTheEnd) {
  const ShrunkInput shrunk;
  InputCursor cursor(shrunk);
  EXPECT_TRUE(cursor.readExact(8).ok());
  EXPECT_EQ(cursor.readExact(8).failure(), Failure::EndOfStream);
  EXPECT_TRUE(cursor.peekUpTo(8).empty());
  EXPECT_EQ(cursor.position(), 8u);
}

// An input of `size` bytes, byte k holding k mod 256, made without storing
// them: reads reaching past `readable` stop there, as in a file that shrank,
// and reads reaching past `failing` fail as a broken disk does.
class PatternInput final : public RandomAccess {
 public:
  PatternInput(std::uint64_t size, std::uint64_t readable, std::uint64_t failing)
      : size_(size), readable_(readable), failing_(failing) {}
  std::uint64_t size() const override { return size_; }
  Result<std::size_t> readChecked(std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) const override {
    if (count > failing_ || offset > failing_ - count) return Failure::InputOutput;
    const std::uint64_t end = std::min(size_, readable_);
    const auto got =
        static_cast<std::size_t>(offset < end ? std::min<std::uint64_t>(count, end - offset) : 0);
    for (std::size_t k = 0; k < got; ++k) out[k] = static_cast<std::uint8_t>(offset + k);
    return got;
  }

 private:
  std::uint64_t size_;
  std::uint64_t readable_;
  std::uint64_t failing_;
};

struct RecordCase {
  const char* name;
  std::uint64_t size;
  std::uint64_t position;
  std::uint64_t count;
  std::optional<Failure> failure;  // none when the read succeeds
  std::uint64_t readable = kMax;
  std::uint64_t failing = kMax;
};

void PrintTo(const RecordCase& c, std::ostream* out) { *out << c.name; }

class CursorRecordTest : public ::testing::TestWithParam<RecordCase> {};

// Any record size reads whole, and a read that fails says why: the end of
// the input, a failing read, or a record too large to hold.
TEST_P(CursorRecordTest, ReadsAnySizeAndTellsEndFromFailure) {
  const RecordCase& c = GetParam();
  const PatternInput input(c.size, c.readable, c.failing);
  InputCursor cursor(input);
  cursor.seek(c.position);
  const Result<ByteSpan> read = cursor.readExact(c.count);
  if (c.failure) {
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.failure(), *c.failure);
    EXPECT_EQ(cursor.position(), c.position);
    return;
  }
  ASSERT_TRUE(read.ok()) << failureName(read.failure());
  ASSERT_EQ(read->size(), c.count);
  std::size_t same = 0;
  while (same < read->size() && (*read)[same] == static_cast<std::uint8_t>(c.position + same)) {
    ++same;
  }
  EXPECT_EQ(same, read->size()) << "the first byte that differs";
  EXPECT_EQ(cursor.position(), c.position + c.count);
}

constexpr std::uint64_t kLargest = InputCursor::kLargestRecord;

INSTANTIATE_TEST_SUITE_P(
    Records, CursorRecordTest,
    ::testing::Values(RecordCase{"one_byte", 1000, 7, 1, {}},
                      RecordCase{"held_record", 1000, 3, InputCursor::kHeldRecord, {}},
                      RecordCase{"one_over_held", 1000, 3, InputCursor::kHeldRecord + 1, {}},
                      RecordCase{"page", 10000, 100, 4096, {}},
                      RecordCase{"largest", kLargest + 9, 9, kLargest, {}},
                      RecordCase{"over_largest", kMax, 0, kLargest + 1, Failure::OutOfMemory},
                      RecordCase{"input_ends", 1000, 990, 20, Failure::EndOfStream},
                      RecordCase{"large_past_end", 1000, 100, 4096, Failure::EndOfStream},
                      RecordCase{"shrunk_file", 1000, 400, 200, Failure::EndOfStream, 500},
                      RecordCase{"read_fails", 1000, 40, 20, Failure::InputOutput, kMax, 50},
                      RecordCase{"large_read_fails", 10000, 2000, 5000, Failure::InputOutput, kMax,
                                 6000}),
    [](const ::testing::TestParamInfo<RecordCase>& param_info) { return param_info.param.name; });

// The storage of a large record is reused by the next: each read still
// gives its own bytes, whatever the order of sizes.
TEST(InputCursorTest, RecordsOfChangingSizeKeepTheirBytes) {
  const PatternInput input(100000, kMax, kMax);
  InputCursor cursor(input);
  for (const std::uint64_t count : {300u, 100u, 5000u, 8u, 81u, 4999u}) {
    SCOPED_TRACE(count);
    const std::uint64_t at = cursor.position();
    const Result<ByteSpan> read = cursor.readExact(count);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->size(), count);
    EXPECT_EQ(read->front(), static_cast<std::uint8_t>(at));
    EXPECT_EQ(read->back(), static_cast<std::uint8_t>(at + count - 1));
  }
}

TEST(InputCursorTest, PeekIntoFillsTheBufferUpToTheEnd) {
  std::vector<std::uint8_t> bytes(200);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  const MemoryAccess input(bytes);
  struct Case {
    std::uint64_t position;
    std::size_t buffer;
    std::size_t peeked;
  };
  // Past a record's size, up to the end, and nothing at or past it.
  for (const Case& c : {Case{0, 150, 150}, Case{190, 150, 10}, Case{199, 1, 1}, Case{200, 8, 0},
                        Case{kMax, 8, 0}, Case{5, 0, 0}}) {
    SCOPED_TRACE(c.position);
    InputCursor cursor(input);
    cursor.seek(c.position);
    std::vector<std::uint8_t> buffer(c.buffer);
    const ByteSpan peeked = cursor.peekInto(buffer);
    ASSERT_EQ(peeked.size(), c.peeked);
    if (!peeked.empty()) {
      EXPECT_EQ(peeked.data(), buffer.data());
      EXPECT_EQ(peeked.front(), bytes[c.position]);
      EXPECT_EQ(peeked.back(), bytes[c.position + c.peeked - 1]);
    }
    EXPECT_EQ(cursor.position(), c.position);
  }
  // A file that shrank since it was opened gives nothing, as peekUpTo does.
  const ShrunkInput shrunk;
  std::vector<std::uint8_t> buffer(20);
  EXPECT_TRUE(InputCursor(shrunk).peekInto(buffer).empty());
}

TEST(ByteOrderTest, DecodesEachWidthInBothOrders) {
  const std::vector<std::uint8_t> record = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
  struct Case {
    FieldAt field;
    std::uint64_t little;
    std::uint64_t big;
  };
  const Case cases[] = {
      {{7, 1}, 0x88, 0x88},
      {{1, 2}, 0x0302, 0x0203},
      {{4, 4}, 0x88070605, 0x05060788},
      {{0, 8}, 0x8807060504030201, 0x0102030405060788},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "offset " << c.field.offset << " width " << c.field.width);
    EXPECT_EQ(loadUnsigned(record, c.field, ByteOrder::Little), c.little);
    EXPECT_EQ(loadUnsigned(record, c.field, ByteOrder::Big), c.big);
  }
  EXPECT_EQ(loadLe16(record, 6), 0x8807);
  EXPECT_EQ(loadLe32(record, 0), 0x04030201u);
}

TEST(ByteOrderTest, FieldOutsideTheRecordDecodesAsZero) {
  const std::vector<std::uint8_t> record(8, 0xff);
  EXPECT_EQ(loadUnsigned(record, {5, 4}, ByteOrder::Little), 0u);
  EXPECT_EQ(loadUnsigned(record, {9, 1}, ByteOrder::Big), 0u);
  EXPECT_EQ(loadUnsigned(record, {std::numeric_limits<std::size_t>::max(), 2}, ByteOrder::Little),
            0u);
  EXPECT_EQ(loadUnsigned(record, {0, 3}, ByteOrder::Little), 0u);
  EXPECT_EQ(loadUnsigned(record, {0, 16}, ByteOrder::Little), 0u);
}

}  // namespace
}  // namespace lumo
