// Runs every file of the given folders (and every file given directly)
// through a fuzz target once. Built with the target's body in ordinary test
// builds, so the committed corpus, which holds every past finding, runs as
// a plain test under whatever compiler and sanitizers the build uses.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputFiles(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path given(argv[i]);
    if (!fs::is_directory(given)) {
      files.push_back(given);
      continue;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(given)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  // A fixed order, so that a failure reproduces the same way every time.
  std::sort(files.begin(), files.end());
  return files;
}

bool readFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<fs::path> files = inputFiles(argc, argv);
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...: no inputs found\n", argv[0]);
    return 1;
  }
  std::vector<std::uint8_t> bytes;
  for (const fs::path& file : files) {
    if (!readFile(file, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
      return 1;
    }
    // Printed first, so that a crash names the input that caused it.
    std::fprintf(stderr, "%s\n", file.string().c_str());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::fprintf(stderr, "%zu inputs replayed\n", files.size());
  return 0;
}
