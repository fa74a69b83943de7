// mspforge: MGF peak lists in, MSP spectral-library text out.
//
// The library behind the mspforge command. A conversion is a loop over
// three calls that share five containers, created once and reused for
// every record:
//
//   mspforge::MgfInput input = mspforge::mgfInputFromFd(inFd);
//   mspforge::MspOutput output = mspforge::mspOutputToFd(outFd);
//   mspforge::FieldMap source, library, comments;
//   mspforge::PeakLines peaks;
//   mspforge::CompoundName name;
//   while (mspforge::readMgfRecord(input, source, peaks)) {
//     if (!peaks.empty() &&
//         mspforge::translateRecord(source, name, library, comments)) {
//       mspforge::writeMspRecord(output, name, library, comments, peaks);
//     }
//   }
//   // input.failed: a read error; flushAll(output) false: a write error.
//
// or one call, convertFile() or convertBytes(), that does all of it. No
// call prints anything, and none keeps state between calls; running out of
// memory throws std::bad_alloc. Separate conversions may run on separate
// threads; one conversion's objects belong to one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mspforge/read_integer.h"
#include "mspforge/record_types.h"
#include "mspforge/streams.h"
#include "mspforge/version.h"  // MSPFORGE_VERSION "MAJOR.MINOR.PATCH"

namespace mspforge {

// Reads the next MGF record. Empties sourceFields and peakLines first, then
// skips to the next line that begins with "BEGIN IONS" and sorts each line
// until one that begins with "END IONS":
//   - a line with "=" is a header line: key = bytes before the first "=",
//     value = bytes after it up to the line end, neither trimmed. The last
//     line of a key wins; lines with the key "USI" or "EXACTMASS" and lines
//     whose value is exactly "N/A" are dropped. A line with "=" is never a
//     peak line and never ends the record;
//   - a line whose leading number (as C's atof reads it) is at least 1.0 is
//     a peak line, stored whole with its line feed;
//   - anything else is ignored, a "BEGIN IONS" line inside a record
//     included: a record without its "END IONS" runs on into the next.
// Returns true with the record in the two containers once its "END IONS"
// line is read; the input then stands just behind that line. Returns false
// when the input ends first, either before another record starts or inside
// one (that unfinished record is lost). After false, input.failed tells
// whether a read error ended the input.
bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines);

// Turns one record's MGF header fields into the parts of an MSP record.
// Empties compoundName, libraryFields and commentFields first; sourceFields
// is only read. Keys with an MSP equivalent ("NAME", "PEPMASS", "MSLEVEL",
// ... the README's key table) go to compoundName or libraryFields, their
// values normalised; every other key goes to commentFields unchanged. Then
// the record is completed: a missing name is taken from "TITLE", a missing
// "Precursor_type" from the name or "CHARGE", and "[M+FA]-" is written
// "[M+CHO2]-". Returns true when the record is fit for a library: it has a
// name, "Spectrum_type" and "PrecursorMZ". A rejected record's outputs
// hold what translation made of it.
bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields);

// Appends one record to output in MSP layout, every line ending in LF:
//   "Name: " compoundName
//   key ": " value                 for each libraryFields entry, key order
//   "Comments:" then " " key "=" value for each commentFields entry
//   "Num Peaks: " the number of peak lines
//   each peak line as read, bringing its own line end
//   an empty line
// Texts are written whole, byte for byte. Changes none of its arguments but
// output; a failed write shows in output.failed.
void writeMspRecord(MspOutput& output, const CompoundName& compoundName,
                    const FieldMap& libraryFields,
                    const FieldMap& commentFields, const PeakLines& peakLines);

// What a conversion counted. 64-bit, so no input is too large to count.
struct ConversionTally {
  std::int64_t totalSpectra = 0;         // complete records read
  std::int64_t ignoredSpectra = 0;       // of them, those without peak lines
  std::int64_t unrecognizedSpectra = 0;  // with peaks, but rejected

  std::int64_t writtenSpectra() const {
    return totalSpectra - ignoredSpectra - unrecognizedSpectra;
  }
};

enum class ConversionResult {
  Complete,     // the input was read to its end and the output is complete
  CannotOpen,   // convertFile only: an input or output that cannot be used
  ReadFailed,   // a read error ended the input early; output incomplete
  WriteFailed,  // a write to the output failed; output incomplete
};

// Converts every record of input onto output, counting into tally, and
// stops at the first read or write failure. Flushes output, which then
// holds the whole result when Complete is returned.
ConversionResult convertRecords(MgfInput& input, MspOutput& output,
                                ConversionTally& tally);

// Converts MGF bytes held in memory; the MSP text is appended to msp.
// Always returns Complete.
ConversionResult convertBytes(std::string_view mgf, std::string& msp,
                              ConversionTally& tally);

// Converts the MGF file at inputPath into the MSP file at outputPath, as the
// mspforge command does. CannotOpen, with the output untouched, when the
// input cannot be opened or is a directory, when the output cannot be
// opened, is a directory or is the input file itself (by any path or
// link), when the output is a regular file whose first 64 KiB hold a line
// beginning "BEGIN IONS" (an MGF file, as when the two paths are swapped),
// and when another program holds a conflicting lock (flock: shared on the
// input, exclusive on the output, for the whole conversion). A
// regular output file is emptied only once all of that is known; pipes and
// devices are written as they are. An output path that names standard
// output itself ("/dev/stdout", or the file standard output is redirected
// to) is written through standard output, neither emptied nor closed, so a
// shell's ">>" appends. The files opened here are closed on return.
ConversionResult convertFile(const char* inputPath, const char* outputPath,
                             ConversionTally& tally);

// Converts MGF text that arrives in pieces, in order (a file read a slice
// at a time in a browser, a network stream), into MSP text handed out as
// it is made: the same bytes and the same tally as convertBytes on the
// whole text. Each feed() converts every record that is complete by then;
// a record cut by the end of a piece waits for the next. Memory holds the
// largest record and one block, not the whole input.
//
//   mspforge::StreamingConversion conversion(
//       [&](std::string_view msp) { sink(msp); });
//   while (more) conversion.feed(nextPiece());
//   std::string line = mspforge::formatTally(conversion.finish());
class StreamingConversion {
 public:
  // output receives each piece of MSP text, in order.
  explicit StreamingConversion(std::function<void(std::string_view)> output);
  ~StreamingConversion();
  StreamingConversion(const StreamingConversion&) = delete;
  StreamingConversion& operator=(const StreamingConversion&) = delete;

  // The next piece of the input.
  void feed(std::string_view bytes);

  // The input has ended: converts what is left and returns the tally.
  // Nothing may be fed afterwards.
  ConversionTally finish();

  // What has been counted so far (progress), and the input bytes taken.
  const ConversionTally& tally() const;
  std::uint64_t bytesFed() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The command's tally line, with its line end:
//   "Total spectra = N[ Ignored spectra(no peaks) = N][ Unrecognized format
//   N spectra]\n", each optional piece only when its count is not 0.
std::string formatTally(const ConversionTally& tally);

}  // namespace mspforge
