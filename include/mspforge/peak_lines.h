// The machinery of PeakLines, one record's peak lines (see
// mspforge/record_types.h for what the container holds and how long).
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "mspforge/field_map.h"

namespace mspforge {

// Lines are views. Adjacent lines (each beginning where the previous one
// ended, as peak lines do in an MGF file) are also gathered into runs, so
// that the writer hands a whole block of peaks to the output at once.
class PeakLines {
 public:
  void clear() {
    lines_.clear();
    runs_.clear();
    arena_.clear();
  }

  // Appends one line as a view: the caller keeps its bytes alive and
  // unchanged until the container is cleared. The reader calls it for
  // nearly every line of an MGF file.
  void appendView(std::string_view line) {
    lines_.push_back(line);
    if (!runs_.empty() &&
        runs_.back().data() + runs_.back().size() == line.data()) {
      runs_.back() = std::string_view(runs_.back().data(),
                                      runs_.back().size() + line.size());
    } else {
      runs_.push_back(line);
    }
  }

  // Appends a copy of one line, kept until clear().
  void append(std::string_view line) { appendView(arena_.copy(line)); }

  std::size_t size() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  std::string_view operator[](std::size_t i) const { return lines_[i]; }

  // The lines as runs of adjacent bytes, in order: their concatenation is
  // the lines' bytes, which is exactly what the MSP writer emits.
  const std::vector<std::string_view>& runs() const { return runs_; }

 private:
  std::vector<std::string_view> lines_;
  std::vector<std::string_view> runs_;
  TextArena arena_;  // copies made by append()
};

}  // namespace mspforge
