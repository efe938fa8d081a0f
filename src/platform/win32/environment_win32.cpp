#include <algorithm>
#include <climits>
#include <cwchar>
#include <new>

#include "platform/environment_names.h"
#include "platform/win32/win32_internal.h"

namespace lumo::platform {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Names compare as Windows compares them: without regard to case, by the
// upper-case form of each UTF-16 unit.
bool sameName(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return asciiUpper(x) == asciiUpper(y);
           });
  }
  try {
    std::optional<std::wstring> wideA = win32::toUtf16(a);
    std::optional<std::wstring> wideB = win32::toUtf16(b);
    if (!wideA || !wideB || wideA->size() > INT_MAX || wideB->size() > INT_MAX) return a == b;
    return ::CompareStringOrdinal(wideA->data(), static_cast<int>(wideA->size()), wideB->data(),
                                  static_cast<int>(wideB->size()), TRUE) == CSTR_EQUAL;
  } catch (const std::bad_alloc&) {
    return a == b;
  }
}

struct EnvironmentBlock {
  wchar_t* strings = ::GetEnvironmentStringsW();
  ~EnvironmentBlock() {
    if (strings != nullptr) ::FreeEnvironmentStringsW(strings);
  }
  EnvironmentBlock() = default;
  EnvironmentBlock(const EnvironmentBlock&) = delete;
  EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
};

}  // namespace

Result<Environment> Environment::read() {
  EnvironmentBlock block;
  if (block.strings == nullptr) return Failure::OutOfMemory;
  std::vector<std::pair<std::string, std::string>> variables;
  try {
    for (const wchar_t* entry = block.strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring_view text(entry);
      // Entries such as "=C:=C:\work" keep the current folder of each drive;
      // they are no variables.
      if (text.front() == L'=') continue;
      const std::size_t equals = text.find(L'=');
      if (equals == std::wstring_view::npos) continue;
      variables.emplace_back(win32::toUtf8(text.substr(0, equals)),
                             win32::toUtf8(text.substr(equals + 1)));
    }
  } catch (const std::bad_alloc&) {
    return Failure::OutOfMemory;
  }
  return Environment::of(std::move(variables));
}

bool sameEnvironmentName(std::string_view a, std::string_view b) { return sameName(a, b); }

}  // namespace lumo::platform
