#include "mgf/body_scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
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
// 64-byte block: its LFs, the bytes that make a line other than a plain
// peak line ("=" of a header line, "e" or "E" of an exponent), and the
// separators, from which the starts of columns follow.
struct BlockMasks {
  std::uint64_t lf;
  std::uint64_t special;
  std::uint64_t separator;
};

inline BlockMasks classifyBodyBlock(const char* block) {
  BlockMasks m{0, 0, 0};
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
    m.special |= bits(_mm_or_si128(
        _mm_cmpeq_epi8(bytes, equalsSign),
        _mm_cmpeq_epi8(_mm_or_si128(bytes, space), smallE)));
    m.separator |= bits(_mm_cmpeq_epi8(_mm_min_epu8(bytes, space), bytes));
  }
#elif defined(__ARM_NEON)
  // No movemask: each comparison is narrowed to a 64-bit word of nibbles,
  // and the bits are gathered from it.
  const auto bits = [](uint8x16_t matches) {
    std::uint64_t m = vget_lane_u64(
        vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(matches), 4)), 0);
    m &= 0x1111111111111111u;
    m = (m | (m >> 3)) & 0x0303030303030303u;
    m = (m | (m >> 6)) & 0x000F000F000F000Fu;
    m = (m | (m >> 12)) & 0x000000FF000000FFu;
    m = (m | (m >> 24)) & 0x000000000000FFFFu;
    return m;
  };
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const uint8x16_t bytes =
        vld1q_u8(reinterpret_cast<const std::uint8_t*>(block + shift));
    m.lf |= bits(vceqq_u8(bytes, vdupq_n_u8('\n'))) << shift;
    m.special |= bits(vorrq_u8(vceqq_u8(bytes, vdupq_n_u8('=')),
                               vceqq_u8(vorrq_u8(bytes, vdupq_n_u8(0x20)),
                                        vdupq_n_u8('e'))))
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
    m.special |= bits(wasm_v128_or(
        wasm_i8x16_eq(bytes, wasm_i8x16_splat('=')),
        wasm_i8x16_eq(wasm_v128_or(bytes, wasm_i8x16_splat(0x20)),
                      wasm_i8x16_splat('e'))));
    m.separator |= bits(wasm_u8x16_le(bytes, wasm_i8x16_splat(0x20)));
  }
#else
  for (std::size_t i = 0; i < kScanBlock; ++i) {
    const char c = block[i];
    m.lf |= static_cast<std::uint64_t>(c == '\n') << i;
    m.special |= static_cast<std::uint64_t>(c == '=' || (c | 0x20) == 'e')
                 << i;
    m.separator |= static_cast<std::uint64_t>(isSeparator(c)) << i;
  }
#endif
  return m;
}

// The bits below position p of a block.
inline std::uint64_t bitsBelow(unsigned p) {
  return p >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << p) - 1;
}

