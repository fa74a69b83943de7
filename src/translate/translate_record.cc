#include "translate/translate_record.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "mspforge/read_integer.h"
#include "translate/adduct_notation.h"
#include "translate/complete_record.h"
#include "translate/translation_memory.h"

namespace mspforge {
namespace {

// The adduct with "]1+" or "]1-" shortened (and everything after them
// dropped), then in adduct notation: a view of value when neither changes
// it, else a text built in storage.
[[gnu::noinline]] std::string_view rewriteAdduct(std::string_view value,
                                                 FieldMap& storage) {
  std::string shortened;
  for (std::string_view shortForm : {"]1+", "]1-"}) {
    std::size_t at = value.find(shortForm);
    if (at != std::string_view::npos) {
      shortened.assign(value.substr(0, at));
      shortened += ']';
      shortened += shortForm.back();
      value = shortened;
      break;
    }
  }
  std::string notation;
  if (statedAdductNotation(value, notation)) return storage.keep(notation);
  return shortened.empty() ? value : storage.keep(shortened);
}
// "MS" and the MS level, kept in storage.
[[gnu::noinline]] std::string_view spectrumType(std::string_view level,
                                                FieldMap& storage) {
  char text[32] = {'M', 'S'};
  if (level.size() > sizeof text - 2) {
    return storage.keep("MS" + std::string(level));
  }
  std::memcpy(text + 2, level.data(), level.size());
  return storage.keep(std::string_view(text, level.size() + 2));
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
  static_assert(kNegative.size() == 8);
  value = trimBlanksAndTabs(value);
  if (value.size() != kNegative.size()) return false;
  // The eight bytes as one word, each with the bit of small letters set:
  // only "N" and "n" become "n", "E" and "e" become "e", and so on.
  std::uint64_t word;
  std::uint64_t negative;
  std::memcpy(&word, value.data(), 8);
  std::memcpy(&negative, kNegative.data(), 8);
  return (word | 0x2020202020202020u) == negative;
}

// MGF's PEPMASS holds the precursor m/z, optionally followed by its
// intensity (and, in some exports, a charge): "983.6 1234 2+". An MSP
// PrecursorMZ is the m/z alone, or readers find no precursor at all.
std::string_view firstWord(std::string_view value) {
  while (!value.empty() && isBlankOrTab(value.front())) value.remove_prefix(1);
  // Eight bytes at a time while they hold no blank nor tab: an m/z alone
  // ("337.98754") is passed over in a step or two.
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const auto holds = [](std::uint64_t word, char c) {
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return ((x - kOnes) & ~x & (kOnes << 7)) != 0;
  };
  std::size_t end = 0;
  for (; end + 8 <= value.size(); end += 8) {
    std::uint64_t word;
    std::memcpy(&word, value.data() + end, 8);
    if (holds(word, ' ') || holds(word, '\t')) break;
  }
  while (end < value.size() && !isBlankOrTab(value[end])) ++end;
  return value.substr(0, end);
}

// normaliseValue, written out where a record's values are normalised.
[[gnu::always_inline]] inline std::string_view normalise(
    ValueRule rule, std::string_view value, FieldMap& storage) {
  switch (rule) {
    case ValueRule::SpectrumType:
      // Most files state a level of one digit, not 0: its text is a
      // constant.
      if (value.size() == 1 && value[0] >= '1' && value[0] <= '9') {
        constexpr std::string_view kLevels = "MS1MS2MS3MS4MS5MS6MS7MS8MS9";
        return kLevels.substr(3 * static_cast<std::size_t>(value[0] - '1'), 3);
      }
      if (readInteger(value) == 0) return value;
      return spectrumType(value, storage);
    case ValueRule::IonMode:
      return isNegativeIonMode(value) ? "N" : "P";
    case ValueRule::PrecursorType:
      return rewriteAdduct(value, storage);
    case ValueRule::Formula:
      if (!value.empty() && (value.back() == '+' || value.back() == '-')) {
        value.remove_suffix(1);
      }
      return value;
    case ValueRule::PrecursorMz:
      return firstWord(value);
    case ValueRule::Copy:
    case ValueRule::Name:
      return value;
  }
  return value;
}

// Fills the outputs, emptied, as plan says for the source's header lines.
bool applyPlan(const WalkPlan& plan, const FieldMap& sourceFields,
               CompoundName& compoundName, FieldMap& libraryFields,
               FieldMap& commentFields, TranslationNotes* notes,
               std::string_view nameTemplate, TranslationMemory* memory) {
  libraryFields.clear();
  commentFields.clear();
  compoundName.clear();
  const std::span<const Field> fields = sourceFields.entriesAsSet();
  const auto line = [fields](std::int32_t index) -> const Field& {
    return fields[static_cast<std::size_t>(index)];
  };
  // Comments keep the source's own bytes: no copy.
  commentFields.appendInOrder(fields, plan.comments);
  if (plan.winners.back() != WalkPlan::kNone) {
    compoundName.assign(line(plan.winners.back()).value);
  }
  LibrarySlots library;
  for (std::size_t k = 0; k < plan.libraryKeyCount; ++k) {
    const std::size_t i = plan.libraryKeys[k];
    const KeyRename& row = *plan.rows[i];
    // A view of the source, or a text kept in libraryFields' storage.
    const std::string_view value = line(plan.winners[i]).value;
    library.set(i, row.rule == ValueRule::PrecursorType && memory != nullptr
                       ? memory->statedAdduct(value, libraryFields)
                       : normalise(row.rule, value, libraryFields));
  }
  CompletionComments completionComments;
  if (plan.title != WalkPlan::kNone) {
    completionComments.title = &line(plan.title).value;
  }
  if (plan.charge != WalkPlan::kNone) {
    completionComments.charge = &line(plan.charge).value;
  }
  const NameFallback fallback{&sourceFields, nameTemplate};
  if (notes != nullptr) *notes = TranslationNotes{};
  const bool accepted = completeRecord(compoundName, library, libraryFields,
                                       completionComments, notes, fallback);
  if (notes != nullptr && notes->adductSource == AdductSource::StatedField) {
    notes->statedAdductKey = plan.statedAdductKey;
  }
  // LibraryKeys is in key order: the map needs no sorting.
  for (std::size_t i = 0; i < LibraryKeys.size(); ++i) {
    if (library.present[i]) {
      libraryFields.appendInOrder(LibraryKeys[i], library.values[i]);
    }
  }
  return accepted;
}

}  // namespace

std::string_view normaliseValue(ValueRule rule, std::string_view value,
                                FieldMap& storage) {
  return normalise(rule, value, storage);
}

bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields) {
  return translateRecord(sourceFields, compoundName, libraryFields,
                         commentFields, nullptr);
}

bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields,
                     TranslationNotes* notes, std::string_view nameTemplate) {
  WalkPlan plan;
  makeWalkPlan(plan, sourceFields.entriesAsSet());
  return applyPlan(plan, sourceFields, compoundName, libraryFields,
                   commentFields, notes, nameTemplate, nullptr);
}

bool translateRecord(const FieldMap& sourceFields, CompoundName& compoundName,
                     FieldMap& libraryFields, FieldMap& commentFields,
                     TranslationNotes* notes, std::string_view nameTemplate,
                     TranslationMemory& memory) {
  return applyPlan(memory.planFor(sourceFields), sourceFields,
                   compoundName, libraryFields, commentFields, notes,
                   nameTemplate, &memory);
}

}  // namespace mspforge
