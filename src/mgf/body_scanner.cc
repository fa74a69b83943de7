#include "mgf/body_scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "mgf/block_masks.h"
#include "mgf/mgf_input.h"
#include "mgf/mgf_reader.h"
#include "mgf/peak_threshold.h"

namespace mspforge {
namespace {

constexpr std::string_view kBeginIons = "BEGIN IONS";
constexpr std::string_view kEndIons = "END IONS";

// Whether key is one of IgnoredSourceKeys, looked at only when its length
// is one of theirs.
constexpr bool isIgnoredKey(std::string_view key) {
  for (std::string_view ignored : IgnoredSourceKeys) {
    if (key.size() == ignored.size() && key == ignored) return true;
  }
  return false;
}

// Whether the eight bytes at line are "END IONS".
inline bool startsEndIons(const char* line) {
  static_assert(kEndIons.size() == 8);
  std::uint64_t word;
  std::uint64_t endIons;
  std::memcpy(&word, line, 8);
  std::memcpy(&endIons, kEndIons.data(), 8);
  return word == endIons;
}

// Stores the header line [begin, end) (without its LF) whose first "=" is
// equals bytes in.
inline void storeHeaderLine(const char* begin, const char* end,
                            std::size_t equals, FieldMap& sourceFields) {
  const std::string_view key(begin, equals);
  if (isIgnoredKey(key)) return;
  const char* value = begin + equals + 1;
  const std::string_view text(value, static_cast<std::size_t>(end - value));
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
    const std::size_t lf = line.ends_with('\n') ? 1 : 0;
    storeHeaderLine(line.data(), line.data() + line.size() - lf, equals,
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

// Where the scanner stands at the end of a block whose lines it has all
// taken, in a run of usual peak lines: the block and its masks (lf
// cleared), the start of the line running on past it, the bits of the
// block up to that start, and the column starts. takePeakBlocks moves it
// over the following blocks that are all usual peak lines, counting their
// lines and those with an exponent; a function of its own, so that its
// loop keeps this state in registers.
struct PeakBlocks {
  std::size_t blockAt;
  std::size_t pos;
  std::uint64_t done;
  std::uint64_t columnStarts;
  BlockMasks masks;
  std::size_t lines;
  std::int64_t exponentLines;
};

[[gnu::noinline]] void takePeakBlocks(const char* data, std::size_t end,
                                      PeakBlocks& blocks) {
#define MSPFORGE_CLASSIFY classifyBodyBlock
#define MSPFORGE_PREFIX_PARITY prefixParity
#define MSPFORGE_LEAD_DIGIT_TEST LeadDigitTest{}
#include "mgf/peak_blocks.inc"
#undef MSPFORGE_LEAD_DIGIT_TEST
#undef MSPFORGE_PREFIX_PARITY
#undef MSPFORGE_CLASSIFY
}

#if defined(__x86_64__)
[[gnu::noinline]] __attribute__((target("avx2,popcnt,pclmul,bmi,bmi2"))) void
takePeakBlocksAvx2(const char* data, std::size_t end, PeakBlocks& blocks) {
#define MSPFORGE_CLASSIFY classifyBodyBlockAvx2
#define MSPFORGE_PREFIX_PARITY prefixParityClmul
#define MSPFORGE_LEAD_DIGIT_TEST leadDigitTestAvx2()
#include "mgf/peak_blocks.inc"
#undef MSPFORGE_LEAD_DIGIT_TEST
#undef MSPFORGE_PREFIX_PARITY
#undef MSPFORGE_CLASSIFY
}
#endif

// Where the scanner stands at the end of a block whose lines it has all
// taken, outside any run of peak lines: as PeakBlocks, with where the
// first "=" of the line running on past the block stands, if in this
// block or one before (kNoLineEquals if not). takeHeaderBlocks moves it
// over the following blocks of header lines, storing them, and stops at
// the first line that is not one, midBlock then set when it has taken
// lines of the block it stopped in; runsOn when the line running on past
// the block it stopped in began in an earlier one, with its "=" there.
inline constexpr std::size_t kNoLineEquals = static_cast<std::size_t>(-1);

struct HeaderBlocks {
  std::size_t blockAt;
  std::size_t pos;
  std::size_t lineEquals;
  std::uint64_t done;
  std::uint64_t columnStarts;
  BlockMasks masks;
  std::uint64_t lines;
  bool midBlock;
  bool runsOn;
};

[[gnu::noinline]] void takeHeaderBlocks(const char* data, std::size_t end,
                                        HeaderBlocks& blocks,
                                        FieldMap& sourceFields) {
#define MSPFORGE_CLASSIFY classifyBodyBlock
#define MSPFORGE_CLASSIFY_HEADERS classifyHeaderBlock
#include "mgf/header_blocks.inc"
#undef MSPFORGE_CLASSIFY_HEADERS
#undef MSPFORGE_CLASSIFY
}

#if defined(__x86_64__)
[[gnu::noinline]] __attribute__((target("avx2,popcnt,pclmul,bmi,bmi2"))) void
takeHeaderBlocksAvx2(const char* data, std::size_t end, HeaderBlocks& blocks,
                     FieldMap& sourceFields) {
#define MSPFORGE_CLASSIFY classifyBodyBlockAvx2
#define MSPFORGE_CLASSIFY_HEADERS classifyHeaderBlockAvx2
#include "mgf/header_blocks.inc"
#undef MSPFORGE_CLASSIFY_HEADERS
#undef MSPFORGE_CLASSIFY
}
#endif

// The scanner, compiled with the baseline classifier of the platform, and
// on x86-64 a second time with the AVX2 one: the loop lives in
// body_scan_loop.inc so that each copy is compiled for its instruction set
// as a whole, its masks in registers.
BodyScan scanWithBaseline(MgfInput& input, FieldMap& sourceFields,
                          PeakLines& peakLines) {
#define MSPFORGE_CLASSIFY classifyBodyBlock
#define MSPFORGE_TAKE_PEAK_BLOCKS takePeakBlocks
#define MSPFORGE_TAKE_HEADER_BLOCKS takeHeaderBlocks
#include "mgf/body_scan_loop.inc"
#undef MSPFORGE_TAKE_HEADER_BLOCKS
#undef MSPFORGE_TAKE_PEAK_BLOCKS
#undef MSPFORGE_CLASSIFY
}

#if defined(__x86_64__)
__attribute__((target("avx2,popcnt,pclmul,bmi,bmi2"))) BodyScan scanWithAvx2(
    MgfInput& input, FieldMap& sourceFields, PeakLines& peakLines) {
#define MSPFORGE_CLASSIFY classifyBodyBlockAvx2
#define MSPFORGE_TAKE_PEAK_BLOCKS takePeakBlocksAvx2
#define MSPFORGE_TAKE_HEADER_BLOCKS takeHeaderBlocksAvx2
#include "mgf/body_scan_loop.inc"
#undef MSPFORGE_TAKE_HEADER_BLOCKS
#undef MSPFORGE_TAKE_PEAK_BLOCKS
#undef MSPFORGE_CLASSIFY
}
#endif

}  // namespace

BodyScan scanRecordBody(MgfInput& input, FieldMap& sourceFields,
                        PeakLines& peakLines) {
#if defined(__x86_64__)
  static const bool avx2 =
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
      __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("bmi") &&
      __builtin_cpu_supports("bmi2");
  if (avx2) return scanWithAvx2(input, sourceFields, peakLines);
#endif
  return scanWithBaseline(input, sourceFields, peakLines);
}

}  // namespace mspforge