void storeHeaderLine(std::string_view line, std::size_t equals,
                     FieldMap& sourceFields) {
  std::string_view key = line.substr(0, equals);
  if (std::find(IgnoredSourceKeys.begin(), IgnoredSourceKeys.end(), key) !=
      IgnoredSourceKeys.end()) {
    return;
  }
  std::string_view value = line.substr(equals + 1);
  if (!value.empty() && value.back() == '\n') value.remove_suffix(1);
  if (value == NotAvailableValue) return;
  sourceFields.setView(key, value);
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

RecordLine sortRecordLine(std::string_view line, FieldMap& sourceFields,
                          PeakLines& peakLines) {
  // A "BEGIN IONS" line always begins a record, "=" or not.
  if (line.starts_with(kBeginIons)) return RecordLine::BeginIons;
  const void* equals = std::memchr(line.data(), '=', line.size());
  if (equals != nullptr) {
    storeHeaderLine(line,
                    static_cast<std::size_t>(static_cast<const char*>(equals) -
                                             line.data()),
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

BodyScan scanRecordBody(MgfInput& input, FieldMap& sourceFields,
                        PeakLines& peakLines) {
  const char* const data = input.data;
  const std::size_t end = input.end;
  std::size_t pos = input.begin;  // where the current line starts
  std::uint64_t lines = 0;
  // The run of usual peak lines being gathered, appended when it breaks.
  std::size_t runStart = pos;
  std::size_t runEnd = pos;
  std::size_t runLines = 0;
  std::int64_t moreColumns = 0;
  const auto appendRun = [&] {
    if (runLines == 0) return;
    peakLines.appendRun(std::string_view(data + runStart, runEnd - runStart),
                        runLines);
    runLines = 0;
  };
  const auto stop = [&](BodyScan::Stop why, std::size_t lineStart,
                        std::size_t next) {
    appendRun();
    peakLines.noteForms(0, moreColumns);
    input.begin = next;
    input.scanFrom = static_cast<std::size_t>(-1);
    return BodyScan{why, lineStart, lines};
  };
  if (data == nullptr || pos >= end) {
    return stop(BodyScan::NeedBytes, pos, pos);
  }

  // The buffer starts at an aligned address and its blocks lie inside it.
  std::size_t blockAt = pos & ~(kScanBlock - 1);
  BlockMasks m;
  std::uint64_t columnStarts;
  const auto classify = [&] {
    m = classifyBodyBlock(data + blockAt);
    if (end - blockAt < kScanBlock) {
      m.lf &= bitsBelow(static_cast<unsigned>(end - blockAt));
    }
    // A column starts at a byte that is no separator after one that is.
    const std::uint64_t before =
        blockAt == 0 ? 1 : (isSeparator(data[blockAt - 1]) ? 1 : 0);
    columnStarts = ~m.separator & ((m.separator << 1) | before);
  };
  classify();
  unsigned from = static_cast<unsigned>(pos - blockAt);
  m.lf &= ~bitsBelow(from);  // the line ends of lines already taken
  // What the current line holds in the blocks before this one.
  bool lineSpecial = false;
  unsigned lineColumns = 0;
  for (;;) {
    if (m.lf == 0) {
      // The line runs on past this block.
      const std::uint64_t rest = ~bitsBelow(from);
      lineSpecial = lineSpecial || (m.special & rest) != 0;
      lineColumns += static_cast<unsigned>(std::popcount(columnStarts & rest));
      blockAt += kScanBlock;
      from = 0;
      if (blockAt >= end) return stop(BodyScan::NeedBytes, pos, pos);
      classify();
      continue;
    }
    const unsigned p = static_cast<unsigned>(std::countr_zero(m.lf));
    const std::uint64_t range = bitsBelow(p) & ~bitsBelow(from);
    const std::size_t lineEnd = blockAt + p + 1;
    ++lines;
    const unsigned first = static_cast<unsigned char>(data[pos]);
    if (!lineSpecial && (m.special & range) == 0 && first - '1' < 9u) {
      // The usual peak line: a first digit from 1 to 9, no "=" and no
      // exponent, so its number is at least 1.
      const unsigned columns =
          lineColumns +
          static_cast<unsigned>(std::popcount(columnStarts & range));
      moreColumns += columns > 2 ? 1 : 0;
      if (runLines != 0 && runEnd == pos) {
        runEnd = lineEnd;
        ++runLines;
      } else {
        appendRun();
        runStart = pos;
        runEnd = lineEnd;
        runLines = 1;
      }
    } else {
      appendRun();
      switch (sortRecordLine(std::string_view(data + pos, lineEnd - pos),
                             sourceFields, peakLines)) {
        case RecordLine::EndIons:
          return stop(BodyScan::EndIons, pos, lineEnd);
        case RecordLine::BeginIons:
          return stop(BodyScan::BeginIons, pos, lineEnd);
        default:
          break;
      }
    }
    m.lf &= m.lf - 1;
    from = p + 1;
    pos = lineEnd;
    lineSpecial = false;
    lineColumns = 0;
  }
}

}  // namespace mspforge
