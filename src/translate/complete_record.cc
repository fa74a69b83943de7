#include "translate/complete_record.h"

#include <cstdint>
#include <string>

#include "mspforge/read_integer.h"
#include "translate/adduct_notation.h"
#include "translate/name_template.h"

namespace mspforge {
namespace {

constexpr std::string_view kFormicAcidAdduct = "[M+FA]-";
constexpr std::string_view kFormateAdduct = "[M+CHO2]-";

// The adduct that a bare charge implies: the molecule with as many protons
// added or taken as the charge counts. "[M+H]+" for 1, "[M-H]-" for -1,
// "[M+2H]2+" for 2, "[M-3H]3-" for -3; empty for 0. (Library readers take
// "[M+2]2+" for the molecule plus 2 Da.) The usual charges give constants,
// the others a text kept in storage.
std::string_view adductFromCharge(std::int32_t charge, FieldMap& storage) {
  if (charge == 0) return {};
  if (charge == 1) return "[M+H]+";
  if (charge == -1) return "[M-H]-";
  const char sign = charge > 0 ? '+' : '-';
  // The magnitude in 64 bits: -2147483648 has none in 32.
  const std::int64_t wide = charge;
  const std::string magnitude = std::to_string(wide < 0 ? -wide : wide);
  return storage.keep(std::string("[M") + sign + magnitude + "H]" +
                      magnitude + sign);
}

// The record's charge as its "CHARGE" comment gives it. GNPS library
// exports write "CHARGE=1" for negative-mode spectra too, so in a record
// whose ion mode is negative an unsigned or positive charge counts as
// negative.
std::int32_t recordCharge(std::string_view chargeText,
                          const LibrarySlots& library) {
  std::int32_t charge = readCharge(chargeText);
  if (charge > 0 && library.present[kIonModeSlot] &&
      library.values[kIonModeSlot] == "N") {
    charge = -charge;
  }
  return charge;
}

// Gives a record without "Precursor_type" one from its name, or failing
// that from its "CHARGE" comment. A name tail's adduct is trusted only when
// the record's charge is 0 or agrees with it.
AdductSource deriveAdduct(const CompoundName& compoundName,
                          LibrarySlots& library, FieldMap& storage,
                          const std::string_view* chargeText) {
  std::string adduct;
  if (adductFromBracket(compoundName, adduct)) {
    library.set(kPrecursorTypeSlot, storage.keep(adduct));
    return AdductSource::NameBracket;
  }
  const std::int32_t charge =
      chargeText != nullptr ? recordCharge(*chargeText, library) : 0;
  std::int32_t tailCharge = 0;
  if (adductFromNameTail(compoundName, adduct, tailCharge) &&
      chargeText != nullptr && (charge == 0 || charge == tailCharge)) {
    library.set(kPrecursorTypeSlot, storage.keep(adduct));
    return AdductSource::NameTail;
  }
  if (chargeText != nullptr && charge != 0) {
    library.set(kPrecursorTypeSlot, adductFromCharge(charge, storage));
    return AdductSource::Charge;
  }
  return AdductSource::None;
}

// A name of blanks and tabs only names nothing.
bool isBlankName(std::string_view name) {
  return name.find_first_not_of(" \t") == std::string_view::npos;
}

// Whether a precursor m/z begins with a number: an optional sign, then a
// digit, or "." and a digit. "", "abc" or "-" are no m/z.
bool beginsWithNumber(std::string_view value) {
  std::size_t i = 0;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  if (i < value.size() && value[i] == '.') ++i;
  return i < value.size() && isDigit(value[i]);
}

}  // namespace

bool completeRecord(CompoundName& compoundName, LibrarySlots& library,
                    FieldMap& storage, const CompletionComments& comments,
                    TranslationNotes* notes, const NameFallback& fallback) {
  AdductSource source = library.present[kPrecursorTypeSlot]
                            ? AdductSource::StatedField
                            : AdductSource::None;
  bool hasName = !isBlankName(compoundName);
  if (!hasName) {
    if (comments.title != nullptr && !isBlankName(*comments.title)) {
      compoundName = *comments.title;
      hasName = true;
    } else if (fallback.sourceFields != nullptr) {
      std::string templated;
      if (nameFromTemplate(fallback.nameTemplate, *fallback.sourceFields,
                           templated) &&
          !isBlankName(templated)) {
        compoundName = std::move(templated);
        hasName = true;
      }
    }
  }
  if (hasName && source == AdductSource::None) {
    source = deriveAdduct(compoundName, library, storage, comments.charge);
  }
  if (library.present[kPrecursorTypeSlot] &&
      library.values[kPrecursorTypeSlot] == kFormicAcidAdduct) {
    library.values[kPrecursorTypeSlot] = kFormateAdduct;
  }
  const bool hasMsLevel = library.present[kSpectrumTypeSlot];
  const bool hasPrecursorMz =
      library.present[kPrecursorMzSlot] &&
      beginsWithNumber(library.values[kPrecursorMzSlot]);
  if (notes != nullptr) {
    notes->adductSource = source;
    notes->lacksMsLevel = !hasMsLevel;
    notes->lacksPrecursorMz = !hasPrecursorMz;
    notes->lacksName = !hasName;
  }
  return hasMsLevel && hasPrecursorMz && hasName;
}

}  // namespace mspforge
