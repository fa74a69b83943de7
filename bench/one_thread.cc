// The mspforge command without its writer thread: converts one file with
// every write on the converting thread, for the single-thread figure of
// bench/run_bench.sh. Usage: mspforge_one_thread <input mgf> <output msp>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "mspforge/mspforge.h"

int main(int argc, char* argv[]) {
  if (argc < 3) return 1;
  const int in = ::open(argv[1], O_RDONLY);
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) return 2;
  mspforge::MgfInput input = mspforge::mgfInputFromFd(in);
  mspforge::MspOutput output = mspforge::mspOutputToFd(out);
  output.background = false;
  mspforge::ConversionTally tally;
  if (mspforge::convertRecords(input, output, tally) !=
      mspforge::ConversionResult::Complete) {
    return 3;
  }
  std::fputs(mspforge::formatTally(tally).c_str(), stdout);
  return ::close(out) == 0 ? 0 : 3;
}
