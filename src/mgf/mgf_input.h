// Line reading over MgfInput (see mspforge/streams.h for what the input
// does with line ends, Ctrl-Z and NUL bytes, and how long lines stay valid).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "mspforge/streams.h"

namespace mspforge {

// Why a regular file ended before the bytes it held when it was opened.
inline constexpr std::string_view kCutShort =
    "the file was cut short or rewritten while it was read";

// Input bytes are classified 64 at a time: a 64-bit mask of the LF bytes
// and one of the "=" bytes of an aligned block, from which lines are taken
// one after another without looking at their bytes again. A buffer starts
// at an aligned address and is followed by a block of padding, so that the
// aligned blocks around its bytes lie inside it; bits past end are
// cleared.
inline constexpr std::size_t kScanBlock = 64;

#if defined(__ARM_NEON) && !defined(__SSE2__)
// NEON has no movemask: a 16-byte comparison is narrowed to a 64-bit word
// of nibbles (4 bits per byte), and one bit per byte is gathered from it.
inline std::uint64_t neonMatchBits(uint8x16_t matches) {
  std::uint64_t m = vget_lane_u64(
      vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(matches), 4)), 0);
  m &= 0x1111111111111111u;
  m = (m | (m >> 3)) & 0x0303030303030303u;
  m = (m | (m >> 6)) & 0x000F000F000F000Fu;
  m = (m | (m >> 12)) & 0x000000FF000000FFu;
  m = (m | (m >> 24)) & 0x000000000000FFFFu;
  return m;
}
#endif

inline void classifyBlock(const char* block, std::uint64_t& lf,
                          std::uint64_t& equals) {
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i equalsSign = _mm_set1_epi8('=');
  std::uint64_t lfMask = 0;
  std::uint64_t equalsMask = 0;
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const __m128i bytes =
        _mm_load_si128(reinterpret_cast<const __m128i*>(block + shift));
    lfMask |= static_cast<std::uint64_t>(static_cast<unsigned>(
                  _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))))
              << shift;
    equalsMask |= static_cast<std::uint64_t>(static_cast<unsigned>(
                      _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, equalsSign))))
                  << shift;
  }
  lf = lfMask;
  equals = equalsMask;
#elif defined(__ARM_NEON)
  const uint8x16_t newline = vdupq_n_u8('\n');
  const uint8x16_t equalsSign = vdupq_n_u8('=');
  std::uint64_t lfMask = 0;
  std::uint64_t equalsMask = 0;
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const uint8x16_t bytes =
        vld1q_u8(reinterpret_cast<const std::uint8_t*>(block + shift));
    lfMask |= neonMatchBits(vceqq_u8(bytes, newline)) << shift;
    equalsMask |= neonMatchBits(vceqq_u8(bytes, equalsSign)) << shift;
  }
  lf = lfMask;
  equals = equalsMask;
#elif defined(__wasm_simd128__)
  const v128_t newline = wasm_i8x16_splat('\n');
  const v128_t equalsSign = wasm_i8x16_splat('=');
  std::uint64_t lfMask = 0;
  std::uint64_t equalsMask = 0;
  for (unsigned shift = 0; shift < 64; shift += 16) {
    const v128_t bytes = wasm_v128_load(block + shift);
    lfMask |= static_cast<std::uint64_t>(
                  wasm_i8x16_bitmask(wasm_i8x16_eq(bytes, newline)))
              << shift;
    equalsMask |= static_cast<std::uint64_t>(
                      wasm_i8x16_bitmask(wasm_i8x16_eq(bytes, equalsSign)))
                  << shift;
  }
  lf = lfMask;
  equals = equalsMask;
#else
  // Portable: a byte at a time, which compilers turn into vector code.
  std::uint64_t lfMask = 0;
  std::uint64_t equalsMask = 0;
  for (std::size_t i = 0; i < kScanBlock; ++i) {
    lfMask |= static_cast<std::uint64_t>(block[i] == '\n') << i;
    equalsMask |= static_cast<std::uint64_t>(block[i] == '=') << i;
  }
  lf = lfMask;
  equals = equalsMask;
#endif
}

// The bits of a block at position `from` within it and after.
inline std::uint64_t bitsFrom(unsigned from) {
  return from >= 64 ? 0 : ~std::uint64_t{0} << from;
}

// Takes lines off the bytes at hand. A scanner is a copy of the input's
// place that lives in registers while lines are read (the input is reached
// through a reference that every byte written might alias); store() hands
// the place back.
struct LineScanner {
  const char* data;
  std::size_t begin;
  std::size_t end;
  const char* block;
  std::uint64_t lfBits;
  std::uint64_t equalsBits;

  explicit LineScanner(const MgfInput& input)
      : data(input.data),
        begin(input.begin),
        end(input.end),
        block(input.scanBlock),
        lfBits(input.lfBits),
        equalsBits(input.equalsBits) {
    if (input.scanFrom != begin && data != nullptr) scanBlockAt(begin);
  }

