// libFuzzer target: any bytes as an MGF file, converted in memory, must
// give a well-formed MSP text whose tally adds up (see
// checkConversionInvariants).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversion_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string problem = mspforge::test::checkConversionInvariants(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
