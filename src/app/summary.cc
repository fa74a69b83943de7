// The summary that tells a user why spectra are missing from a library,
// and what would bring them in.
#include <string>
#include <string_view>

#include "mspforge/mspforge.h"

namespace mspforge {
namespace {

std::string count(std::int64_t n) { return std::to_string(n); }

// What the first bytes of an input without any record suggest it is.
std::string guessWhatItIs(std::string_view head) {
  if (head.empty()) return "the input is empty";
  struct Signature {
    std::string_view bytes;
    const char* what;
  };
  constexpr Signature kCompressed[] = {
      {"PK\x03\x04", "a zip archive: unpack it first"},
      {"BZh", "compressed with bzip2: decompress it first (gzip is read as it is)"},
      {"\xFD" "7zXZ", "compressed with xz: decompress it first (gzip is read as it is)"},
      {"\x28\xB5\x2F\xFD", "compressed with zstd: decompress it first (gzip is read as it is)"},
      {"7z\xBC\xAF", "a 7-Zip archive: unpack it first"},
  };
  for (const Signature& signature : kCompressed) {
    if (head.starts_with(signature.bytes)) {
      return std::string("it looks like ") + signature.what;
    }
  }
  // UTF-16 text without a byte-order mark: every other byte of ASCII text
  // is zero. Nothing is guessed for the conversion itself.
  std::size_t evenZeros = 0;
  std::size_t oddZeros = 0;
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (head[i] == '\0') ++(i % 2 == 0 ? evenZeros : oddZeros);
  }
  if (head.size() >= 8 && (evenZeros * 2 >= head.size() - 1 ||
                           oddZeros * 2 >= head.size() - 1)) {
    return "it looks like UTF-16 text without a byte-order mark: save it as "
           "UTF-8, or as UTF-16 with a byte-order mark";
  }
  std::string_view start = head;
  if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
  if (start.starts_with("Name:") || start.starts_with("NAME:")) {
    return "it looks like an MSP library already, not MGF";
  }
  return "is it MGF? An MGF spectrum starts with a line BEGIN IONS";
}

}  // namespace

std::string formatSummary(const ConversionTally& tally,
                          std::string_view inputHead) {
  if (tally.totalSpectra == 0) {
    return "mspforge: no spectrum read: no line begins with BEGIN IONS; " +
           guessWhatItIs(inputHead) + "\n";
  }
  const std::int64_t written = tally.writtenSpectra();
  if (written == tally.totalSpectra) return "";
  std::string summary = "mspforge: " + count(written) + " of " +
                        count(tally.totalSpectra) +
                        " spectra written; not written:";
  const char* separator = " ";
  auto reason = [&](std::int64_t n, const char* what) {
    if (n == 0) return;
    summary += separator + count(n) + " " + what;
    separator = ", ";
  };
  reason(tally.withoutName,
         "without a compound name (NAME, COMPOUND_NAME or TITLE)");
  reason(tally.withoutMsLevel, "without an MS level (MSLEVEL or MS_LEVEL)");
  reason(tally.withoutPrecursorMz,
         "without a precursor m/z (PEPMASS or PRECURSOR_MZ)");
  reason(tally.ignoredSpectra,
         "without peaks (peak lines below 1.0 do not count)");
  if (tally.lackingSeveral > 0) {
    summary += "; " + count(tally.lackingSeveral) +
               (tally.lackingSeveral == 1 ? " spectrum lacks" : " spectra lack") +
               " more than one and " +
               (tally.lackingSeveral == 1 ? "is" : "are") +
               " counted under each";
  }
  summary += "\n";
  // What brings them in.
  if (tally.withoutMsLevel > 0) {
    summary +=
        "mspforge: if the spectra without an MS level are MS2, add "
        "--default MSLEVEL=2\n";
  }
  if (tally.withoutName > 0) {
    summary +=
        "mspforge: to write spectra without a name, give them one with "
        "--default TITLE=TEXT (spectra with a name of their own keep it)\n";
  }
  if (tally.withoutPrecursorMz > 0) {
    summary +=
        "mspforge: a library spectrum needs its precursor m/z; where all "
        "share one, add --default PEPMASS=MZ\n";
  }
  return summary;
}

}  // namespace mspforge
