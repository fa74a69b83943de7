// MGF input as it is shipped: plain text, gzip-compressed (GNPS and
// MassBank libraries often are), or UTF-16 text as Windows' "Unicode"
// saves it. The first bytes tell which, whatever the file's name; the
// bytes are decoded as they are read, in constant memory, and the reader
// sees plain MGF text.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mspforge/streams.h"

namespace mspforge {

enum class InputEncoding {
  Plain,
  Gzip,               // 1F 8B: one or more gzip members
  Utf16LittleEndian,  // FF FE
  Utf16BigEndian,     // FE FF
};

// What was learnt of an input from its first bytes: how it is encoded
// (the outer encoding, and the one inside a gzip stream), and its first
// bytes as they were stored, for telling the user what a file without any
// record might be.
struct InputProbe {
  InputEncoding outer = InputEncoding::Plain;
  InputEncoding inner = InputEncoding::Plain;  // inside gzip, else Plain
  std::string head;                            // up to kProbeHeadBytes
};

inline constexpr std::size_t kProbeHeadBytes = 64;

// True when this build can decompress gzip (the web build cannot: the
// page decompresses with the browser before it feeds the conversion).
bool canDecompressGzip();

// An input over the open descriptor fd from its current position: a plain
// regular file is read as mgfInputFromFd reads it; gzip and UTF-16 input,
// and anything that is not a regular file, are read in blocks and decoded.
// A corrupt or truncated gzip stream ends the input as a read error, with
// the reason in input.failure. probe receives what the first bytes told.
MgfInput openMgfInput(int fd, std::shared_ptr<const InputProbe>& probe);

// An input over the bytes reader delivers (see MgfInput::reader), decoded
// as openMgfInput decodes them: for MGF text that arrives in pieces.
MgfInput decodingInputFromReader(
    std::function<std::ptrdiff_t(char*, std::size_t)> reader,
    std::shared_ptr<const InputProbe>* probe = nullptr);

// True when bytes, a whole input, must be decoded before they are MGF
// text (they start as gzip or UTF-16 with a byte-order mark).
bool needsDecoding(std::string_view bytes);

}  // namespace mspforge
