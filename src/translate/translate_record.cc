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
      out.push_back(value == "negative" ? 'N' : 'P');
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
      commentFields.set(field.key, field.value);
    } else if (row->rule == ValueRule::Name) {
      compoundName.assign(field.value);
    } else {
      normaliseValue(row->rule, field.value, normalised);
      libraryFields.set(row->libraryKey, normalised);
    }
  }
  return completeRecord(compoundName, libraryFields, commentFields);
}

}  // namespace mspforge
