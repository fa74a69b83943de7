// What marks bytes as MGF text, for telling an MGF file from a library
// before it is overwritten.
#pragma once

#include <cstddef>
#include <string_view>

namespace mspforge {

// The UTF-8 byte-order mark that Notepad and many Windows tools put at the
// start of a text file. At the very start of an input it belongs to no
// line, so that the file's first "BEGIN IONS" line still starts a record;
// anywhere else it is three ordinary bytes.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// How much of an existing output file is looked at before it is replaced.
inline constexpr std::size_t kMgfSignatureBytes = 65536;

// True when head holds a line that begins with "BEGIN IONS": at its start,
// right after a byte-order mark there, or right after a line feed. The
// whole ten bytes must lie inside head.
bool holdsMgfRecordStart(std::string_view head);

}  // namespace mspforge
