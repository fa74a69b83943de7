// Everything that differs between the platforms mspforge runs on: opening
// the two files of a conversion with the sharing they need, telling files
// apart, reading and writing descriptors, the command line's encoding and
// the line end of text files. The reader, the translation and the writer
// know nothing of platforms; they call this layer.
//
// Descriptors are C runtime file descriptors on every platform (on Windows
// each wraps a file handle), so that a caller can pass 0, 1 or a
// descriptor of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mspforge::platform {

// Text files end their lines with CR LF on Windows and with LF elsewhere;
// the MSP output follows the platform's convention.
#if defined(_WIN32)
inline constexpr bool kCrLfLineEnds = true;
#else
inline constexpr bool kCrLfLineEnds = false;
#endif

// Where a path's folders end, and whether file names differ only in case
// (they do not on Windows).
#if defined(_WIN32)
inline constexpr std::string_view kPathSeparators = "/\\";
inline constexpr bool kCaseBlindFileNames = true;
#else
inline constexpr std::string_view kPathSeparators = "/";
inline constexpr bool kCaseBlindFileNames = false;
#endif

// What makes two paths the same file: the device (volume) and the file's
// number on it. Hard and symbolic links to one file have one identity.
// Pipes and devices on Windows have none (known is false), and are never
// the same file as anything.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool known = false;
};

inline bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.device == b.device && a.file == b.file;
}

// The calling thread's last system error: errno, or GetLastError() on
// Windows.
int lastError();

// A system error code in the system's own words: "No such file or
// directory", or on Windows "The system cannot find the file specified."
// without its final full stop.
std::string errorText(int code);

// True when the system error code says memory or address space ran out.
bool isOutOfMemory(int code);

// True when fd is a terminal (a console on Windows).
bool isTerminal(int fd);

// Why a file could not be opened for a conversion.
enum class OpenRefusal {
  None,
  System,       // the system refused: see code
  IsDirectory,  // the path names a directory
  SameAsInput,  // the output is the input file itself
  Locked,       // another program holds the file
  KeptByCheck,  // the output's first bytes say it must be kept
};
struct OpenError {
  OpenRefusal refusal = OpenRefusal::None;
  int code = 0;  // the system's error code, for OpenRefusal::System
};

// Readies the process: a closed pipe must make a write fail with an error
// that the conversion reports, not end the process silently.
void prepareProcess();

// Reads up to capacity bytes. Returns the number read, 0 at the end of the
// input, or -1 on a read error. Retries interrupted reads.
std::ptrdiff_t readSome(int fd, char* into, std::size_t capacity);

// Reads up to capacity bytes at offset of a regular file, without moving
// the position where the next read starts: fewer at the file's end, -1 on
// a read error.
std::ptrdiff_t readAt(int fd, std::uint64_t offset, char* into,
                      std::size_t capacity);

// Writes all of bytes; false when a write failed.
bool writeAll(int fd, std::string_view bytes);

// Opens the input for reading while others may read it but not write it
// (a shared lock, or a sharing mode). Returns the descriptor and fills
// identity; -1 when the file is missing, is a directory, or is held for
// writing by another program, with the reason in *error when given.
int openInputFile(const char* path, FileIdentity& identity,
                  OpenError* error = nullptr);

// A descriptor of its own for standard input, to read as openInputFile's
// are read and close when done, and standard input's identity (unknown
// for a pipe on Windows). -1 when standard input is closed.
int openStandardInput(FileIdentity& identity, OpenError* error = nullptr);

// What an existing regular output file must not hold to be replaced: the
// first headBytes bytes of the file (fewer when it is shorter) are given to
// refuse, and true keeps the file as it is.
struct ReplaceCheck {
  std::size_t headBytes = 0;
  bool (*refuse)(std::string_view head) = nullptr;
};

// Opens the output for writing while nobody else may read or write it. It
// is refused (-1), untouched, when it is the input itself by any path or
// link, when it is a directory, when another program holds it, or when it
// is a regular file whose first bytes check refuses; only then is a
// regular file emptied. A file that cannot be read (write permission only)
// is not checked. Pipes and devices are written as they are, unexamined.
int openOutputFile(const char* path, const FileIdentity& input,
                   const ReplaceCheck& check = {},
                   OpenError* error = nullptr);

// Makes the directory path unless it exists; false, with lastError() set,
// when it cannot be made or is not a directory.
bool makeDirectory(const char* path);

// The size of the regular file at path, or false (a pipe, a device, no
// such file).
bool regularFileSize(const char* path, std::uint64_t& size);

// The size of fd when it is a regular file; false for pipes, terminals
// and devices.
bool regularFileSizeOf(int fd, std::uint64_t& size);

// Where the next read of fd would start.
std::uint64_t filePosition(int fd);

// Closes a descriptor that openInputFile or openOutputFile gave; false when
// the close reported a late write error.
bool closeFile(int fd);

// True when path names the very file, pipe or terminal that standard
// output is ("/dev/stdout", "/dev/fd/1", or the file that standard output
// is redirected to).
bool namesStandardOutput(const char* path);

// Standard output as the output of a conversion whose input is input:
// its descriptor, or -1 when it is the input itself or held by another
// run. releaseStandardOutput() gives back what it took.
int takeStandardOutput(const FileIdentity& input, OpenError* error = nullptr);
void releaseStandardOutput();

// The command-line arguments as UTF-8 byte strings (on Windows they are
// fetched as UTF-16 and converted, so that any file name reaches the file
// system intact; elsewhere they are the bytes given).
std::vector<std::string> commandLineArguments(int argc, char* argv[]);

}  // namespace mspforge::platform
