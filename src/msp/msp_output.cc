#include "msp/msp_output.h"

#include <cstring>
#include <vector>

#include "platform/platform_io.h"

namespace mspforge {
namespace {

constexpr std::size_t kFlushSize = std::size_t{1} << 20;

// Writes bytes with every LF as CR LF, a flush-sized block at a time: the
// LFs are found with memchr and the pieces between them copied whole.
bool writeWithCrLf(int fd, std::string_view bytes, std::string& scratch) {
  while (!bytes.empty()) {
    const std::string_view block = bytes.substr(0, kFlushSize);
    bytes.remove_prefix(block.size());
    scratch.clear();
    std::size_t from = 0;
    for (;;) {
      const void* lf = std::memchr(block.data() + from, '\n',
                                   block.size() - from);
      if (lf == nullptr) break;
      const std::size_t at =
          static_cast<std::size_t>(static_cast<const char*>(lf) - block.data());
      scratch.append(block.data() + from, at - from);
      scratch.append("\r\n", 2);
      from = at + 1;
    }
    scratch.append(block.data() + from, block.size() - from);
    if (!platform::writeAll(fd, scratch)) return false;
  }
  return true;
}

bool writeOut(MspOutput& output, std::string_view bytes) {
  return output.crlfLineEnds
             ? writeWithCrLf(output.fd, bytes, output.translated)
             : platform::writeAll(output.fd, bytes);
}

// Writes the text with the spans between its pieces, in gathered writes.
bool writeWithSpans(MspOutput& output) {
  std::vector<std::string_view> pieces;
  pieces.reserve(2 * output.spans.size() + 1);
  std::size_t textFrom = 0;
  for (const MspOutput::Span& span : output.spans) {
    if (span.textOffset > textFrom) {
      pieces.emplace_back(output.text.data() + textFrom,
                          span.textOffset - textFrom);
    }
    pieces.emplace_back(span.bytes, span.size);
    textFrom = span.textOffset;
  }
  if (output.text.size() > textFrom) {
    pieces.emplace_back(output.text.data() + textFrom,
                        output.text.size() - textFrom);
  }
  return platform::writeGathered(output.fd, pieces.data(), pieces.size());
}

}  // namespace

MspOutput mspOutputToFd(int fd) {
  MspOutput output;
  output.fd = fd;
  output.crlfLineEnds = platform::kCrLfLineEnds;
  output.text.reserve(kFlushSize + kFlushSize / 4);
  return output;
}

MspOutput mspOutputToMemory() { return MspOutput{}; }

void writeThrough(MspOutput& output, std::string_view bytes) {
  if (flushAll(output) && !writeOut(output, bytes)) output.failed = true;
}

void flushIfFull(MspOutput& output) {
  if (output.text.size() + output.spanBytes >= kFlushSize) flushAll(output);
}

bool flushAll(MspOutput& output) {
  if (output.fd < 0 || output.failed) return !output.failed;
  const bool written = output.spans.empty() ? writeOut(output, output.text)
                                            : writeWithSpans(output);
  if (!written) output.failed = true;
  output.text.clear();
  output.spans.clear();
  output.spanBytes = 0;
  return !output.failed;
}

}  // namespace mspforge
