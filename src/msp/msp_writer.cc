#include <charconv>

#include "msp/msp_output.h"
#include "mspforge/mspforge.h"

namespace mspforge {

void writeMspRecord(MspOutput& output, const CompoundName& compoundName,
                    const FieldMap& libraryFields,
                    const FieldMap& commentFields, const PeakLines& peakLines) {
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
  put(output, '\n');
  put(output, "Num Peaks: ");
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits,
                                 peakLines.size());
  (void)ec;  // 24 bytes hold any 64-bit count
  put(output, std::string_view(digits, static_cast<std::size_t>(end - digits)));
  put(output, '\n');
  put(output, peakLines.bytes());
  put(output, '\n');
  flushIfFull(output);
}

}  // namespace mspforge
