// The reading layer's work on the bytes of MGF text as they arrive: an
// end-of-file mark (0x1A) ends the text, and each CR LF pair becomes a
// lone LF, so that the reader sees neither.
#pragma once

#include <cstddef>

#include "mgf/mgf_input.h"

namespace mspforge {

// Cuts the bytes at hand at a 0x1A among those from `from` on.
void stopAtEndOfFileMark(MgfInput& input, std::size_t from);

// Turns each CR LF pair among the bytes from `from` on into a lone LF,
// moving the bytes after it down, so that a buffer holds no CR LF pair and
// a line read twice (a record read again after a refill) reads the same.
// The pair may straddle the earlier bytes and the new ones.
void foldCrLf(MgfInput& input, std::size_t from);

// Both, for the bytes from `from` on just read: most text holds neither a
// CR nor a 0x1A, which one look over the bytes tells.
void settleNewBytes(MgfInput& input, std::size_t from);

}  // namespace mspforge
