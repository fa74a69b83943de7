#include "mgf/mgf_reader.h"

#include <algorithm>

#include "mgf/mgf_input.h"
#include "mgf/peak_threshold.h"

namespace mspforge {
namespace {

constexpr std::string_view kBeginIons = "BEGIN IONS";
constexpr std::string_view kEndIons = "END IONS";

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
  sourceFields.set(key, value);
}

}  // namespace

bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines) {
  sourceFields.clear();
  peakLines.clear();
  std::string_view line;
  std::size_t equals;
  do {
    if (!readLine(input, line, equals)) return false;
  } while (!line.starts_with(kBeginIons));

  // Peak lines follow one another in the input, so they are copied a run
  // at a time: [run, run + runLength) in the input buffer, noted line by
  // line in peakLines and appended when the run breaks, before the buffer
  // moves (reading a line that is not yet whole in it) and at the record's
  // end.
  const char* run = nullptr;
  std::size_t runLength = 0;
  auto appendRun = [&] {
    if (runLength != 0) peakLines.appendNoted(std::string_view(run, runLength));
    runLength = 0;
  };
  for (;;) {
    if (!readWholeLine(input, line, equals)) {
      appendRun();
      if (!readLineSlowly(input, line, equals)) return false;
    }
    if (equals != std::string_view::npos) {
      storeHeaderLine(line, equals, sourceFields);
    } else if (line.starts_with(kEndIons)) {
      appendRun();
      return true;
    } else if (leadingNumberAtLeastOne(line)) {
      if (line.data() != run + runLength) {
        appendRun();
        run = line.data();
      }
      runLength += line.size();
      peakLines.noteLine(line.size());
    }
  }
}

}  // namespace mspforge
