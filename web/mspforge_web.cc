// The conversion for the web page: a C interface over StreamingConversion
// that the page's worker calls through WebAssembly. Bytes go in with
// mspforge_feed; the MSP text made so far is read from mspforge_output and
// then released with mspforge_output_taken; mspforge_finish ends the input.
// Nothing here knows about browsers beyond the shape of this interface.
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "mspforge/mspforge.h"

namespace {

struct WebConversion {
  std::string output;
  std::string tally;
  mspforge::StreamingConversion conversion{
      [this](std::string_view msp) { output.append(msp); }};
};

}  // namespace

extern "C" {

// A new conversion, or null when memory ran out.
WebConversion* mspforge_new() { return new (std::nothrow) WebConversion; }

void mspforge_delete(WebConversion* c) { delete c; }

// Feeds size bytes at data. Returns 0, or 4 when memory ran out (a record
// too large for the browser); the conversion is then unusable.
int mspforge_feed(WebConversion* c, const char* data, std::uint32_t size) {
  try {
    c->conversion.feed(std::string_view(data, size));
    return 0;
  } catch (const std::bad_alloc&) {
    return 4;
  }
}

// Ends the input; the tally line is then at mspforge_tally. 0 or 4.
int mspforge_finish(WebConversion* c) {
  try {
    c->tally = mspforge::formatTally(c->conversion.finish());
    return 0;
  } catch (const std::bad_alloc&) {
    return 4;
  }
}

const char* mspforge_output(WebConversion* c) { return c->output.data(); }
std::uint32_t mspforge_output_size(WebConversion* c) {
  return static_cast<std::uint32_t>(c->output.size());
}
void mspforge_output_taken(WebConversion* c) { c->output.clear(); }

const char* mspforge_tally(WebConversion* c) { return c->tally.c_str(); }

// Records read so far, for the progress display.
double mspforge_records(WebConversion* c) {
  return static_cast<double>(c->conversion.tally().totalSpectra);
}

}  // extern "C"
