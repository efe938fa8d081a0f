// Checks the PE parser on real images against what objdump (binutils) reports
// of their optional header and sections, so the expectation never comes from
// lumo's own reading.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "parsers/parsers.h"
#include "parsers/real_file_support.h"

namespace lumo {
namespace {

using namespace lumo::testing;

struct ObjdumpSection {
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t file_offset = 0;
};

// The parts of `objdump -h -p` that the checks use.
struct ObjdumpReport {
  std::string magic;  // "010b" (PE32) or "020b" (PE32+)
  std::optional<std::uint64_t> rva_and_sizes;
  std::vector<ObjdumpSection> sections;
};

bool isDecimal(const std::string& word) {
  return !word.empty() &&
         std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

ObjdumpReport parseObjdump(const std::string& output) {
  ObjdumpReport report;
  for (const std::string& line : splitLines(output)) {
    const std::vector<std::string> words = splitWords(line);
    if (words.size() < 2) continue;
    if (words[0] == "Magic") report.magic = words[1];
    if (words[0] == "NumberOfRvaAndSizes")
      report.rva_and_sizes = std::stoull(words[1], nullptr, 16);
    // "  0 .text  000281f2  00000200  00000200  00000200  2**4"
    if (words.size() == 7 && isDecimal(words[0]) && words[6].starts_with("2**") &&
        std::stoull(words[0]) == report.sections.size()) {
      report.sections.push_back(
          {words[1], std::stoull(words[2], nullptr, 16), std::stoull(words[5], nullptr, 16)});
    }
  }
  return report;
}

// Empty when every entry of [start, start + length) shows `expected`.
std::string checkRange(const std::string& mask, std::uint64_t start, std::uint64_t length,
                       char expected) {
  for (std::uint64_t k = start; k < start + length; ++k) {
    if (k >= mask.size()) return "range ends past the input at " + std::to_string(k);
    if (mask[k] != expected) {
      return "offset " + std::to_string(k) + " is '" + mask[k] + "', expected '" + expected + "'";
    }
  }
  return "";
}

struct RealPe {
  const char* name;
  const char* path;
  const char* package;
  const char* magic;
};

void PrintTo(const RealPe& file, std::ostream* out) { *out << file.name; }

class PeRealFileTest : public ::testing::TestWithParam<RealPe> {};

TEST_P(PeRealFileTest, ColorsMatchTheStructureObjdumpReports) {
  const RealPe& file = GetParam();
  if (!firstExisting({file.path})) {
    GTEST_SKIP() << "no " << file.path << " here; install the package " << file.package;
  }
  const std::optional<std::string> output =
      commandOutput(std::string("objdump -h -p ") + file.path);
  if (!output) GTEST_SKIP() << "objdump (binutils) could not be run on " << file.path;
  const std::optional<Bytes> bytes = readWholeFile(file.path);
  ASSERT_TRUE(bytes.has_value()) << file.path;

  const ObjdumpReport report = parseObjdump(*output);
  ASSERT_EQ(report.magic, file.magic);
  ASSERT_TRUE(report.rva_and_sizes.has_value());
  ASSERT_FALSE(report.sections.empty());

  // objdump does not print e_lfanew; it is the 32-bit little-endian value at
  // offset 60, and must lead to the "PE\0\0" signature.
  const Bytes& in = *bytes;
  std::uint64_t lfanew = 0;
  for (std::size_t k = 0; k < 4; ++k) lfanew |= std::uint64_t{in[60 + k]} << (8 * k);
  ASSERT_LT(lfanew + 24, in.size());
  ASSERT_EQ(std::string(in.begin() + static_cast<long>(lfanew),
                        in.begin() + static_cast<long>(lfanew) + 4),
            std::string("PE\0\0", 4));
  // The optional header is its fixed part (96 bytes for PE32, 112 for PE32+)
  // followed by the data directories, 8 bytes each.
  const std::uint64_t optional_size =
      (report.magic == "020b" ? 112 : 96) + 8 * *report.rva_and_sizes;
  const std::uint64_t optional = lfanew + 24;
  const std::uint64_t table = optional + optional_size;

  // Also compares the resolved runs with a byte array painted alike.
  const std::string mask = colorize(colorizePe, in);

  EXPECT_EQ(checkRange(mask, 0, 2, 'A'), "") << "e_magic";
  EXPECT_EQ(checkRange(mask, 2, 58, '1'), "") << "MS-DOS header";
  EXPECT_EQ(checkRange(mask, 60, 4, 'A'), "") << "e_lfanew";
  EXPECT_EQ(checkRange(mask, 64, lfanew - 64, '_'), "") << "MS-DOS stub";
  EXPECT_EQ(checkRange(mask, lfanew, 4, 'B'), "") << "signature";
  EXPECT_EQ(checkRange(mask, lfanew + 4, 20, '2'), "") << "COFF file header";
  EXPECT_EQ(checkRange(mask, optional, std::min<std::uint64_t>(optional_size, 216), '3'), "")
      << "optional header";
  if (optional_size > 216) {
    EXPECT_EQ(checkRange(mask, optional + 216, optional_size - 216, 'c'), "")
        << "optional header past 216 bytes";
  }
  for (std::size_t i = 0; i < report.sections.size(); ++i) {
    const ObjdumpSection& section = report.sections[i];
    SCOPED_TRACE("section " + std::to_string(i) + " " + section.name);
    const bool even = i % 2 == 0;
    const std::uint64_t header = table + 40 * i;
    ASSERT_LT(header + 40, in.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.data() + header),
                          std::min<std::size_t>(section.name.size(), 8)),
              section.name.substr(0, 8))
        << "the section table is not where the optional header ends";
    EXPECT_EQ(checkRange(mask, header, 8, even ? 'D' : 'E'), "") << "name";
    EXPECT_EQ(checkRange(mask, header + 8, 32, even ? '4' : '5'), "") << "header";
    EXPECT_EQ(checkRange(mask, section.file_offset, section.size, even ? 'd' : 'e'), "")
        << "raw data";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PeRealFileTest,
    ::testing::Values(RealPe{"Pe32Plus", "/usr/lib/systemd/boot/efi/systemd-bootx64.efi",
                             "systemd-boot-efi", "020b"},
                      RealPe{"Pe32", "/usr/lib/SYSLINUX.EFI/efi32/syslinux.efi", "syslinux-efi",
                             "010b"}),
    [](const ::testing::TestParamInfo<RealPe>& param_info) { return param_info.param.name; });

}  // namespace
}  // namespace lumo
