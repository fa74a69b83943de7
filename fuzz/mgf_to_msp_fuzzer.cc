// libFuzzer target: any bytes as an MGF file, converted in memory, must
// give a well-formed MSP text whose tally adds up (see
// checkConversionInvariants), and the fast line reader, peak test and
// FieldMap must agree with straightforward ones on them
// (checkFastPathsAgainstReference), and the record reader with a plain
// reading of the rules, from memory and from small pieces
// (checkReaderAgainstReference), and a conversion fed in pieces
// (checkStreamingAgainstWhole) or cut into chunks converted side by side
// (checkChunkedAgainstWhole) must give the whole conversion's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversion_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string problem = mspforge::test::checkConversionInvariants(bytes);
  if (problem.empty()) {
    problem = mspforge::test::checkFastPathsAgainstReference(bytes);
  }
  if (problem.empty()) {
    problem = mspforge::test::checkReaderAgainstReference(bytes);
  }
  if (problem.empty()) {
    problem = mspforge::test::checkStreamingAgainstWhole(bytes);
  }
  if (problem.empty()) {
    problem = mspforge::test::checkChunkedAgainstWhole(bytes);
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
