// The machinery of PeakLines, one record's peak lines (see
// mspforge/record_types.h for what the container holds and how long).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "mspforge/field_map.h"

namespace mspforge {

// The lines are kept as runs of adjacent bytes (each line beginning where
// the previous one ended, as peak lines do in an MGF file) and a count, so
// that the reader appends a whole block of peaks at once and the writer
// hands it to the output at once. The reader also notes, line by line,
// what the lines hold that some MSP readers misread: numbers in exponent
// form and a third column.
class PeakLines {
 public:
  void clear() {
    runs_.clear();
    count_ = 0;
    exponentLines_ = 0;
    moreColumnLines_ = 0;
    arena_.clear();
  }

  // Appends one line as a view: the caller keeps its bytes alive and
  // unchanged until the container is cleared.
  void appendView(std::string_view line) { appendRun(line, 1); }

  // Appends lines whole lines, adjacent in memory, as one view.
  void appendRun(std::string_view bytes, std::size_t lines) {
    count_ += lines;
    if (!runs_.empty() && runs_.back().back() == '\n' &&
        runs_.back().data() + runs_.back().size() == bytes.data()) {
      runs_.back() = std::string_view(runs_.back().data(),
                                      runs_.back().size() + bytes.size());
    } else {
      runs_.push_back(bytes);
    }
  }

  // Appends bytes of whole lines, adjacent in memory, as one view, without
  // counting them: the reader counts a record's lines once, with
  // addUsualLines().
  void appendRunBytes(std::string_view bytes) { appendRun(bytes, 0); }

  // Counts lines appended with appendRunBytes(), those of them with a
  // third column and those with a number in exponent form.
  void addUsualLines(std::size_t lines, std::int64_t moreColumnLines,
                     std::int64_t exponentLines) {
    count_ += lines;
    moreColumnLines_ += moreColumnLines;
    exponentLines_ += exponentLines;
  }

  // Appends a copy of one line, kept until clear().
  void append(std::string_view line) { appendView(arena_.copy(line)); }

  // Notes lines that hold a number in exponent form ("1.9e+04") in their
  // first two columns, and lines with a third column.
  void noteForms(std::int64_t exponentLines, std::int64_t moreColumnLines) {
    exponentLines_ += exponentLines;
    moreColumnLines_ += moreColumnLines;
  }
  std::int64_t exponentLines() const { return exponentLines_; }
  std::int64_t moreColumnLines() const { return moreColumnLines_; }

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // The lines as runs of adjacent bytes, in order: their concatenation is
  // the lines' bytes, which is exactly what the MSP writer emits.
  const std::vector<std::string_view>& runs() const { return runs_; }

  // Calls visit with each line, in order, its line feed included (the
  // last line of an input may lack one).
  template <typename Visit>
  void forEachLine(Visit visit) const {
    for (std::string_view run : runs_) {
      while (!run.empty()) {
        const void* lf = std::memchr(run.data(), '\n', run.size());
        const std::size_t length =
            lf == nullptr ? run.size()
                          : static_cast<std::size_t>(
                                static_cast<const char*>(lf) - run.data()) + 1;
        visit(run.substr(0, length));
        run.remove_prefix(length);
      }
    }
  }

 private:
  std::vector<std::string_view> runs_;
  std::size_t count_ = 0;
  std::int64_t exponentLines_ = 0;
  std::int64_t moreColumnLines_ = 0;
  TextArena arena_;  // copies made by append()
};

}  // namespace mspforge
