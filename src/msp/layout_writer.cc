#include "msp/layout_writer.h"

#include <algorithm>
#include <optional>

#include "msp/msp_output.h"
#include "msp/plain_numbers.h"
#include "translate/key_rename_table.h"

namespace mspforge {
namespace {

constexpr std::string_view kPrime = "\xE2\x80\xB2";        // U+2032
constexpr std::string_view kDoublePrime = "\xE2\x80\xB3";  // U+2033

bool isBlank(std::string_view value) {
  return value.find_first_not_of(" \t") == std::string_view::npos;
}

std::string_view trimmed(std::string_view value) {
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = value.find_last_not_of(" \t");
  return value.substr(first, last - first + 1);
}

// The header line that gave the library field libraryKey: of the MGF keys
// that the key table renames to it, the greatest one the record has.
std::optional<Field> sourceOf(std::string_view libraryKey,
                              const FieldMap& sourceFields) {
  std::optional<Field> found;
  for (const KeyRename& row : KeyRenameTable) {
    if (row.libraryKey != libraryKey) continue;
    if (found && row.sourceKey < found->key) continue;
    if (const std::string_view* value = sourceFields.findLast(row.sourceKey)) {
      found = Field{row.sourceKey, *value};
    }
  }
  return found;
}

// The retention time in unit: from RTINSECONDS, else RTINMINUTES, the
// number at the start of the value. Appends it and gives the key it took,
// or gives an empty key.
std::string_view appendRetentionTime(std::string& out,
                                     const FieldMap& commentFields,
                                     TimeUnit unit) {
  struct Key {
    std::string_view key;
    TimeUnit unit;
  };
  for (const Key& key : {Key{"RTINSECONDS", TimeUnit::Seconds},
                         Key{"RTINMINUTES", TimeUnit::Minutes}}) {
    const std::string_view* value = commentFields.find(key.key);
    if (value == nullptr) continue;
    const std::string_view text = trimmed(*value);
    DecimalNumber number;
    if (!readDecimalNumber(text, number) ||
        (number.text.size() < text.size() &&
         text[number.text.size()] != ' ' && text[number.text.size()] != '\t')) {
      continue;
    }
    const bool written =
        key.unit == unit
            ? appendPlainDecimal(out, number)
            : appendTimesSixty(out, number, unit == TimeUnit::Seconds);
    if (written) return key.key;
  }
  return {};
}

// Appends the value of a line from its first source that has one. Gives
// the source it took (LineSource::None for none), and in used the header
// key or library key it consumed.
LineSource appendLineValue(std::string& out, const LayoutLine& line,
                           const LibraryLayoutRow& layoutRow,
                           const FieldMap& libraryFields,
                           const FieldMap& commentFields,
                           std::string_view& used) {
  for (const ValueSource& source : line.sources) {
    const std::string_view* value = nullptr;
    switch (source.from) {
      case LineSource::None:
        return LineSource::None;
      case LineSource::LibraryField:
        value = libraryFields.find(source.name);
        break;
      case LineSource::HeaderField:
        value = commentFields.find(source.name);
        break;
      case LineSource::IonModeWord: {
        const std::string_view* ionMode = libraryFields.find("Ion_mode");
        const std::string_view* adduct = libraryFields.find("Precursor_type");
        if (ionMode != nullptr) {
          out += *ionMode == "N" ? "Negative" : "Positive";
          used = "Ion_mode";
          return LineSource::LibraryField;
        }
        if (adduct != nullptr && !adduct->empty() &&
            (adduct->back() == '+' || adduct->back() == '-')) {
          out += adduct->back() == '-' ? "Negative" : "Positive";
          used = {};
          return source.from;
        }
        continue;
      }
      case LineSource::RetentionTime:
        used = appendRetentionTime(out, commentFields, layoutRow.retentionTime);
        if (!used.empty()) return LineSource::HeaderField;
        continue;
    }
    if (value == nullptr || isBlank(*value)) continue;
    // Every reader trims a value; OpenMS alone would keep a leading blank.
    out += trimmed(*value);
    used = source.name;
    return source.from;
  }
  return LineSource::None;
}

}  // namespace

void appendQuotedPair(std::string& out, std::string_view key,
                      std::string_view value) {
  out += '"';
  for (std::string_view text : {key, std::string_view("="), value}) {
    for (char c : text) {
      if (c == '\'') {
        out += kPrime;
      } else if (c == '"') {
        out += kDoublePrime;
      } else {
        out += c;
      }
    }
  }
  out += '"';
}

LayoutWriter::LayoutWriter(LibraryLayout layout)
    : layoutRow_(libraryLayoutRow(layout)) {}

std::string LayoutWriter::uniqueName(const std::string& name) {
  if (!layoutRow_.uniqueNames) return name;
  const auto [first, inserted] = names_.try_emplace(name, 2);
  if (inserted) return name;
  std::int64_t next = first->second;
  std::string candidate;
  do {
    candidate = name + " #" + std::to_string(next++);
  } while (names_.contains(candidate));
  first->second = next;
  names_.emplace(candidate, 2);
  return candidate;
}

bool LayoutWriter::write(MspOutput& output, const CompoundName& compoundName,
                         const FieldMap& libraryFields,
                         const FieldMap& commentFields,
                         const FieldMap& sourceFields,
                         const PeakLines& peakLines,
                         std::int64_t& peakLinesLeftOut) {
  peaks_.clear();
  std::size_t written = 0;
  peakLines.forEachLine([&](std::string_view line) {
    if (appendPlainPeakLine(peaks_, line)) {
      ++written;
    } else {
      ++peakLinesLeftOut;
    }
  });
  if (written == 0) return false;

  std::string text = "NAME: " + uniqueName(compoundName) + "\n";
  used_.clear();
  std::vector<std::string_view> usedHeaders;
  for (const LayoutLine& line : layoutRow_.lines) {
    const std::size_t start = text.size();
    text.append(line.key);
    text += ": ";
    const std::size_t valueStart = text.size();
    std::string_view used;
    const LineSource from = appendLineValue(text, line, layoutRow_,
                                            libraryFields, commentFields, used);
    if (from == LineSource::None || text.size() == valueStart) {
      text.resize(start);
      continue;
    }
    text += '\n';
    if (used.empty()) continue;
    (from == LineSource::HeaderField ? usedHeaders : used_).push_back(used);
  }

  // Every header field without a line of its own: the comments not taken,
  // and the header lines behind the library fields not written.
  comments_.clear();
  for (const Field& field : commentFields) {
    if (std::find(usedHeaders.begin(), usedHeaders.end(), field.key) ==
        usedHeaders.end()) {
      comments_.push_back(field);
    }
  }
  for (const Field& field : libraryFields) {
    if (std::find(used_.begin(), used_.end(), field.key) != used_.end()) {
      continue;
    }
    if (const std::optional<Field> source = sourceOf(field.key, sourceFields)) {
      comments_.push_back(*source);
    }
  }
  std::sort(comments_.begin(), comments_.end(),
            [](const Field& a, const Field& b) { return a.key < b.key; });
  if (!comments_.empty()) {
    text += "COMMENTS:";
    for (const Field& field : comments_) {
      text += ' ';
      appendQuotedPair(text, field.key, field.value);
    }
    text += '\n';
  }
  text += "Num Peaks: " + std::to_string(written) + "\n";
  put(output, text);
  put(output, peaks_);
  put(output, '\n');
  flushIfFull(output);
  return true;
}

}  // namespace mspforge
