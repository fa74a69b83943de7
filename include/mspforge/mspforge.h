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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mspforge/read_integer.h"
#include "mspforge/record_types.h"
#include "mspforge/streams.h"
#include "mspforge/tally.h"
#include "mspforge/translation.h"
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
//   - a line that begins with "BEGIN IONS" ends the record unfinished and
//     begins the next one: a spectrum never runs into the next;
//   - anything else is ignored.
// Returns true with the record in the two containers once its "END IONS"
// line is read; the input then stands just behind that line. A record that
// ends unfinished (a "BEGIN IONS" line, the end of the input, or a 0x1A
// byte before its "END IONS") is skipped; readNextMgfRecord tells of it.
// Returns false when the input ends without another complete record.
// After false, input.failed tells whether a read error ended the input.
bool readMgfRecord(MgfInput& input, FieldMap& sourceFields,
                   PeakLines& peakLines);

// How readNextMgfRecord ended.
enum class RecordEnd {
  EndIons,     // a complete record: its "END IONS" line was read
  Unfinished,  // a record without "END IONS": the next "BEGIN IONS" line or
               // the end of the input came first. The containers hold what
               // was read of it; it is no library record
  NoMore,      // no further record: the input ended (or failed, or a
               // stream's next bytes have not arrived yet)
};

// readMgfRecord that also delivers unfinished records, so that a caller
// can count and report them. input.recordLine gives the line where the
// record delivered (complete or not) begins.
RecordEnd readNextMgfRecord(MgfInput& input, FieldMap& sourceFields,
                            PeakLines& peakLines);

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

// The MSP layout of a library, for the tool that reads it (--for):
//   Nist     the NIST layout: "Name:", "PrecursorMZ:", "Precursor_type:",
//            "Ion_mode: P", one "Comments:" line of KEY=value, peak lines
//            as read. For NIST MS Search and mssearchr; the default.
//   MsDial, Matchms, OpenMs  keys in capitals ("NAME:", "PRECURSORMZ:",
//            "PRECURSORTYPE:", "IONMODE: Negative", "SMILES:", "INCHI:",
//            "RETENTIONTIME:" ...), the other header fields as quoted
//            "KEY=value" pairs on "COMMENTS:", and peak lines as two
//            numbers in plain decimal digits, so that each tool reads the
//            library whole. Retention times in minutes for MS-DIAL, in
//            seconds for the others; OpenMS gets unique names.
enum class LibraryLayout { Nist, MsDial, Matchms, OpenMs };

// The layout named "nist", "msdial", "matchms" or "openms"; false for any
// other name.
bool libraryLayoutNamed(std::string_view name, LibraryLayout& layout);
std::string_view libraryLayoutName(LibraryLayout layout);

enum class ConversionResult {
  Complete,     // the input was read to its end and the output is complete
  CannotOpen,   // convertFile only: an input or output that cannot be used
  ReadFailed,   // a read error ended the input early; output incomplete
  WriteFailed,  // a write to the output failed; output incomplete
};

// What became of one record, for a report of every spectrum read. The
// views are valid during the call only.
struct RecordOutcome {
  enum class Fate { Written, NoPeaks, Rejected, Unfinished };
  std::int64_t number = 0;  // 1 for the first record of the input; records
                            // without END IONS (Unfinished) are numbered too
  std::uint64_t line = 0;   // the line of its "BEGIN IONS", from 1
  Fate fate = Fate::Written;
  std::string_view name;    // the Name line's text, or for a record without
                            // peaks or END IONS its NAME, COMPOUND_NAME or
                            // TITLE
  TranslationNotes notes;   // for Written and Rejected
  const std::string_view* precursorType = nullptr;  // null when none
  // For Written and Rejected: the MSP fields the record was given (its
  // PrecursorMZ, Ion_mode, Spectrum_type ...); null otherwise.
  const FieldMap* libraryFields = nullptr;
  std::size_t peakLines = 0;  // peak lines that count (leading m/z >= 1.0)
};

// Counters that a conversion keeps up to date while it runs, for a progress
// display on another thread.
struct ConversionProgress {
  std::atomic<std::uint64_t> bytesRead{0};  // of the input as stored
  std::atomic<std::int64_t> spectra{0};     // records read so far
};

