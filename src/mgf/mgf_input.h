// Line reading over MgfInput (see mspforge/streams.h for what the input
// does with line ends, Ctrl-Z and NUL bytes).
#pragma once

#include <cstddef>
#include <string_view>

#include "mspforge/streams.h"

namespace mspforge {

// Delivers the next line, its LF included (the last line of an input
// without a final line end has none), and in equals the position of its
// first "=" (std::string_view::npos when it has none). The view stays valid
// until the next call. Returns false at the end of the input, and also on a
// read error, after which input.failed is true: callers must tell the two
// apart.
bool readLine(MgfInput& input, std::string_view& line, std::size_t& equals);

inline bool readLine(MgfInput& input, std::string_view& line) {
  std::size_t equals;
  return readLine(input, line, equals);
}

}  // namespace mspforge
