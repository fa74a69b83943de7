#include "mgf/input_text.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace mspforge {
namespace {

constexpr char kEndOfFileMark = 0x1A;

// Whether [data, data + n) holds a CR or a 0x1A: two searches.
bool holdsCrOrMarkPlain(const char* data, std::size_t n) {
  return std::memchr(data, '\r', n) != nullptr ||
         std::memchr(data, kEndOfFileMark, n) != nullptr;
}

#if defined(__x86_64__)
// The same in one pass with AVX2, 256 bytes a step: a byte is a CR or a
// 0x1A when it equals the entry of the table at its low four bits (0x0D at
// 13, 0x1A at 10; 0xFF, which no byte below 0x80 equals, elsewhere; a byte
// from 0x80 up looks up 0).
__attribute__((target("avx2"))) bool holdsCrOrMarkAvx2(const char* data,
                                                       std::size_t n) {
  const __m256i table = _mm256_setr_epi8(
      -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0x1A, -1, -1, 0x0D, -1, -1, -1,
      -1, -1, -1, -1, -1, -1, -1, -1, -1, 0x1A, -1, -1, 0x0D, -1, -1);
  constexpr std::size_t kStep = 256;
  const char* const end = data + n;
  for (; end - data >= static_cast<std::ptrdiff_t>(kStep); data += kStep) {
    __m256i any = _mm256_setzero_si256();
    for (std::size_t k = 0; k < kStep; k += 32) {
      const __m256i bytes =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k));
      any = _mm256_or_si256(
          any, _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, bytes), bytes));
    }
    if (!_mm256_testz_si256(any, any)) return true;
  }
  return holdsCrOrMarkPlain(data, static_cast<std::size_t>(end - data));
}
#endif

bool holdsCrOrMark(const char* data, std::size_t n) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return holdsCrOrMarkAvx2(data, n);
#endif
  return holdsCrOrMarkPlain(data, n);
}

}  // namespace

void stopAtEndOfFileMark(MgfInput& input, std::size_t from) {
  if (from >= input.end) return;
  const void* mark =
      std::memchr(input.data + from, kEndOfFileMark, input.end - from);
  if (mark != nullptr) {
    input.end =
        static_cast<std::size_t>(static_cast<const char*>(mark) - input.data);
    input.atEnd = true;
    input.endMarkSeen = true;
  }
}

void foldCrLf(MgfInput& input, std::size_t from) {
  std::size_t scan = from > 0 ? from - 1 : 0;
  char* const data = input.data;
  std::size_t write = scan;
  std::size_t read = scan;
  const std::size_t end = input.end;
  for (;;) {
    const void* cr =
        read < end ? std::memchr(data + read, '\r', end - read) : nullptr;
    const std::size_t at =
        cr == nullptr
            ? end
            : static_cast<std::size_t>(static_cast<const char*>(cr) - data);
    // Keep [read, at) and, when a pair starts at `at`, its LF alone.
    if (write != read && at > read) {
      std::memmove(data + write, data + read, at - read);
    }
    write += at - read;
    if (cr == nullptr) break;
    if (at + 1 < end && data[at + 1] == '\n') {
      data[write++] = '\n';
      read = at + 2;
    } else {
      data[write++] = '\r';
      read = at + 1;
    }
  }
  input.end = write;
}

void settleNewBytes(MgfInput& input, std::size_t from) {
  // A CR just before `from` may pair with an LF just after it.
  const bool crBefore = from > 0 && input.data[from - 1] == '\r';
  if (from < input.end &&
      (crBefore || holdsCrOrMark(input.data + from, input.end - from))) {
    stopAtEndOfFileMark(input, from);
    foldCrLf(input, from);
  }
}

}  // namespace mspforge
