// The bit masks of a 64-byte block of a record body, one bit per byte, and
// the bit arithmetic the record scanner (body_scanner.cc) does on them:
// a portable version of each, and on x86-64 an AVX2 one that the scanner's
// second copy uses where the CPU has it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "mgf/mgf_input.h"

namespace mspforge {

// A byte that separates the columns of a peak line: a blank, a tab, a CR,
// any other control byte, and the LF that ends the line.
inline constexpr bool isSeparator(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// What a line needs to be told from the usual peak line, per byte of a
// 64-byte block: its LFs, its "=" (of header lines), "e" and "E" (of
// exponents), and the separators, from which the starts of columns follow.
struct BlockMasks {
  std::uint64_t lf;
  std::uint64_t equalsSigns;  // "=": no usual peak line
  std::uint64_t exponent;     // "e" or "E"
  std::uint64_t separator;
};

// The bytes that start a column: no separator, after one (or after the
// byte before the block, when separatorBefore is 1).
inline std::uint64_t columnStartsOf(std::uint64_t separator,
                                    std::uint64_t separatorBefore) {
  return ~separator & ((separator << 1) | separatorBefore);
}

// The column starts of the block at blockAt in data, whose separators are
// separator, the byte before it looked up (the input's start counts as a
// separator).
inline std::uint64_t columnStartsAt(const char* data, std::size_t blockAt,
                                    std::uint64_t separator) {
  return columnStartsOf(separator,
                        blockAt == 0 || isSeparator(data[blockAt - 1]) ? 1 : 0);
}

inline BlockMasks classifyBodyBlock(const char* block) {
  BlockMasks m{0, 0, 0, 0};
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i equalsSign = _mm_set1_epi8('=');
  const __m128i smallE = _mm_set1_epi8('e');
  const __m128i space = _mm_set1_epi8(0x20);
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const __m128i bytes =
        _mm_load_si128(reinterpret_cast<const __m128i*>(block + shift));
    const auto bits = [shift](__m128i matches) {
      return static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(matches)))
             << shift;
    };
    m.lf |= bits(_mm_cmpeq_epi8(bytes, newline));
    m.equalsSigns |= bits(_mm_cmpeq_epi8(bytes, equalsSign));
    m.exponent |= bits(_mm_cmpeq_epi8(_mm_or_si128(bytes, space), smallE));
    m.separator |= bits(_mm_cmpeq_epi8(_mm_min_epu8(bytes, space), bytes));
  }
#elif defined(__ARM_NEON)
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const uint8x16_t bytes =
        vld1q_u8(reinterpret_cast<const std::uint8_t*>(block + shift));
    m.lf |= neonMatchBits(vceqq_u8(bytes, vdupq_n_u8('\n'))) << shift;
    m.equalsSigns |= neonMatchBits(vceqq_u8(bytes, vdupq_n_u8('='))) << shift;
    m.exponent |= neonMatchBits(vceqq_u8(vorrq_u8(bytes, vdupq_n_u8(0x20)),
                                         vdupq_n_u8('e')))
                  << shift;
    m.separator |= neonMatchBits(vcleq_u8(bytes, vdupq_n_u8(0x20))) << shift;
  }
#elif defined(__wasm_simd128__)
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const v128_t bytes = wasm_v128_load(block + shift);
    const auto bits = [shift](v128_t matches) {
      return static_cast<std::uint64_t>(wasm_i8x16_bitmask(matches)) << shift;
    };
    m.lf |= bits(wasm_i8x16_eq(bytes, wasm_i8x16_splat('\n')));
    m.equalsSigns |= bits(wasm_i8x16_eq(bytes, wasm_i8x16_splat('=')));
    m.exponent |= bits(wasm_i8x16_eq(
        wasm_v128_or(bytes, wasm_i8x16_splat(0x20)), wasm_i8x16_splat('e')));
    m.separator |= bits(wasm_u8x16_le(bytes, wasm_i8x16_splat(0x20)));
  }
#else
  for (std::size_t i = 0; i < kScanBlock; ++i) {
    const char c = block[i];
    m.lf |= static_cast<std::uint64_t>(c == '\n') << i;
    m.equalsSigns |= static_cast<std::uint64_t>(c == '=') << i;
    m.exponent |= static_cast<std::uint64_t>((c | 0x20) == 'e') << i;
    m.separator |= static_cast<std::uint64_t>(isSeparator(c)) << i;
  }
#endif
  return m;
}

