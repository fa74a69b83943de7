// mspforge: converts an MGF peak list into MSP spectral-library text.
#include <csignal>

#include "app/run_converter.h"

int main(int argc, char* argv[]) {
  // A reader that closes the pipe we write to must give "Cannot write
  // file" and exit code 3, not a silent death by SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  return mspforge::runConverter(argc, argv);
}
