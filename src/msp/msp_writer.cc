#include <algorithm>
#include <charconv>
#include <cstring>

#include "msp/msp_output.h"
#include "mspforge/mspforge.h"

namespace mspforge {
namespace {

// Copies bytes to at and returns the position after them. Keys and most
// values are short: those are copied as two words that may overlap, in
// place, rather than through a call.
inline char* copy(char* at, std::string_view bytes) {
  const std::size_t n = bytes.size();
  const char* from = bytes.data();
  if (n >= 8 && n <= 16) {
    std::memcpy(at, from, 8);
    std::memcpy(at + n - 8, from + n - 8, 8);
  } else if (n >= 4 && n < 8) {
    std::memcpy(at, from, 4);
    std::memcpy(at + n - 4, from + n - 4, 4);
  } else if (n > 16) {
    std::memcpy(at, from, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) at[i] = from[i];
  }
  return at + n;
}

// The record up to its peak lines, piece by piece through put(): for a
// record holding a piece so large that it is written straight through.
void writeHeadPieceByPiece(MspOutput& output, const CompoundName& compoundName,
                           const FieldMap& libraryFields,
                           const FieldMap& commentFields,
                           std::string_view peakCount) {
  put(output, "Name: ");
  put(output, compoundName);
  put(output, '\n');
  for (const Field& field : libraryFields) {
    put(output, field.key);
    put(output, ": ");
    put(output, field.value);
    put(output, '\n');
  }
  put(output, "Comments:");
  for (const Field& field : commentFields) {
    put(output, ' ');
    put(output, field.key);
    put(output, '=');
    put(output, field.value);
  }
  put(output, "\nNum Peaks: ");
  put(output, peakCount);
  put(output, '\n');
}

// Whether the name, a library value, or a comment's key or value is at
// least size bytes long.
bool holdsPieceOf(std::size_t size, const CompoundName& compoundName,
                  const FieldMap& libraryFields, const FieldMap& commentFields) {
  if (compoundName.size() >= size) return true;
  for (const Field& field : libraryFields) {
    if (field.value.size() >= size) return true;
  }
  for (const Field& field : commentFields) {
    if (field.key.size() >= size || field.value.size() >= size) return true;
  }
  return false;
}

}  // namespace

void writeMspRecord(MspOutput& output, const CompoundName& compoundName,
                    const FieldMap& libraryFields,
                    const FieldMap& commentFields, const PeakLines& peakLines) {
  char digits[24];
  auto [digitsEnd, ec] = std::to_chars(digits, digits + sizeof digits,
                                       peakLines.size());
  (void)ec;  // 24 bytes hold any 64-bit count
  const std::string_view peakCount(
      digits, static_cast<std::size_t>(digitsEnd - digits));

  // The lines before the peaks are sized first and copied in one go.
  constexpr std::string_view kName = "Name: ";
  constexpr std::string_view kComments = "\nComments:";
  constexpr std::string_view kNumPeaks = "\nNum Peaks: ";
  std::size_t size = kName.size() + compoundName.size() + kComments.size() +
                     kNumPeaks.size() + peakCount.size() + 1;
  size += libraryFields.textSize(3) + commentFields.textSize(2);
  if (size >= kDirectWriteSize && output.fd >= 0 &&
      holdsPieceOf(kDirectWriteSize, compoundName, libraryFields,
                   commentFields)) {
    writeHeadPieceByPiece(output, compoundName, libraryFields, commentFields,
                          peakCount);
  } else {
    const std::size_t at = output.text.size();
    output.text.resize(at + size);
    char* p = output.text.data() + at;
    p = copy(p, kName);
    p = copy(p, compoundName);
    libraryFields.forEachInKeyOrder([&p](const Field& field) {
      *p++ = '\n';
      p = copy(p, field.key);
      *p++ = ':';
      *p++ = ' ';
      p = copy(p, field.value);
    });
    p = copy(p, kComments);
    commentFields.forEachInKeyOrder([&p](const Field& field) {
      *p++ = ' ';
      p = copy(p, field.key);
      *p++ = '=';
      p = copy(p, field.value);
    });
    p = copy(p, kNumPeaks);
    p = copy(p, peakCount);
    *p = '\n';
  }
  for (std::string_view run : peakLines.runs()) put(output, run);
  put(output, '\n');
  flushIfFull(output);
}

}  // namespace mspforge
