// The command line: mspforge <input mgf> <output msp>.
#pragma once

#include <string>
#include <vector>

namespace mspforge {

// Exit codes of a run.
enum ExitCode : int {
  ExitSuccess = 0,      // input read to its end, output complete, tally shown
  ExitUsage = 1,        // fewer than two arguments
  ExitCannotOpen = 2,   // an input or output that cannot be used
  ExitIoFailure = 3,    // a read or write failed during the conversion
  ExitOutOfMemory = 4,  // a record too large for the memory available
};

// Runs one conversion as the command line asks (arguments[0] the program as
// invoked, then the input and output paths) and returns the exit code.
// Prints its one message, or the tally, on standard output; on standard
// error instead when the output is standard output itself. Running out of
// memory ends the run with "Out of memory" and ExitOutOfMemory.
int runConverter(const std::vector<std::string>& arguments);

}  // namespace mspforge
