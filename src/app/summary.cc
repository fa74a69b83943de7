// The summary that tells a user why spectra are missing from a library,
// and what would bring them in.
#include <string>
#include <string_view>
#include <vector>

#include "mspforge/mspforge.h"
#include "translate/name_template.h"

namespace mspforge {
namespace {

// What a spectrum that was not written lacks, as the summary and Python's
// translate() say it.
constexpr std::string_view kWithoutName =
    "without a compound name (NAME, COMPOUND_NAME or TITLE)";
constexpr std::string_view kWithoutMsLevel =
    "without an MS level (MSLEVEL or MS_LEVEL)";
constexpr std::string_view kWithoutPrecursorMz =
    "without a precursor m/z (PEPMASS or PRECURSOR_MZ)";
constexpr std::string_view kWithoutPeaks =
    "without peaks (peak lines below 1.0 do not count)";

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

// How many of the spectra without a name have a header line of key.
std::int64_t unnamedWith(std::string_view key, const ConversionTally& tally) {
  if (key == "FEATURE_ID") return tally.unnamedWithFeatureId;
  if (key == "SCANS") return tally.unnamedWithScans;
  if (key == "SPECTRUMID") return tally.unnamedWithSpectrumId;
  return 0;
}

// A name template that every spectrum without a name can be given: the
// first of SuggestedNameTemplates whose key all of them have.
const SuggestedNameTemplate* templateForAll(const ConversionTally& tally) {
  for (const SuggestedNameTemplate& suggested : SuggestedNameTemplates) {
    if (unnamedWith(suggested.key, tally) == tally.withoutName) {
      return &suggested;
    }
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

// What the peak lines hold that some reader cannot take, and the layouts
// that write them for it.
std::string peakLineForms(const ConversionTally& tally, SummaryVoice voice) {
  std::string lines;
  const std::int64_t exponent = tally.peakLinesInExponentForm;
  const std::int64_t columns = tally.peakLinesWithMoreColumns;
  if (exponent > 0 || columns > 0) {
    std::string held;
    if (exponent > 0) {
      held = count(exponent) + " hold numbers in exponent form (MS-DIAL and "
             "OpenMS read 1.9e+04 as 1.9)";
    }
    if (columns > 0) {
      held += (held.empty() ? "" : " and ") + count(columns) +
              " a third column (matchms stops loading there)";
    }
    const Remedy plain{
        "; --for msdial, --for matchms and --for openms write plain numbers",
        R"(; target="msdial", "matchms" or "openms" writes plain numbers)",
        "; the layouts for MS-DIAL, matchms and OpenMS write plain numbers"};
    lines += "mspforge: peak lines are written as read: " + held +
             said(plain, voice) + "\n";
  }
  if (tally.peakLinesLeftOut > 0) {
    lines += "mspforge: " + count(tally.peakLinesLeftOut) +
             (tally.peakLinesLeftOut == 1 ? " peak line was" : " peak lines were") +
             " left out: no m/z and intensity this layout can write in "
             "plain decimal digits (inf, a hexadecimal number, a negative "
             "or missing intensity)\n";
  }
  return lines;
}

// The written spectra whose adduct is only a guess from their charge.
std::string guessedAdducts(const ConversionTally& tally) {
  const std::int64_t n = tally.adductsFromCharge;
  if (n == 0) return "";
  return "mspforge: " + count(n) + " of " + count(tally.writtenSpectra()) +
         " written spectra " + (n == 1 ? "has" : "have") +
         " a Precursor_type guessed from their charge: check them, or state "
         "ADDUCT/ION\n";
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
    auto reason = [&](std::int64_t n, std::string_view what) {
      if (n == 0) return;
      summary += separator + count(n) + " " + std::string(what);
      separator = ", ";
    };
    reason(tally.withoutName, kWithoutName);
    reason(tally.withoutMsLevel, kWithoutMsLevel);
    reason(tally.withoutPrecursorMz, kWithoutPrecursorMz);
    reason(tally.ignoredSpectra, kWithoutPeaks);
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
  summary += guessedAdducts(tally);
  summary += peakLineForms(tally, voice);
  return summary;
}

std::vector<std::string_view> reasonsNotWritten(const TranslationNotes& notes,
                                                bool hasPeaks) {
  std::vector<std::string_view> reasons;
  if (notes.lacksName) reasons.push_back(kWithoutName);
  if (notes.lacksMsLevel) reasons.push_back(kWithoutMsLevel);
  if (notes.lacksPrecursorMz) reasons.push_back(kWithoutPrecursorMz);
  if (!hasPeaks) reasons.push_back(kWithoutPeaks);
  return reasons;
}

}  // namespace mspforge
