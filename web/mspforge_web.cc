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

// The page's options: spectra without an MS level are MS2, as the
// command's --default MSLEVEL=2 makes them, and the name of spectra
// without one, as --name gives it.
// And the layout of the library, as --for names it.
mspforge::ConversionOptions optionsFor(int ms2Default,
                                       const char* nameTemplate,
                                       const char* target) {
  mspforge::ConversionOptions options;
  if (ms2Default != 0) options.defaults.emplace_back("MSLEVEL", "2");
  if (nameTemplate != nullptr) options.nameTemplate = nameTemplate;
  if (target != nullptr) mspforge::libraryLayoutNamed(target, options.layout);
  return options;
}

struct WebConversion {
  WebConversion(int ms2Default, const char* nameTemplate, const char* target)
      : conversion([this](std::string_view msp) { output.append(msp); },
                   optionsFor(ms2Default, nameTemplate, target)) {}
  std::string output;
  std::string tally;
  std::string summary;
  mspforge::StreamingConversion conversion;
};

}  // namespace

extern "C" {

// A new conversion, or null when memory ran out; ms2Default not 0 gives
// spectra without an MS level "MSLEVEL=2", nameTemplate (UTF-8, NUL
// ended; null or empty for none) names spectra without a name, and target
// ("nist", "msdial", "matchms" or "openms"; null for "nist") is the layout.
WebConversion* mspforge_new(int ms2Default, const char* nameTemplate,
                            const char* target) {
  try {
    return new WebConversion(ms2Default, nameTemplate, target);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

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

// Ends the input; the tally line is then at mspforge_tally and the
// command's summary of what was not written at mspforge_summary. 0, 3 when
// the input could not be decoded (mspforge_failure says why), or 4.
int mspforge_finish(WebConversion* c) {
  try {
    const mspforge::ConversionTally tally = c->conversion.finish();
    c->tally = mspforge::formatTally(tally);
    c->summary = mspforge::formatSummary(tally, c->conversion.inputHead());
    return c->conversion.failed() ? 3 : 0;
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
const char* mspforge_summary(WebConversion* c) { return c->summary.c_str(); }
const char* mspforge_failure(WebConversion* c) {
  return c->conversion.failure().c_str();
}

// Spectra written, once finished.
double mspforge_written(WebConversion* c) {
  return static_cast<double>(c->conversion.tally().writtenSpectra());
}

// Records read so far, for the progress display.
double mspforge_records(WebConversion* c) {
  return static_cast<double>(c->conversion.tally().totalSpectra);
}

}  // extern "C"
