// Converts one MGF file into an MSP library with the mspforge library,
// and prints the tally and what was not written.
// Usage: convert IN.mgf OUT.msp
#include <mspforge/mspforge.h>

#include <cstdio>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN.mgf OUT.msp\n", argv[0]);
    return 1;
  }
  mspforge::ConversionOptions options;
  options.defaults.emplace_back("MSLEVEL", "2");  // as --default MSLEVEL=2
  mspforge::ConversionTally tally;
  mspforge::FileConversionDetails details;
  if (mspforge::convertFile(argv[1], argv[2], tally, options, &details) !=
      mspforge::ConversionResult::Complete) {
    std::fprintf(stderr, "%s: %s\n", details.path.c_str(),
                 details.reason.c_str());
    return 2;
  }
  std::fputs(mspforge::formatTally(tally).c_str(), stdout);
  std::fputs(mspforge::formatSummary(tally, details.inputHead).c_str(), stderr);
  std::printf("converted with mspforge %s\n", MSPFORGE_VERSION);
  return 0;
}
