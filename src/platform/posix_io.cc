// The platform layer on Linux and other POSIX systems: flock(2) for the
// sharing rules, device and inode numbers for file identity.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/platform_io.h"

namespace mspforge::platform {
namespace {

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino), true};
}

// Takes a non-blocking advisory lock: shared on the input, so that others
// may read it but not take it for writing; exclusive on the output, so that
// two conversions never write one file at once. False only when another
// process holds a conflicting lock; a file system without locks is used
// without one.
bool lockFile(int fd, int operation) {
  for (;;) {
    if (::flock(fd, operation | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    return errno != EWOULDBLOCK;
  }
}

int refuse(int fd) {
  ::close(fd);
  return -1;
}

}  // namespace

// A reader that closes the pipe we write to must give "Cannot write file"
// and exit code 3, not a silent death by SIGPIPE.
void prepareProcess() { std::signal(SIGPIPE, SIG_IGN); }

std::ptrdiff_t readSome(int fd, char* into, std::size_t capacity) {
  for (;;) {
    ssize_t n = ::read(fd, into, capacity);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

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

int openInputFile(const char* path, FileIdentity& identity) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) ||
      !lockFile(fd, LOCK_SH)) {
    return refuse(fd);
  }
  identity = identityOf(info);
  return fd;
}

// Opened without O_TRUNC, so that an output that turns out to be the input
// (the same path, a hard link, a symbolic link) is refused intact.
int openOutputFile(const char* path, const FileIdentity& input) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || sameFile(identityOf(info), input) ||
      !lockFile(fd, LOCK_EX) ||
      (S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0)) {
    return refuse(fd);
  }
  return fd;
}

bool closeFile(int fd) { return ::close(fd) == 0; }

bool namesStandardOutput(const char* path) {
  struct stat named;
  struct stat standardOutput;
  return ::stat(path, &named) == 0 &&
         ::fstat(STDOUT_FILENO, &standardOutput) == 0 &&
         sameFile(identityOf(named), identityOf(standardOutput));
}

int takeStandardOutput(const FileIdentity& input) {
  struct stat info;
  if (::fstat(STDOUT_FILENO, &info) != 0 || sameFile(identityOf(info), input) ||
      !lockFile(STDOUT_FILENO, LOCK_EX)) {
    return -1;
  }
  return STDOUT_FILENO;
}

// The lock belongs to an open file that the shell may go on using.
void releaseStandardOutput() { ::flock(STDOUT_FILENO, LOCK_UN); }

std::vector<std::string> commandLineArguments(int argc, char* argv[]) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) {
    arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  return arguments;
}

}  // namespace mspforge::platform