  void store(MgfInput& input) const {
    input.begin = begin;
    input.scanBlock = block;
    input.lfBits = lfBits;
    input.equalsBits = equalsBits;
    input.scanFrom = begin;
  }

  // Classifies the block that holds data + position, keeping the bits
  // from position on and before end.
  void scanBlockAt(std::size_t position) {
    const char* at = data + position;
    block = at - (reinterpret_cast<std::uintptr_t>(at) & (kScanBlock - 1));
    lfBits = 0;
    equalsBits = 0;
    const char* stop = data + end;
    if (block < stop) {
      classifyBlock(block, lfBits, equalsBits);
      std::uint64_t keep = bitsFrom(static_cast<unsigned>(at - block));
      const std::size_t left = static_cast<std::size_t>(stop - block);
      if (left < 64) keep &= ~bitsFrom(static_cast<unsigned>(left));
      lfBits &= keep;
      equalsBits &= keep;
    }
  }

  // The next line if it is whole among the bytes at hand, its LF included,
  // and in equals the position of its first "=" (npos when it has none).
  // False, with nothing consumed, when it is not.
  bool next(std::string_view& line, std::size_t& equals) {
    if (data == nullptr) return false;
    const char* start = data + begin;
    const char* equalsAt = nullptr;
    while (lfBits == 0) {
      if (equalsAt == nullptr && equalsBits != 0) {
        equalsAt = block + __builtin_ctzll(equalsBits);
      }
      const char* following = block + kScanBlock;
      if (following >= data + end) {
        scanBlockAt(begin);  // nothing consumed: the place stays at begin
        return false;
      }
      scanBlockAt(static_cast<std::size_t>(following - data));
    }
    const unsigned at = static_cast<unsigned>(__builtin_ctzll(lfBits));
    const std::uint64_t before = (std::uint64_t{1} << at) - 1;
    if (equalsAt == nullptr && (equalsBits & before) != 0) {
      equalsAt = block + __builtin_ctzll(equalsBits & before);
    }
    // The line's bits are spent; the rest of the block's stay.
    lfBits &= lfBits - 1;
    equalsBits &= ~before << 1;
    const char* lf = block + at;
    const std::size_t length = static_cast<std::size_t>(lf - start) + 1;
    begin += length;
    line = std::string_view(start, length);
    equals = equalsAt == nullptr ? std::string_view::npos
                                 : static_cast<std::size_t>(equalsAt - start);
    return true;
  }
};

// Delivers the next line if it is whole among the bytes at hand (see
// LineScanner::next). False, with nothing consumed, when it is not; then
// either more input is needed (moreInput) or, at the end, the last line
// lacks its LF (takeLastLine).
inline bool readWholeLine(MgfInput& input, std::string_view& line,
                          std::size_t& equals) {
  LineScanner scanner(input);
  const bool whole = scanner.next(line, equals);
  scanner.store(input);
  return whole;
}

// An input over a copy of bytes that are MGF text already read: their CR
// LF pairs folded, cut at a 0x1A, a byte-order mark skipped. Nothing more
// will come. For a part of a larger input converted on its own.
MgfInput mgfInputFromText(std::string_view bytes);

// Hands over the bytes at hand before cut as an input of their own, and
// leaves input the bytes from cut on, copying whichever are fewer: the
// part takes input's buffer, and input the bytes after it; or the part
// takes a copy of its bytes. The copy goes into spare, which is then
// empty, unless spare is smaller than a block or than the bytes: a new
// buffer is made for them and spare is left as it was.
MgfInput takeBytesBefore(MgfInput& input, std::size_t cut, InputBuffer& spare);

// Moves input past the rest of the line it stands in, without keeping its
// bytes (it may be longer than memory): true when it stands at the start
// of the next line, false when the input ended (or failed) first.
bool skipToNextLine(MgfInput& input);

// Makes more bytes available once those at hand are all delivered or hold
// no whole line. The bytes from keep on are kept, and keep is updated to
// where they now stand; the bytes before keep are released, and every view
// of the input is invalid afterwards. Sets input.atEnd (and input.failed on
// a read error, or on a regular file that ends before the bytes it held
// when it was opened) when no more will come.
void moreInput(MgfInput& input, std::size_t& keep);

// At the end of the input: delivers what is left after the last LF as the
// last line, without a line end. False when nothing is left, or when a read
// error ended the input.
bool takeLastLine(MgfInput& input, std::string_view& line,
                  std::size_t& equals);

// Delivers the next line as readWholeLine does, reading more input as
// needed; the line is valid until the next call. False at the end of the
// input, and also on a read error, after which input.failed is true.
bool readLine(MgfInput& input, std::string_view& line, std::size_t& equals);

inline bool readLine(MgfInput& input, std::string_view& line) {
  std::size_t equals;
  return readLine(input, line, equals);
}

}  // namespace mspforge
