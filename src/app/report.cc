#include "app/report.h"

namespace mspforge {

void appendEscaped(std::string& line, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\': line += "\\\\"; break;
      case '\t': line += "\\t"; break;
      case '\r': line += "\\r"; break;
      case '\0': line += "\\0"; break;
      default: line += c;
    }
  }
}

namespace {

const char* fateText(RecordOutcome::Fate fate) {
  switch (fate) {
    case RecordOutcome::Fate::Written: return "written";
    case RecordOutcome::Fate::NoPeaks: return "no peaks";
    case RecordOutcome::Fate::Rejected: return "rejected";
    case RecordOutcome::Fate::Unfinished: return "no END IONS";
  }
  return "";
}

std::string sourceText(const TranslationNotes& notes) {
  switch (notes.adductSource) {
    case AdductSource::None: return "";
    case AdductSource::StatedField:
      return std::string(notes.statedAdductKey) + " field";
    case AdductSource::NameBracket: return "name bracket";
    case AdductSource::NameTail: return "name tail";
    case AdductSource::Charge: return "charge";
  }
  return "";
}

}  // namespace

std::string reportHeader() {
  return "spectrum\tline\tname\toutcome\tmissing\tprecursor_type\t"
         "precursor_type_from\n";
}

std::string reportLine(const RecordOutcome& outcome) {
  std::string line = std::to_string(outcome.number) + '\t' +
                     std::to_string(outcome.line) + '\t';
  appendReportColumns(line, outcome);
  line += '\n';
  return line;
}

void appendReportColumns(std::string& line, const RecordOutcome& outcome) {
  appendEscaped(line, outcome.name);
  line += '\t';
  line += fateText(outcome.fate);
  line += '\t';
  if (outcome.fate == RecordOutcome::Fate::Rejected) {
    const char* separator = "";
    for (const auto& [lacks, what] :
         {std::pair{outcome.notes.lacksName, "compound name"},
          std::pair{outcome.notes.lacksMsLevel, "MS level"},
          std::pair{outcome.notes.lacksPrecursorMz, "precursor m/z"}}) {
      if (!lacks) continue;
      line += separator;
      line += what;
      separator = ", ";
    }
  }
  line += '\t';
  if (outcome.fate == RecordOutcome::Fate::Written &&
      outcome.precursorType != nullptr) {
    appendEscaped(line, *outcome.precursorType);
    line += '\t';
    line += sourceText(outcome.notes);
  } else {
    line += '\t';
  }
}

}  // namespace mspforge
