// Helpers for tests that work on real files and run the real binary.
#pragma once

#include <string>
#include <vector>

#include "mspforge/mspforge.h"

namespace mspforge::test {

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

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

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
  long addressSpaceLimit = 0;     // RLIMIT_AS of the run in bytes, if not 0
};

// Runs the built mspforge with args (argv[0] is set to "mspforge") and
// collects its standard output and standard error.
RunResult runMspforge(const std::vector<std::string>& args,
                      const RunOptions& options = {});

// Converts MGF text in memory.
struct MemoryConversion {
  ConversionResult result;
  ConversionTally tally;
  std::string msp;
};
MemoryConversion convertText(const std::string& mgf);

// Counts the lines of text that begin with start.
long countLinesStartingWith(const std::string& text, const std::string& start);

// Counts the records in MSP text: lines that begin with "Name: ".
inline long countMspRecords(const std::string& msp) {
  return countLinesStartingWith(msp, "Name: ");
}

}  // namespace mspforge::test
