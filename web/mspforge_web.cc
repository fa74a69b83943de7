// The conversion for the web page: a C interface over StreamingConversion
// that the page's workers call through WebAssembly. Bytes go in with
// mspforge_feed; the MSP text made so far is read from mspforge_output and
// then released with mspforge_output_taken; mspforge_finish ends the input.
// Besides the library, each conversion keeps a row per spectrum and the
// counts of the page's overview (spectrum_rows.h). A page that converts
// its input in slices, side by side, sums their tallies and has
// mspforge_format word the sum. Nothing here knows about browsers beyond
// the shape of this interface.
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "mgf/input_decoding.h"
#include "msp/msp_output.h"
#include "mspforge/mspforge.h"
#include "spectrum_rows.h"

namespace {

// The page's options: spectra without an MS level are MS2, as the
// command's --default MSLEVEL=2 makes them, the name of spectra without
// one, as --name gives it, and the layout of the library, as --for names
// it.
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
      : sliceOptions(withRows(optionsFor(ms2Default, nameTemplate, target))),
        conversion([this](std::string_view msp) { take(msp); }, sliceOptions) {}

  // Keeps the MSP text, and where each record of it ends: after the empty
  // line that closes every record, in every layout.
  void take(std::string_view msp) {
    if (msp.empty()) return;
    if (lastWasLineEnd && msp[0] == '\n') {
      recordEnds.push_back(static_cast<double>(outputBytes + 1));
    }
    for (std::size_t at = msp.find("\n\n"); at != std::string_view::npos;
         at = msp.find("\n\n", at + 1)) {
      recordEnds.push_back(static_cast<double>(outputBytes + at + 2));
    }
    lastWasLineEnd = msp.back() == '\n';
    outputBytes += msp.size();
    output.append(msp);
  }

  mspforge::ConversionOptions withRows(mspforge::ConversionOptions options) {
    options.onRecord = [this](const mspforge::RecordOutcome& outcome) {
      rows.add(outcome);
      // A slice's text is all at hand: a written record ends where it
      // stops now.
      if (sliceOutput != nullptr &&
          outcome.fate == mspforge::RecordOutcome::Fate::Written) {
        recordEnds.push_back(static_cast<double>(sliceOutput->text.size()));
      }
    };
    return options;
  }

  mspforge::InputBuffer sliceBuffer;
  const mspforge::MspOutput* sliceOutput = nullptr;  // while converting one
  mspforge::ConversionOptions sliceOptions;
  bool sliceConverted = false;  // by mspforge_convert_slice
  double sliceLines = 0;
  bool sliceEndMark = false;
  std::string output;
  std::uint64_t outputBytes = 0;  // all the MSP text made, taken or not
  bool lastWasLineEnd = false;
  std::vector<double> recordEnds;
  mspforge::web::SpectrumRows rows;
  std::vector<double> tally;
  std::string counts;
  mspforge::StreamingConversion conversion;
};

// What mspforge_format made last.
std::string formattedTally;
std::string formattedSummary;

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

int mspforge_finish(WebConversion* c);