// How a conversion runs besides the rules.
struct ConversionOptions {
  // Header lines that a record without a line of that key gets, before it
  // is translated, as if they stood in the record: ("MSLEVEL", "2") gives
  // an MS level to the records that have none. Keys the reader drops
  // ("USI", "EXACTMASS") and the value "N/A" have no effect, as such lines
  // would have none.
  std::vector<std::pair<std::string, std::string>> defaults;
  // The name of a record that has none (no NAME, COMPOUND_NAME or TITLE
  // that is not blank): each "{KEY}" replaced by the value of the record's
  // header line KEY as read ("Feature {FEATURE_ID}"). A record without a
  // KEY the template names stays without a name. Empty: none.
  std::string nameTemplate;
  // The layout of the library written.
  LibraryLayout layout = LibraryLayout::Nist;
  // Called for every record read, in input order, on the converting thread.
  std::function<void(const RecordOutcome&)> onRecord;
  // Kept up to date when set; it must outlive the conversion.
  ConversionProgress* progress = nullptr;
  // How many threads convert the input (convertFile): 0 for one per core.
  // One thread reads (and decodes gzip or UTF-16) and cuts the input into
  // chunks at record starts; the others convert them side by side, and
  // they are written in order: the same bytes as one thread gives. A file
  // no larger than one chunk, a run with onRecord and the OpenMS layout
  // (whose names depend on all the names before) use one thread.
  unsigned threads = 0;
  // Bytes per chunk of a file converted in parallel; 0 for the default.
  std::size_t chunkBytes = 0;
};

// Converts every record of input onto output, counting into tally, and
// stops at the first read or write failure. Flushes output, which then
// holds the whole result when Complete is returned.
ConversionResult convertRecords(MgfInput& input, MspOutput& output,
                                ConversionTally& tally,
                                const ConversionOptions& options = {});

// Converts MGF bytes held in memory; the MSP text is appended to msp.
// Gzip and UTF-16 bytes are decoded first, as convertFile decodes them.
// Returns Complete, or ReadFailed for a corrupt or truncated gzip stream.
ConversionResult convertBytes(std::string_view mgf, std::string& msp,
                              ConversionTally& tally,
                              const ConversionOptions& options = {});

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

// Why convertFile did not complete, and what it learnt of its input.
struct FileConversionDetails {
  enum class Problem {
    None,
    CannotOpenInput,   // reason says why
    CannotOpenOutput,  // reason says why
    OutputIsInput,     // the output path names the input file
    OutputHoldsMgf,    // the output is an MGF file (paths swapped?)
    ReadFailed,        // reason says why
    WriteFailed,       // reason says why
  };
  Problem problem = Problem::None;
  std::string path;     // the file the problem concerns
  int systemError = 0;  // errno (GetLastError() on Windows), or 0 when the
                        // cause is not the system's
  std::string reason;   // in the system's words, or the data's
  bool isDirectory = false;  // the path that cannot be opened is a directory
  bool isLocked = false;     // another program holds the file
  std::string inputHead;      // the input's first bytes, as stored
  std::string inputEncoding;  // "", "gzip", "UTF-16" or "gzip, UTF-16"
};

// convertFile with options, and with details of the run when given. The
// path "-" is standard input as the input and standard output as the
// output. Compressed (gzip) and UTF-16 input, told by its first bytes, is
// decoded as it is read.
ConversionResult convertFile(const char* inputPath, const char* outputPath,
                             ConversionTally& tally,
                             const ConversionOptions& options,
                             FileConversionDetails* details = nullptr);

// True when path, as convertFile's output, is standard output: "-",
// "/dev/stdout", or the file standard output is redirected to.
bool isStandardOutputPath(const char* path);

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
  // output receives each piece of MSP text, in order. The input may be
  // gzip (where the build can decompress it) or UTF-16, as convertFile
  // reads it.
  explicit StreamingConversion(std::function<void(std::string_view)> output,
                               const ConversionOptions& options = {});
  ~StreamingConversion();
  StreamingConversion(const StreamingConversion&) = delete;
  StreamingConversion& operator=(const StreamingConversion&) = delete;

  // The next piece of the input.
  void feed(std::string_view bytes);

  // The input has ended: converts what is left and returns the tally.
  // Nothing may be fed afterwards.
  ConversionTally finish();

  // True when the input could not be decoded (a corrupt gzip stream); the
  // reason is in failure(). Nothing more is converted then.
  bool failed() const;
  const std::string& failure() const;
  // The first bytes fed, for describing an input without any record.
  const std::string& inputHead() const;

  // What has been counted so far (progress), and the input bytes taken.
  const ConversionTally& tally() const;
  std::uint64_t bytesFed() const;
  // The lines read so far: once finished, those of the whole input.
  std::uint64_t linesRead() const;
  // Whether a 0x1A byte (an old end-of-file mark) ended the input before
  // the bytes fed did.
  bool stoppedAtEndMark() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mspforge
