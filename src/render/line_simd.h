#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

// LUMO_SCALAR_LINES builds the portable code on x86-64 too, so that the
// fallback of other targets runs through every test.
#if defined(__SSE2__) && !defined(LUMO_SCALAR_LINES)
#define LUMO_SSE2_LINES 1
#include <emmintrin.h>
#endif

// Inline: these run once per dump line and must not cost a call.
namespace lumo {

/// hexDigits16: the 32 hex digits of 16 bytes, without spaces.
/// asciiColumn16: the ASCII column characters of 16 bytes: printable bytes as
/// themselves, all others as '.' (exactly 16 characters).
/// hexColumn16: the hex column of a full 16-byte line: eight groups of four
/// digits, each followed by a space (exactly 40 characters).
/// pickPrintable16: for each of 16 bytes, `ifPrintable[i]` where byte i is
/// printable, else `otherwise`.
/// copyBlocks16<N>: copies N * 16 bytes, one 16-byte move per block, in
/// straight code (a memcpy of a few hundred bytes becomes `rep movs`, whose
/// start-up costs more than the copy).

/// The portable versions, one byte at a time: the only ones on targets
/// without SSE2, and the reference the tests hold the others to.
namespace scalar {

inline void hexDigits16(const std::uint8_t* bytes, bool uppercase, char* out) {
  const char* alphabet = uppercase ? "0123456789ABCDEF" : "0123456789abcdef";
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = alphabet[bytes[i] >> 4];
    out[2 * i + 1] = alphabet[bytes[i] & 15];
  }
}

inline void asciiColumn16(const std::uint8_t* bytes, char* out) {
  for (int i = 0; i < 16; ++i) {
    out[i] = bytes[i] >= 0x20 && bytes[i] <= 0x7e ? static_cast<char>(bytes[i]) : '.';
  }
}

inline void pickPrintable16(const std::uint8_t* bytes, const std::uint8_t* ifPrintable,
                            std::uint8_t otherwise, std::uint8_t* out) {
  for (int i = 0; i < 16; ++i) {
    out[i] = bytes[i] >= 0x20 && bytes[i] <= 0x7e ? ifPrintable[i] : otherwise;
  }
}

template <std::size_t kBlocks>
inline void copyBlocks16(char* out, const char* from) {
  for (std::size_t block = 0; block < kBlocks; ++block) {
    std::memcpy(out + 16 * block, from + 16 * block, 16);
  }
}

}  // namespace scalar

#if defined(LUMO_SSE2_LINES)

// Sixteen bytes at a time: split into nibbles, turn each nibble into its
// digit with a compare instead of a table, and interleave high and low.
inline void hexDigits16(const std::uint8_t* bytes, bool uppercase, char* out) {
  const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i lowMask = _mm_set1_epi8(0x0f);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(input, 4), lowMask);
  const __m128i low = _mm_and_si128(input, lowMask);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i letterGap = _mm_set1_epi8(uppercase ? 'A' - '0' - 10 : 'a' - '0' - 10);
  auto toDigits = [&](__m128i nibbles) {
    __m128i isLetter = _mm_cmpgt_epi8(nibbles, nine);
    return _mm_add_epi8(_mm_add_epi8(nibbles, zero), _mm_and_si128(isLetter, letterGap));
  };
  const __m128i highDigits = toDigits(high);
  const __m128i lowDigits = toDigits(low);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(highDigits, lowDigits));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(highDigits, lowDigits));
}

inline void asciiColumn16(const std::uint8_t* bytes, char* out) {
  const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  // Printable means byte - 0x20 < 0x5f unsigned; SSE2 compares signed, so
  // both sides are shifted by 0x80.
  const __m128i shifted =
      _mm_xor_si128(_mm_sub_epi8(input, _mm_set1_epi8(0x20)), _mm_set1_epi8(-128));
  const __m128i printable = _mm_cmplt_epi8(shifted, _mm_set1_epi8(0x5f - 128));
  const __m128i dots = _mm_set1_epi8('.');
  const __m128i chars =
      _mm_or_si128(_mm_and_si128(printable, input), _mm_andnot_si128(printable, dots));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chars);
}

inline void pickPrintable16(const std::uint8_t* bytes, const std::uint8_t* ifPrintable,
                            std::uint8_t otherwise, std::uint8_t* out) {
  const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i shifted =
      _mm_xor_si128(_mm_sub_epi8(input, _mm_set1_epi8(0x20)), _mm_set1_epi8(-128));
  const __m128i printable = _mm_cmplt_epi8(shifted, _mm_set1_epi8(0x5f - 128));
  const __m128i chosen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ifPrintable));
  const __m128i other = _mm_set1_epi8(static_cast<char>(otherwise));
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(out),
      _mm_or_si128(_mm_and_si128(printable, chosen), _mm_andnot_si128(printable, other)));
}

template <std::size_t kBlocks>
inline void copyBlocks16(char* out, const char* from) {
  [&]<std::size_t... kBlock>(std::index_sequence<kBlock...>) {
    (_mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * kBlock),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * kBlock))),
     ...);
  }
  (std::make_index_sequence<kBlocks>{});
}

#else

using scalar::asciiColumn16;
using scalar::copyBlocks16;
using scalar::hexDigits16;
using scalar::pickPrintable16;

#endif

inline void hexColumn16(const std::uint8_t* bytes, bool uppercase, char* out) {
  char digits[32];
  hexDigits16(bytes, uppercase, digits);
  for (int group = 0; group < 8; ++group) {
    std::memcpy(out + 5 * group, digits + 4 * group, 4);
    out[5 * group + 4] = ' ';
  }
}

}  // namespace lumo
