// Helpers for tests that work on real files and run the real binary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mspforge/mspforge.h"

namespace mspforge::test {

// The smallest record that is written, and what it becomes: the input of
// the end-to-end tests.
inline const std::string kOneRecord =
    "BEGIN IONS\nNAME=Glycine\nMSLEVEL=2\nPEPMASS=76.0393\n30.0338 100\n"
    "END IONS\n";
inline const std::string kOneRecordMsp =
    "Name: Glycine\nPrecursorMZ: 76.0393\nSpectrum_type: MS2\nComments:\n"
    "Num Peaks: 1\n30.0338 100\n\n";

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// Paths are UTF-8 on every platform.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
void makeDirectory(const std::string& path);
// False when the file system or the platform refuses (Windows without the
// right to make symbolic links, and Wine, which makes none).
bool makeHardLink(const std::string& target, const std::string& link);
bool makeSymbolicLink(const std::string& target, const std::string& link);

// What the binary wrote to a text file or stream, as the Linux build writes
// it. On Windows every LF must arrive as CR LF, which is turned back into
// LF; an LF without its CR shows as "<LF without CR>", so that a comparison
// with the expected text fails. Elsewhere the text is returned as it is.
std::string fromTextLineEnds(const std::string& text);

// An output file that the binary wrote, through fromTextLineEnds.
inline std::string readMspFile(const std::string& path) {
  return fromTextLineEnds(readFile(path));
}

// A C runtime descriptor on path, for reading, or for writing only (so
// that reading it fails); closed with the object.
class OpenDescriptor {
 public:
  explicit OpenDescriptor(const std::string& path, bool writeOnly = false);
  ~OpenDescriptor();
  OpenDescriptor(const OpenDescriptor&) = delete;
  OpenDescriptor& operator=(const OpenDescriptor&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Another program holding path against every other writer, as long as the
// object lives: an exclusive flock where there are locks, an opening that
// shares nothing on Windows.
class FileHolder {
 public:
  explicit FileHolder(const std::string& path);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  bool holds() const { return holds_; }

 private:
  bool holds_ = false;
  std::intptr_t handle_ = -1;
};

// Why RunOptions::addressSpaceLimit cannot be tested here, or nullptr
// when it can: Wine does not enforce a job's memory limit, and under qemu
// the limit binds the emulator rather than the program.
const char* memoryLimitUnenforced();

// Skips the rest of a test that needs POSIX devices or FIFOs (/dev/full,
// /dev/stdout, mkfifo), which have no Windows counterpart.
#if defined(_WIN32)
#define SKIP_WITHOUT_POSIX_DEVICES() \
  GTEST_SKIP() << "no POSIX devices or FIFOs on Windows"
#else
#define SKIP_WITHOUT_POSIX_DEVICES() static_cast<void>(0)
#endif

struct RunResult {
  int exitCode = -1;   // the exit code, or 128 + signal number
  std::string stdoutText;  // empty when standard output went to a file
  std::string stderrText;
  long maxRssKb = 0;   // peak resident memory of the run
};

struct RunOptions {
  std::string stdinPath;        // standard input from this file, else ...
  const std::string* stdinText = nullptr;  // ... from a pipe fed this text,
                                           // else /dev/null
  bool stdoutReaderGone = false;  // standard output a pipe nobody reads
  std::string stdoutPath;         // standard output into this file, else a
                                  // pipe whose text the run collects
  bool stdoutAppend = false;      // open stdoutPath as ">>" does, not ">"
  long addressSpaceLimit = 0;     // memory limit of the run in bytes, if not
                                  // 0 (RLIMIT_AS; a job object on Windows)
};

// Runs the built mspforge with args (argv[0] is set to "mspforge") and
// collects its standard output and standard error, both through
// fromTextLineEnds.
RunResult runMspforge(const std::vector<std::string>& args,
                      const RunOptions& options = {});

// Converts MGF text in memory.
struct MemoryConversion {
  ConversionResult result;
  ConversionTally tally;
  std::string msp;
};
MemoryConversion convertText(const std::string& mgf,
                             const ConversionOptions& options = {});

// Counts the lines of text that begin with start.
long countLinesStartingWith(const std::string& text, const std::string& start);

// Counts the records in MSP text: lines that begin with "Name: ".
inline long countMspRecords(const std::string& msp) {
  return countLinesStartingWith(msp, "Name: ");
}

}  // namespace mspforge::test
