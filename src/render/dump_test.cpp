#include "render/dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "render/size_footer.h"

namespace lumo {
namespace {

class FailingSink final : public ByteSink {
 public:
  explicit FailingSink(std::size_t allowed) : allowed_(allowed) {}
  Status write(const char* data, std::size_t size) override {
    if (writes_++ >= allowed_) return Failure::BrokenPipe;
    text.append(data, size);
    return {};
  }
  using ByteSink::write;
  std::string text;

 private:
  std::size_t allowed_;
  std::size_t writes_ = 0;
};

// Everything normal_alt, as a structured parser starts out.
Colormap plainColormap() {
  Colormap colormap;
  colormap.fill(kNormalAlt);
  colormap.resolve();
  return colormap;
}

std::string dump(const std::vector<std::uint8_t>& input, const Options& options,
                 bool footer = false) {
  Colormap colormap = plainColormap();
  StringSink sink;
  OutputBuffer out(sink, 4096);
  DumpResult result = writeDump(input, colormap, options, out);
  EXPECT_TRUE(result.written.ok());
  EXPECT_TRUE(result.read.ok());
  EXPECT_EQ(result.size, input.size());
  if (footer) {
    EXPECT_TRUE(writeSizeFooter(input.size(), out).ok());
  }
  EXPECT_TRUE(out.flush().ok());
  return sink.text;
}

Options plain() {
  Options options;
  options.color = false;
  return options;
}

std::vector<std::uint8_t> lines(std::initializer_list<std::uint8_t> fills) {
  std::vector<std::uint8_t> bytes;
  for (std::uint8_t fill : fills) bytes.insert(bytes.end(), 16, fill);
  return bytes;
}

TEST(Dump, CollapsingExampleWithFooter) {
  std::vector<std::uint8_t> input(80, 0);
  input.push_back(0x78);
  EXPECT_EQ(dump(input, plain(), true),
            "00000000 | 0000 0000 0000 0000 0000 0000 0000 0000 | ................ |\n"
            "... 3 lines skipped ...\n"
            "00000040 | 0000 0000 0000 0000 0000 0000 0000 0000 | ................ |\n"
            "00000050 | 78                                      | x                |\n"
            "File size: 81 bytes\n");
}

TEST(Dump, RunsOfIdenticalLines) {
  Options options = plain();
  options.show_ascii = false;
  const std::string a = " | 4141 4141 4141 4141 4141 4141 4141 4141 |\n";
  const std::string b = " | 4242 4242 4242 4242 4242 4242 4242 4242 |\n";
  struct Case {
    const char* name;
    std::vector<std::uint8_t> input;
    std::string expected;
  };
  const Case cases[] = {
      {"empty", {}, ""},
      {"two identical lines are both shown", lines({'A', 'A'}), "00000000" + a + "00000010" + a},
      {"three identical then different", lines({'A', 'A', 'A', 'B'}),
       "00000000" + a + "... 1 lines skipped ...\n" + "00000020" + a + "00000030" + b},
      {"run reaching the end", lines({'B', 'A', 'A', 'A', 'A'}),
       "00000000" + b + "00000010" + a + "... 2 lines skipped ...\n" + "00000040" + a},
      {"two runs", lines({'A', 'A', 'A', 'B', 'B', 'B'}),
       "00000000" + a + "... 1 lines skipped ...\n" + "00000020" + a + "00000030" + b +
           "... 1 lines skipped ...\n" + "00000050" + b},
  };
  for (const Case& c : cases) EXPECT_EQ(dump(c.input, options), c.expected) << c.name;
}

TEST(Dump, ShortLastLineNeverJoinsARun) {
  Options options = plain();
  options.show_ascii = false;
  std::vector<std::uint8_t> input(16 * 3 + 15, 'A');
  EXPECT_EQ(dump(input, options),
            "00000000 | 4141 4141 4141 4141 4141 4141 4141 4141 |\n"
            "... 1 lines skipped ...\n"
            "00000020 | 4141 4141 4141 4141 4141 4141 4141 4141 |\n"
            "00000030 | 4141 4141 4141 4141 4141 4141 4141 41   |\n");
}

TEST(Dump, SkipOffAndRawShowEveryLine) {
  std::vector<std::uint8_t> input(16 * 4, 0);
  Options noSkip = plain();
  noSkip.skip_lines = false;
  EXPECT_EQ(dump(input, noSkip).size(), 4u * 72);
  Options raw = plain();
  raw.raw = true;
  raw.uppercase = true;
  input.push_back(0xab);
  std::string zeros;
  for (int i = 0; i < 4; ++i) zeros += "0000 0000 0000 0000 0000 0000 0000 0000 \n";
  EXPECT_EQ(dump(input, raw), zeros + "AB" + std::string(38, ' ') + "\n")
      << "raw: no offsets, separators, ascii or skipping; uppercase kept";
}

TEST(Dump, RunIsCollapsedDespiteDifferentColorsAndShowsItsOwn) {
  std::vector<std::uint8_t> input(48, 'A');
  Colormap colormap;
  colormap.fill(kNormalAlt);
  colormap.paint(32, 16, kC1);
  colormap.resolve();
  Options options;
  options.color = true;
  options.show_offset = false;
  options.show_ascii = false;
  StringSink sink;
  OutputBuffer out(sink);
  ASSERT_TRUE(writeDump(input, colormap, options, out).written.ok());
  ASSERT_TRUE(out.flush().ok());
  const std::string dimBar = "\x1b[2m|\x1b[0m";
  std::string normalAlt, c1;
  for (int i = 0; i < 16; ++i) {
    normalAlt += "\x1b[33m\x1b[2m41\x1b[0m";
    c1 += "\x1b[31m41\x1b[0m";
    if (i & 1) {
      normalAlt += ' ';
      c1 += ' ';
    }
  }
  EXPECT_EQ(sink.text, dimBar + " " + normalAlt + dimBar + "\n" + "... 1 lines skipped ...\n" +
                           dimBar + " " + c1 + dimBar + "\n");
}

TEST(Dump, WriteFailureStopsTheDump) {
  std::vector<std::uint8_t> input(1 << 20);
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<std::uint8_t>(i * 7);
  Colormap colormap = plainColormap();
  FailingSink sink(2);
  OutputBuffer out(sink, 4096);
  Status status = writeDump(input, colormap, plain(), out).written;
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.failure(), Failure::BrokenPipe);
  // Only whole lines reached the sink before the failure.
  EXPECT_FALSE(sink.text.empty());
  EXPECT_EQ(sink.text.size() % 72, 0u);
}

// Delivers its bytes in small pieces, then ends or fails.
class PieceStream final : public InputStream {
 public:
  PieceStream(std::vector<std::uint8_t> bytes, std::size_t piece, bool failAtEnd)
      : bytes_(std::move(bytes)), piece_(piece), failAtEnd_(failAtEnd) {}
  Result<std::size_t> read(std::uint8_t* out, std::size_t count) override {
    if (at_ == bytes_.size() && failAtEnd_) return Failure::InputOutput;
    const std::size_t n = std::min({count, piece_, bytes_.size() - at_});
    std::memcpy(out, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }
  bool mayWait() const override { return mayWait_; }
  bool mayWait_ = true;

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t piece_;
  bool failAtEnd_;
  std::size_t at_ = 0;
};

TEST(Dump, ReadFailureShowsEverythingBeforeIt) {
  // 40 bytes in pieces of 7: lines are cut across reads, and a run of equal
  // lines is open when the read fails.
  std::vector<std::uint8_t> bytes(48, 'z');
  bytes.resize(40);
  for (bool waits : {true, false}) {
    SCOPED_TRACE(waits ? "stream that may wait" : "file");
    PieceStream input(bytes, 7, true);
    input.mayWait_ = waits;
    Options options = plain();
    options.show_ascii = false;
    StringSink sink;
    OutputBuffer out(sink);
    DumpResult result = writeDump(input, plainColormap(), options, out);
    EXPECT_TRUE(result.written.ok());
    ASSERT_FALSE(result.read.ok());
    EXPECT_EQ(result.read.failure(), Failure::InputOutput);
    EXPECT_EQ(result.size, 32u);
    // Written out already, before the caller reports the failure.
    EXPECT_EQ(sink.text,
              "00000000 | 7a7a 7a7a 7a7a 7a7a 7a7a 7a7a 7a7a 7a7a |\n"
              "00000010 | 7a7a 7a7a 7a7a 7a7a 7a7a 7a7a 7a7a 7a7a |\n");
  }
}

TEST(Dump, LinesAcrossChunksAndStreamsMatchTheWholeInput) {
  // 3 MiB + 5 bytes crosses the dump's chunks; the same bytes arriving in
  // odd pieces from a stream must give the same output.
  std::vector<std::uint8_t> bytes((3 << 20) + 5);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i / 48);
  const std::string whole = dump(bytes, plain(), true);
  PieceStream pieces(bytes, 4093, false);
  StringSink sink;
  OutputBuffer out(sink);
  DumpResult result = writeDump(pieces, plainColormap(), plain(), out);
  ASSERT_TRUE(result.written.ok());
  EXPECT_EQ(result.size, bytes.size());
  ASSERT_TRUE(writeSizeFooter(result.size, out).ok());
  ASSERT_TRUE(out.flush().ok());
  EXPECT_TRUE(sink.text == whole);
}

}  // namespace
}  // namespace lumo
