// Writes records in the capital layouts of library_layouts.h (MS-DIAL,
// matchms, OpenMS); the NIST layout is writeMspRecord's.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "msp/library_layouts.h"
#include "mspforge/mspforge.h"

namespace mspforge {

// One output's writer: what a layout keeps from record to record (the
// names written, where names must be unique) lives here.
class LayoutWriter {
 public:
  explicit LayoutWriter(LibraryLayout layout);

  // Appends one accepted record in the layout:
  //   NAME: the compound name (made unique where the layout asks)
  //   KEY: value          each line of the layout that has a value
  //   COMMENTS: "KEY=value" ...   every other header field, key order
  //   Num Peaks: the peak lines written
  //   the peak lines as "mz intensity"
  //   an empty line
  // sourceFields gives the header lines as read, for the fields that have
  // no line of their own (MSLEVEL, MS_IONISATION ...). A peak line whose
  // numbers cannot be written in plain digits is left out and counted in
  // peakLinesLeftOut. Returns false, writing nothing, when no peak line is
  // left.
  bool write(MspOutput& output, const CompoundName& compoundName,
             const FieldMap& libraryFields, const FieldMap& commentFields,
             const FieldMap& sourceFields, const PeakLines& peakLines,
             std::int64_t& peakLinesLeftOut);

 private:
  // The name as written: a repeated one gets " #2", " #3" ...
  std::string uniqueName(const std::string& name);

  const LibraryLayoutRow& layoutRow_;
  std::unordered_map<std::string, std::int64_t> names_;  // name -> next #
  std::string peaks_;                                   // scratch
  std::vector<Field> comments_;                         // scratch
  std::vector<std::string_view> used_;                  // scratch
};

// A comment pair as the capital layouts write it: "KEY=value", in quotes.
// matchms turns every "'" into '"' before it splits the pairs at quotes, so
// a quote inside a key or value is written as the prime it stands for in a
// chemical name: "'" as U+2032 (5′-AMP), '"' as U+2033.
void appendQuotedPair(std::string& out, std::string_view key,
                      std::string_view value);

}  // namespace mspforge
