// The summary that tells a user why spectra are missing from a library,
// and what would bring them in.
#include <iterator>
#include <string>
#include <string_view>

#include "mspforge/mspforge.h"
#include "translate/name_template.h"

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

// A sentence for n spectra: "1 spectrum has", "2 spectra have".
std::string spectra(std::int64_t n, const char* one, const char* many) {
  return count(n) + (n == 1 ? " spectrum " : " spectra ") + (n == 1 ? one : many);
}

std::string unfinishedLine(const ConversionTally& tally) {
  const std::int64_t n = tally.unterminatedSpectra;
  return "mspforge: " +
         spectra(n, "has no END IONS line and was left out: the one at line ",
                 "have no END IONS line and were left out, the first at "
                 "line ") +
         count(static_cast<std::int64_t>(tally.firstUnterminatedLine)) +
         " (a file cut short, or files joined?)\n";
}

// How a remedy is said to whoever reads the summary.
struct Remedy {
  std::string command;  // the command's options
  std::string python;   // the Python functions' keyword arguments
  std::string page;     // the page's controls; empty when it has none
};

const std::string& said(const Remedy& remedy, SummaryVoice voice) {
  switch (voice) {
    case SummaryVoice::Command: return remedy.command;
    case SummaryVoice::Python: return remedy.python;
    case SummaryVoice::Page: return remedy.page;
  }
  return remedy.command;
}

// A name template that every spectrum without a name can be given: the
// first of SuggestedNameTemplates whose key all of them have.
const SuggestedNameTemplate* templateForAll(const ConversionTally& tally) {
  const std::int64_t counts[] = {tally.unnamedWithFeatureId,
                                 tally.unnamedWithScans,
                                 tally.unnamedWithSpectrumId};
  static_assert(std::size(counts) == SuggestedNameTemplates.size());
  for (std::size_t i = 0; i < SuggestedNameTemplates.size(); ++i) {
    if (counts[i] == tally.withoutName) return &SuggestedNameTemplates[i];
  }
  return nullptr;
}

// What would bring the spectra that were left out in, a line each.
std::string remedies(const ConversionTally& tally, SummaryVoice voice) {
  std::string lines;
  auto add = [&](const std::string& before, const Remedy& remedy,
                 const std::string& after = "") {
    if (said(remedy, voice).empty()) return;
    lines += "mspforge: " + before + said(remedy, voice) + after + "\n";
  };
  const std::int64_t both = tally.withoutMsLevelAndPrecursorMz;
  if (tally.withoutMsLevel > both) {
    add("if the spectra without an MS level are MS2, ",
        {"add --default MSLEVEL=2", R"(pass defaults={"MSLEVEL": "2"})",
         R"(tick "Spectra without an MS level are MS2")"});
  }
  if (tally.withoutName > 0) {
    if (const SuggestedNameTemplate* suggested = templateForAll(tally)) {
      const std::string key(suggested->key);
      const std::string text(suggested->nameTemplate);
      add("to write the spectra without a name, name them from their " + key +
              ": ",
          {"add --name '" + text + "'", "pass name=\"" + text + "\"",
           "give them the name " + text});
    } else {
      add("to write the spectra without a name, name them from a header "
          "line they all have: ",
          {"--name 'TEXT {KEY}'", "name=\"TEXT {KEY}\"",
           "a name such as TEXT {KEY}"},
          " ({KEY} stands for the value of their line KEY)");
    }
  }
  if (tally.withoutPrecursorMz > both) {
    add("a library spectrum needs its precursor m/z; where all share one, ",
        {"add --default PEPMASS=MZ", R"(pass defaults={"PEPMASS": "MZ"})",
         ""});
  }
  if (both > 0) {
    lines += "mspforge: " +
             spectra(both, "has neither", "have neither") +
             " a precursor m/z nor an MS level: " +
             (both == 1 ? "it looks like an MS1 or EI spectrum"
                        : "they look like MS1 or EI spectra") +
             ", and an MSP tandem library needs a precursor m/z\n";
  }
  return lines;
}

}  // namespace

std::string formatSummary(const ConversionTally& tally,
                          std::string_view inputHead, SummaryVoice voice) {
  if (tally.totalSpectra == 0) {
    if (tally.unterminatedSpectra != 0) {
      return "mspforge: no complete spectrum read\n" + unfinishedLine(tally);
    }
    return "mspforge: no spectrum read: no line begins with BEGIN IONS; " +
           guessWhatItIs(inputHead) + "\n";
  }
  const std::int64_t written = tally.writtenSpectra();
  std::string summary;
  if (written != tally.totalSpectra) {
    summary = "mspforge: " + count(written) + " of " +
              count(tally.totalSpectra) + " spectra written; not written:";
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
                 (tally.lackingSeveral == 1 ? " spectrum lacks"
                                            : " spectra lack") +
                 " more than one and " +
                 (tally.lackingSeveral == 1 ? "is" : "are") +
                 " counted under each";
    }
    summary += "\n";
  }
  if (tally.unterminatedSpectra != 0) summary += unfinishedLine(tally);
  summary += remedies(tally, voice);
  return summary;
}

}  // namespace mspforge
