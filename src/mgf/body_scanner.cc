#include "mgf/body_scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
#include "mgf/mgf_reader.h"
#include "mgf/peak_threshold.h"

namespace mspforge {
namespace {

constexpr std::string_view kBeginIons = "BEGIN IONS";
constexpr std::string_view kEndIons = "END IONS";

// A byte that separates the columns of a peak line: a blank, a tab, a CR,
// any other control byte, and the LF that ends the line.
constexpr bool isSeparator(char c) {
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
  // No movemask: each comparison is narrowed to a 64-bit word of nibbles,
  // and the bits are gathered from it.
  const auto bits = [](uint8x16_t matches) {
    std::uint64_t word = vget_lane_u64(
        vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(matches), 4)), 0);
    word &= 0x1111111111111111u;
    word = (word | (word >> 3)) & 0x0303030303030303u;
    word = (word | (word >> 6)) & 0x000F000F000F000Fu;
    word = (word | (word >> 12)) & 0x000000FF000000FFu;
    word = (word | (word >> 24)) & 0x000000000000FFFFu;
    return word;
  };
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const uint8x16_t bytes =
        vld1q_u8(reinterpret_cast<const std::uint8_t*>(block + shift));
    m.lf |= bits(vceqq_u8(bytes, vdupq_n_u8('\n'))) << shift;
    m.equalsSigns |= bits(vceqq_u8(bytes, vdupq_n_u8('='))) << shift;
    m.exponent |=
        bits(vceqq_u8(vorrq_u8(bytes, vdupq_n_u8(0x20)), vdupq_n_u8('e')))
        << shift;
    m.separator |= bits(vcleq_u8(bytes, vdupq_n_u8(0x20))) << shift;
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

// Whether key is one of IgnoredSourceKeys, looked at only when its length
// is one of theirs.
constexpr bool isIgnoredKey(std::string_view key) {
  for (std::string_view ignored : IgnoredSourceKeys) {
    if (key.size() == ignored.size() && key == ignored) return true;
  }
  return false;
}

// Stores the header line [begin, end) (its LF, if any, last) whose first
// "=" is equals bytes in.
inline void storeHeaderLine(const char* begin, const char* end,
                            std::size_t equals, FieldMap& sourceFields) {
  const std::string_view key(begin, equals);
  if (isIgnoredKey(key)) return;
  const char* valueEnd = end[-1] == '\n' ? end - 1 : end;
  const char* value = begin + equals + 1;
  const std::string_view text(value,
                              static_cast<std::size_t>(valueEnd - value));
  if (text.size() == NotAvailableValue.size() && text == NotAvailableValue) {
    return;
  }
  sourceFields.appendView(key, text);
}

}  // namespace

void peakLineForms(std::string_view line, bool& exponent, bool& moreColumns) {
  exponent = false;
  std::size_t at = 0;
  for (int column = 0; column < 2; ++column) {
    while (at < line.size() && isSeparator(line[at])) ++at;
    for (; at < line.size() && !isSeparator(line[at]); ++at) {
      exponent = exponent || line[at] == 'e' || line[at] == 'E';
    }
  }
  while (at < line.size() && isSeparator(line[at])) ++at;
  moreColumns = at < line.size();
}

namespace {

// sortRecordLine, when the position of the line's first "=" (npos for
// none) is known.
RecordLine sortLine(std::string_view line, std::size_t equals,
                    FieldMap& sourceFields, PeakLines& peakLines) {
  // A "BEGIN IONS" line always begins a record, "=" or not.
  if (line.starts_with(kBeginIons)) return RecordLine::BeginIons;
  if (equals != std::string_view::npos) {
    storeHeaderLine(line.data(), line.data() + line.size(), equals,
                    sourceFields);
    return RecordLine::Header;
  }
  if (line.starts_with(kEndIons)) return RecordLine::EndIons;
  if (!leadingNumberAtLeastOne(line)) return RecordLine::Ignored;
  peakLines.appendView(line);
  bool exponent;
  bool moreColumns;
  peakLineForms(line, exponent, moreColumns);
  peakLines.noteForms(exponent ? 1 : 0, moreColumns ? 1 : 0);
  return RecordLine::Peak;
}

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

// How many bits of x are set, up to three.
inline unsigned upToThreeBits(std::uint64_t x) {
  return std::min(3u, static_cast<unsigned>(std::popcount(x)));
}

}  // namespace

RecordLine sortRecordLine(std::string_view line, FieldMap& sourceFields,
                          PeakLines& peakLines) {
  const void* equals = std::memchr(line.data(), '=', line.size());
  return sortLine(line,
                  equals == nullptr
                      ? std::string_view::npos
                      : static_cast<std::size_t>(
                            static_cast<const char*>(equals) - line.data()),
                  sourceFields, peakLines);
}

namespace {

// The scanner, compiled with the baseline classifier of the platform, and
// on x86-64 a second time with the AVX2 one: the loop lives in
// body_scan_loop.inc so that each copy is compiled for its instruction set
// as a whole, its masks in registers.
BodyScan scanWithBaseline(MgfInput& input, FieldMap& sourceFields,
                          PeakLines& peakLines) {
#define MSPFORGE_CLASSIFY classifyBodyBlock
#define MSPFORGE_PREFIX_PARITY prefixParity
#include "mgf/body_scan_loop.inc"
#undef MSPFORGE_PREFIX_PARITY
#undef MSPFORGE_CLASSIFY
}

#if defined(__x86_64__)
__attribute__((target("avx2,popcnt,pclmul"))) BodyScan scanWithAvx2(
    MgfInput& input, FieldMap& sourceFields, PeakLines& peakLines) {
#define MSPFORGE_CLASSIFY classifyBodyBlockAvx2
#define MSPFORGE_PREFIX_PARITY prefixParityClmul
#include "mgf/body_scan_loop.inc"
#undef MSPFORGE_PREFIX_PARITY
#undef MSPFORGE_CLASSIFY
}
#endif

}  // namespace

BodyScan scanRecordBody(MgfInput& input, FieldMap& sourceFields,
                        PeakLines& peakLines) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2") &&
                           __builtin_cpu_supports("popcnt") &&
                           __builtin_cpu_supports("pclmul");
  if (avx2) return scanWithAvx2(input, sourceFields, peakLines);
#endif
  return scanWithBaseline(input, sourceFields, peakLines);
}

}  // namespace mspforge
