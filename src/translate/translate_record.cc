#include "translate/translate_record.h"

#include "mspforge/read_integer.h"
#include "translate/complete_record.h"

namespace mspforge {
namespace {

void rewriteAdduct(std::string_view value, std::string& out) {
  for (std::string_view shortForm : {"]1+", "]1-"}) {
    std::size_t at = value.find(shortForm);
    if (at != std::string_view::npos) {
      out.assign(value.substr(0, at));
      out += ']';
      out += shortForm.back();
      return;
    }
  }
  out.assign(value);
}

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanksAndTabs(std::string_view value) {
  while (!value.empty() && isBlankOrTab(value.front())) value.remove_prefix(1);
  while (!value.empty() && isBlankOrTab(value.back())) value.remove_suffix(1);
  return value;
}

// GNPS, MZmine and most instrument software write "Negative" or
// "NEGATIVE"; all of them mean the negative ion mode.
bool isNegativeIonMode(std::string_view value) {
  constexpr std::string_view kNegative = "negative";
  value = trimBlanksAndTabs(value);
  if (value.size() != kNegative.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kNegative[i]) return false;
  }
  return true;
}

// MGF's PEPMASS holds the precursor m/z, optionally followed by its
// intensity (and, in some exports, a charge): "983.6 1234 2+". An MSP
// PrecursorMZ is the m/z alone, or readers find no precursor at all.
std::string_view firstWord(std::string_view value) {
  while (!value.empty() && isBlankOrTab(value.front())) value.remove_prefix(1);
  std::size_t end = 0;
  while (end < value.size() && !isBlankOrTab(value[end])) ++end;
  return value.substr(0, end);
}

}  // namespace

void normaliseValue(ValueRule rule, std::string_view value, std::string& out) {
  switch (rule) {
    case ValueRule::SpectrumType:
      out.clear();
      if (readInteger(value) != 0) out.append("MS");
      out += value;
      return;
    case ValueRule::IonMode:
      out.clear();
      out.push_back(isNegativeIonMode(value) ? 'N' : 'P');
      return;
    case ValueRule::PrecursorType:
      rewriteAdduct(value, out);
      return;
    case ValueRule::Formula:
      if (!value.empty() && (value.back() == '+' || value.back() == '-')) {
        value.remove_suffix(1);
      }
      out.assign(value);
      return;
    case ValueRule::PrecursorMz:
      out.assign(firstWord(value));
      return;
    case ValueRule::Copy:
    case ValueRule::Name:
      out.assign(value);
      return;
  }
}

bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields) {
  libraryFields.clear();
  commentFields.clear();
  compoundName.clear();
  std::string normalised;
  for (const Field& field : sourceFields) {
    const KeyRename* row = findKeyRename(field.key);
    if (row == nullptr) {
      // Comments keep the source's own bytes: no copy.
      commentFields.setView(field.key, field.value);
    } else if (row->rule == ValueRule::Name) {
      compoundName.assign(field.value);
    } else if (row->rule == ValueRule::Copy) {
      libraryFields.setView(row->libraryKey, field.value);
    } else {
      normaliseValue(row->rule, field.value, normalised);
      libraryFields.setView(row->libraryKey, libraryFields.keep(normalised));
    }
  }
  return completeRecord(compoundName, libraryFields, commentFields);
}

}  // namespace mspforge
