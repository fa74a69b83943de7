// The platform layer on Linux and other POSIX systems: flock(2) for the
// sharing rules, device and inode numbers for file identity.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

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

// Closes fd and gives -1, noting why; close() must not overwrite the
// errno that the reason may be.
int refuse(int fd, OpenError* error, OpenRefusal refusal, int code = 0) {
  ::close(fd);
  if (error != nullptr) *error = {refusal, code};
  return -1;
}

int failed(OpenError* error) {
  if (error != nullptr) *error = {OpenRefusal::System, errno};
  return -1;
}

}  // namespace

bool makeDirectory(const char* path) {
  if (::mkdir(path, 0777) == 0) return true;
  struct stat info;
  if (errno == EEXIST && ::stat(path, &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
  }
  return false;
}

bool regularFileSize(const char* path, std::uint64_t& size) {
  struct stat info;
  if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool regularFileSizeOf(int fd, std::uint64_t& size) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

std::uint64_t filePosition(int fd) {
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

int lastError() { return errno; }

// The XSI strerror_r fills the buffer and returns an int; the GNU one
// returns the text, which may be a static one instead.
[[maybe_unused]] static const char* strerrorText(int, const char* buffer) {
  return buffer;
}
[[maybe_unused]] static const char* strerrorText(const char* text, const char*) {
  return text;
}

std::string errorText(int code) {
  char buffer[256] = "";
  return strerrorText(::strerror_r(code, buffer, sizeof buffer), buffer);
}

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

bool isOutOfMemory(int code) { return code == ENOMEM; }

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

std::ptrdiff_t readAt(int fd, std::uint64_t offset, char* into,
                      std::size_t capacity) {
  std::size_t got = 0;
  while (got < capacity) {
    const ssize_t n = ::pread(fd, into + got, capacity - got,
                              static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return got > 0 ? static_cast<std::ptrdiff_t>(got) : -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<std::ptrdiff_t>(got);
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

int openInputFile(const char* path, FileIdentity& identity,
                  OpenError* error) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failed(error);
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    return refuse(fd, error, OpenRefusal::System, errno);
  }
  if (S_ISDIR(info.st_mode)) return refuse(fd, error, OpenRefusal::IsDirectory);
  if (!lockFile(fd, LOCK_SH)) return refuse(fd, error, OpenRefusal::Locked);
  identity = identityOf(info);
  return fd;
}

int openStandardInput(FileIdentity& identity, OpenError* error) {
  const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return failed(error);
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    return refuse(fd, error, OpenRefusal::System, errno);
  }
  if (S_ISDIR(info.st_mode)) return refuse(fd, error, OpenRefusal::IsDirectory);
#if defined(F_SETPIPE_SZ)
  // A pipe holds 64 KiB by default: the writer and this reader then take
  // turns every 64 KiB. A larger pipe lets each run longer between switches;
  // the kernel may refuse (a limit set by the administrator), which costs
  // only speed.
  if (S_ISFIFO(info.st_mode)) ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#endif
  identity = identityOf(info);
  return fd;
}

// Whether the regular file fd, open for reading, starts with bytes that
// check refuses. Read with pread, so the position where writing will
// start stays at 0.
static bool refusedByItsStart(int fd, const ReplaceCheck& check) {
  if (check.refuse == nullptr || check.headBytes == 0) return false;
  std::vector<char> head(check.headBytes);
  const std::ptrdiff_t got = readAt(fd, 0, head.data(), head.size());
  return check.refuse(std::string_view(
      head.data(), got > 0 ? static_cast<std::size_t>(got) : 0));
}

// Opened without O_TRUNC, so that an output that turns out to be the input
// (the same path, a hard link, a symbolic link), or one that must not be
// replaced, is refused intact. A regular file is opened for reading too,
// so that its start can be examined; anything else only for writing, as a
// FIFO opened for reading would never see its reader go.
int openOutputFile(const char* path, const FileIdentity& input,
                   const ReplaceCheck& check, OpenError* error) {
  struct stat named;
  const bool exists = ::stat(path, &named) == 0;
  if (exists && S_ISDIR(named.st_mode)) {
    if (error != nullptr) *error = {OpenRefusal::IsDirectory, 0};
    return -1;
  }
  const bool regular = exists && S_ISREG(named.st_mode);
  int fd = regular ? ::open(path, O_RDWR | O_CLOEXEC) : -1;
  const bool readable = fd >= 0;
  if (!readable) fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return failed(error);
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    return refuse(fd, error, OpenRefusal::System, errno);
  }
  if (sameFile(identityOf(info), input)) {
    return refuse(fd, error, OpenRefusal::SameAsInput);
  }
  if (!lockFile(fd, LOCK_EX)) return refuse(fd, error, OpenRefusal::Locked);
  if (S_ISREG(info.st_mode)) {
    if (readable && refusedByItsStart(fd, check)) {
      return refuse(fd, error, OpenRefusal::KeptByCheck);
    }
    if (::ftruncate(fd, 0) != 0) {
      return refuse(fd, error, OpenRefusal::System, errno);
    }
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

int takeStandardOutput(const FileIdentity& input, OpenError* error) {
  struct stat info;
  OpenError refused;
  if (::fstat(STDOUT_FILENO, &info) != 0) {
    refused = {OpenRefusal::System, errno};
  } else if (sameFile(identityOf(info), input)) {
    refused = {OpenRefusal::SameAsInput, 0};
  } else if (!lockFile(STDOUT_FILENO, LOCK_EX)) {
    refused = {OpenRefusal::Locked, 0};
  } else {
    return STDOUT_FILENO;
  }
  if (error != nullptr) *error = refused;
  return -1;
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
