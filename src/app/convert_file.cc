#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/convert_file.h"
#include "mspforge/mspforge.h"

namespace mspforge {
namespace {

// Closes the descriptor when the run ends, whichever way it ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close succeeded: for an output, a
  // late write error can surface only here.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

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

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileDescriptor openInput(const char* path, struct stat& info) {
  FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return file;
  if (::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode) ||
      !lockFile(file.get(), LOCK_SH)) {
    return FileDescriptor(-1);
  }
  return file;
}

// Opens the output without emptying it, so that an output that turns out to
// be the input itself (the same path, a hard link, a symbolic link) is
// refused with the input intact; only then is a regular file emptied.
// Pipes, terminals and devices such as /dev/stdout are written as they are.
FileDescriptor openOutput(const char* path, const struct stat& input) {
  FileDescriptor file(::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (!file.valid()) return file;
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || sameFile(info, input) ||
      !lockFile(file.get(), LOCK_EX) ||
      (S_ISREG(info.st_mode) && ::ftruncate(file.get(), 0) != 0)) {
    return FileDescriptor(-1);
  }
  return file;
}

// Standard output as the output: written where it stands, never emptied
// (the shell's ">" has done that, or ">>" asked to append), and never
// closed. Refused when it is the input itself or locked by another run.
bool useStandardOutput(const struct stat& input) {
  struct stat info;
  return ::fstat(STDOUT_FILENO, &info) == 0 && !sameFile(info, input) &&
         lockFile(STDOUT_FILENO, LOCK_EX);
}

}  // namespace

bool namesStandardOutput(const char* path) {
  struct stat named;
  struct stat standardOutput;
  return ::stat(path, &named) == 0 &&
         ::fstat(STDOUT_FILENO, &standardOutput) == 0 &&
         sameFile(named, standardOutput);
}

ConversionResult convertFile(const char* inputPath, const char* outputPath,
                             ConversionTally& tally) {
  struct stat inputInfo;
  FileDescriptor inputFile = openInput(inputPath, inputInfo);
  if (!inputFile.valid()) return ConversionResult::CannotOpen;

  if (namesStandardOutput(outputPath)) {
    if (!useStandardOutput(inputInfo)) return ConversionResult::CannotOpen;
    MgfInput input = mgfInputFromFd(inputFile.get());
    MspOutput output = mspOutputToFd(STDOUT_FILENO);
    ConversionResult result = convertRecords(input, output, tally);
    // The lock belongs to an open file that the shell may keep using.
    ::flock(STDOUT_FILENO, LOCK_UN);
    return result;
  }

  FileDescriptor outputFile = openOutput(outputPath, inputInfo);
  if (!outputFile.valid()) return ConversionResult::CannotOpen;

  MgfInput input = mgfInputFromFd(inputFile.get());
  MspOutput output = mspOutputToFd(outputFile.get());
  ConversionResult result = convertRecords(input, output, tally);
  if (result == ConversionResult::Complete && !outputFile.close()) {
    return ConversionResult::WriteFailed;
  }
  return result;
}

}  // namespace mspforge