// Room for a slice of size bytes in the WebAssembly memory, for
// mspforge_convert_slice: the page reads the slice straight into it. Null
// when memory ran out.
char* mspforge_slice_buffer(WebConversion* c, std::uint32_t size) {
  try {
    c->sliceBuffer = mspforge::InputBuffer(size);
    return c->sliceBuffer.data();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Converts the size bytes put into mspforge_slice_buffer, which convert on
// their own (a slice of the input cut at a record start); then as
// mspforge_finish. c must be new.
int mspforge_convert_slice(WebConversion* c, std::uint32_t size) {
  try {
    const std::string_view bytes(c->sliceBuffer.data(), size);
    if (mspforge::needsDecoding(bytes)) {
      c->conversion.feed(bytes);
      return mspforge_finish(c);
    }
    mspforge::MgfInput input =
        mspforge::mgfInputFromBuffer(std::move(c->sliceBuffer), size);
    mspforge::MspOutput output = mspforge::mspOutputToMemory();
    output.text.reserve(size + size / 4);
    mspforge::ConversionTally tally;
    c->sliceOutput = &output;
    mspforge::convertRecords(input, output, tally, c->sliceOptions);
    c->sliceOutput = nullptr;
    c->outputBytes = output.text.size();
    c->output = std::move(output.text);
    c->tally = mspforge::web::tallyNumbers(tally);
    c->counts = c->rows.countsJson();
    c->sliceLines = static_cast<double>(input.linesRead);
    c->sliceEndMark = input.endMarkSeen;
    c->sliceConverted = true;
    return 0;
  } catch (const std::bad_alloc&) {
    return 4;
  }
}

// Ends the input; its tally is then at mspforge_tally_numbers and the
// overview's counts at mspforge_counts. 0, 3 when the input could not be
// decoded (mspforge_failure says why), or 4.
int mspforge_finish(WebConversion* c) {
  if (c->sliceConverted) return 0;
  try {
    c->tally = mspforge::web::tallyNumbers(c->conversion.finish());
    c->counts = c->rows.countsJson();
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

// Where each written record ends in the MSP text, counted from its start.
const double* mspforge_record_ends(WebConversion* c) {
  return c->recordEnds.data();
}
std::uint32_t mspforge_record_ends_count(WebConversion* c) {
  return static_cast<std::uint32_t>(c->recordEnds.size());
}

// The rows: kRowNumbers numbers and a line of texts for each spectrum.
const double* mspforge_row_numbers(WebConversion* c) {
  return c->rows.numbers().data();
}
std::uint32_t mspforge_rows(WebConversion* c) {
  return static_cast<std::uint32_t>(c->rows.size());
}
const char* mspforge_row_texts(WebConversion* c) {
  return c->rows.texts().data();
}
std::uint32_t mspforge_row_texts_size(WebConversion* c) {
  return static_cast<std::uint32_t>(c->rows.texts().size());
}

const double* mspforge_tally_numbers(WebConversion* c) {
  return c->tally.data();
}
std::uint32_t mspforge_tally_size(WebConversion* c) {
  return static_cast<std::uint32_t>(c->tally.size());
}
const char* mspforge_counts(WebConversion* c) { return c->counts.c_str(); }
const char* mspforge_failure(WebConversion* c) {
  return c->conversion.failure().c_str();
}

// The lines read, once finished: those of the whole slice.
double mspforge_lines(WebConversion* c) {
  return c->sliceConverted ? c->sliceLines
                           : static_cast<double>(c->conversion.linesRead());
}

// 1 when a 0x1A byte ended the input (what follows it does not count).
int mspforge_end_mark(WebConversion* c) {
  const bool stopped =
      c->sliceConverted ? c->sliceEndMark : c->conversion.stoppedAtEndMark();
  return stopped ? 1 : 0;
}

// Records read so far, for the progress display.
double mspforge_records(WebConversion* c) {
  return static_cast<double>(c->conversion.tally().totalSpectra);
}

// Words a tally given as numbers (mspforge_tally_numbers' order): the tally
// line at mspforge_formatted_tally, the command's summary at
// mspforge_formatted_summary; head (headSize bytes) is the input's start
// as stored, for describing an input without any record. 0, or 4.
int mspforge_format(const double* numbers, const char* head,
                    std::uint32_t headSize) {
  try {
    const mspforge::ConversionTally tally =
        mspforge::web::tallyFromNumbers(numbers);
    formattedTally = mspforge::formatTally(tally);
    formattedSummary =
        mspforge::formatSummary(tally, std::string_view(head, headSize));
    return 0;
  } catch (const std::bad_alloc&) {
    return 4;
  }
}
const char* mspforge_formatted_tally() { return formattedTally.c_str(); }
const char* mspforge_formatted_summary() { return formattedSummary.c_str(); }

}  // extern "C"
