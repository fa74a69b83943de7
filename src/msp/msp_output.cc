#include "msp/msp_output.h"

#include <unistd.h>

#include <cerrno>

namespace mspforge {
namespace {

constexpr std::size_t kFlushSize = std::size_t{1} << 20;

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

MspOutput mspOutputToFd(int fd) {
  MspOutput output;
  output.fd = fd;
  output.text.reserve(kFlushSize + kFlushSize / 4);
  return output;
}

MspOutput mspOutputToMemory() { return MspOutput{}; }

void writeThrough(MspOutput& output, std::string_view bytes) {
  if (flushAll(output) && !writeAll(output.fd, bytes)) output.failed = true;
}

void flushIfFull(MspOutput& output) {
  if (output.text.size() >= kFlushSize) flushAll(output);
}

bool flushAll(MspOutput& output) {
  if (output.fd < 0 || output.failed) return !output.failed;
  if (!writeAll(output.fd, output.text)) output.failed = true;
  output.text.clear();
  return !output.failed;
}

}  // namespace mspforge