#if defined(__x86_64__)
// The same with AVX2, 32 bytes at a time, where the CPU has it: the
// scanner is compiled a second time around it (see scanRecordBody).
__attribute__((target("avx2"), always_inline)) inline BlockMasks
classifyBodyBlockAvx2(const char* block) {
  BlockMasks m{0, 0, 0, 0};
  const __m256i newline = _mm256_set1_epi8('\n');
  const __m256i equalsSign = _mm256_set1_epi8('=');
  const __m256i smallE = _mm256_set1_epi8('e');
  const __m256i space = _mm256_set1_epi8(0x20);
  // (No lambda here: it would not share the function's instruction set.)
#define MSPFORGE_BITS(matches, shift)                             \
  (static_cast<std::uint64_t>(                                    \
       static_cast<std::uint32_t>(_mm256_movemask_epi8(matches))) \
   << (shift))
  for (unsigned shift = 0; shift < 64; shift += 32) {
    const __m256i bytes =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(block + shift));
    m.lf |= MSPFORGE_BITS(_mm256_cmpeq_epi8(bytes, newline), shift);
    m.equalsSigns |= MSPFORGE_BITS(_mm256_cmpeq_epi8(bytes, equalsSign), shift);
    m.exponent |= MSPFORGE_BITS(
        _mm256_cmpeq_epi8(_mm256_or_si256(bytes, space), smallE), shift);
    m.separator |= MSPFORGE_BITS(
        _mm256_cmpeq_epi8(_mm256_min_epu8(bytes, space), bytes), shift);
  }
#undef MSPFORGE_BITS
  return m;
}
#endif

// What a run of header lines needs of a 64-byte block: its LFs and "=".
struct HeaderMasks {
  std::uint64_t lf;
  std::uint64_t equalsSigns;
};

inline HeaderMasks classifyHeaderBlock(const char* block) {
  const BlockMasks m = classifyBodyBlock(block);
  return HeaderMasks{m.lf, m.equalsSigns};
}

#if defined(__x86_64__)
// classifyHeaderBlock with AVX2.
__attribute__((target("avx2"), always_inline)) inline HeaderMasks
classifyHeaderBlockAvx2(const char* block) {
  const __m256i newline = _mm256_set1_epi8('\n');
  const __m256i equalsSign = _mm256_set1_epi8('=');
  const __m256i low =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(block));
  const __m256i high =
      _mm256_load_si256(reinterpret_cast<const __m256i*>(block + 32));
#define MSPFORGE_BITS(lowMatches, highMatches)                         \
  (static_cast<std::uint64_t>(                                         \
       static_cast<std::uint32_t>(_mm256_movemask_epi8(lowMatches))) | \
   (static_cast<std::uint64_t>(                                        \
        static_cast<std::uint32_t>(_mm256_movemask_epi8(highMatches))) \
    << 32))
  const HeaderMasks m{MSPFORGE_BITS(_mm256_cmpeq_epi8(low, newline),
                                    _mm256_cmpeq_epi8(high, newline)),
                      MSPFORGE_BITS(_mm256_cmpeq_epi8(low, equalsSign),
                                    _mm256_cmpeq_epi8(high, equalsSign))};
#undef MSPFORGE_BITS
  return m;
}
#endif

// Each bit of x set to the parity of the set bits of x at and below it.
inline std::uint64_t prefixParity(std::uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  return x ^ (x << 32);
}

#if defined(__x86_64__)
// prefixParity as one carry-less multiplication by all ones, for the AVX2
// copy of the scanner (every CPU with AVX2 has PCLMULQDQ).
__attribute__((target("pclmul"), always_inline)) inline std::uint64_t
prefixParityClmul(std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(
      _mm_cvtsi64_si128(static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}
#endif

// A first byte from 1 to 9: a leading number of at least 1, unless an
// exponent follows.
inline bool isLeadDigit(char c) {
  return static_cast<unsigned char>(c - '1') < 9u;
}

// The bits of positions in a block whose bytes are not 1 to 9. An object
// made before a loop over blocks, so that whatever it needs is set up once.
struct LeadDigitTest {
  std::uint64_t notLeadDigits(const char* block,
                              std::uint64_t positions) const {
    std::uint64_t not19 = 0;
    for (std::uint64_t t = positions; t != 0; t &= t - 1) {
      not19 |= isLeadDigit(block[std::countr_zero(t)]) ? 0 : t & (0 - t);
    }
    return not19;
  }
};

#if defined(__x86_64__)
// The same from the whole block at once, for the AVX2 copy, its constants
// kept in registers.
struct LeadDigitTestAvx2 {
  __m256i one;
  __m256i eight;

  __attribute__((target("avx2"), always_inline)) std::uint64_t notLeadDigits(
      const char* block, std::uint64_t positions) const {
    std::uint64_t digits = 0;
    for (unsigned shift = 0; shift < 64; shift += 32) {
      const __m256i fromOne = _mm256_sub_epi8(
          _mm256_load_si256(reinterpret_cast<const __m256i*>(block + shift)),
          one);
      digits |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(
                    _mm256_movemask_epi8(_mm256_cmpeq_epi8(
                        _mm256_min_epu8(fromOne, eight), fromOne))))
                << shift;
    }
    return positions & ~digits;
  }
};

__attribute__((target("avx2"), always_inline)) inline LeadDigitTestAvx2
leadDigitTestAvx2() {
  LeadDigitTestAvx2 test{_mm256_set1_epi8('1'), _mm256_set1_epi8(8)};
  // Opaque to the compiler, which would otherwise build them again in the
  // loop, three instructions each, where they are used.
  __asm__("" : "+x"(test.one), "+x"(test.eight));
  return test;
}
#endif

// How many bits of x are set, up to three.
inline unsigned upToThreeBits(std::uint64_t x) {
  return std::min(3u, static_cast<unsigned>(std::popcount(x)));
}

}  // namespace mspforge
