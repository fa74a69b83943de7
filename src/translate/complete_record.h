// The second stage of translation: fills the gaps that the renaming walk
// leaves and decides whether a record is fit for a library.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "mspforge/mspforge.h"
#include "translate/key_rename_table.h"

namespace mspforge {

// A record's library fields as the renaming walk leaves them, one slot for
// each of LibraryKeys, in its order. A present value may be empty.
struct LibrarySlots {
  std::array<std::string_view, LibraryKeys.size()> values{};
  std::array<bool, LibraryKeys.size()> present{};

  void set(std::size_t slot, std::string_view value) {
    values[slot] = value;
    present[slot] = true;
  }
};

// The slots that completion reads or fills.
inline constexpr std::size_t kIonModeSlot =
    key_rename_detail::indexOfLibraryKey("Ion_mode");
inline constexpr std::size_t kPrecursorMzSlot =
    key_rename_detail::indexOfLibraryKey("PrecursorMZ");
inline constexpr std::size_t kPrecursorTypeSlot =
    key_rename_detail::indexOfLibraryKey("Precursor_type");
inline constexpr std::size_t kSpectrumTypeSlot =
    key_rename_detail::indexOfLibraryKey("Spectrum_type");
static_assert(kIonModeSlot < LibraryKeys.size() &&
              kPrecursorMzSlot < LibraryKeys.size() &&
              kPrecursorTypeSlot < LibraryKeys.size() &&
              kSpectrumTypeSlot < LibraryKeys.size());

// The two comments that completion reads, "TITLE" and "CHARGE": the value
// set last under each, or nullptr.
struct CompletionComments {
  const std::string_view* title = nullptr;
  const std::string_view* charge = nullptr;
};

// What names a record that has no name of its own nor a title: the
// template of --name, filled from the record's header lines as read.
struct NameFallback {
  const FieldMap* sourceFields = nullptr;
  std::string_view nameTemplate;
};

// Completes the record that translateRecord's walk left in compoundName and
// library, in this order:
//   1. a name of blanks and tabs only (or none) takes the value of the
//      "TITLE" comment, when that is not blank either, else the name that
//      fallback's template gives;
//   2. a record with a name and without "Precursor_type" gets one from the
//      bracket notation in its name ("Caffeine [M+H]"), else from the last
//      word of its name ("Caffeine M+H") when the "CHARGE" comment reads as
//      0 or as the same charge, else from "CHARGE" alone (1: "[M+H]+",
//      -1: "[M-H]-", 2: "[M+2H]2+", 0: none). "CHARGE" is read by
//      readCharge ("2-" is -2), and in a record whose "Ion_mode" is "N" a
//      positive charge counts as negative. A "Precursor_type" already
//      present, even empty, is kept;
//   3. "Precursor_type" "[M+FA]-" becomes "[M+CHO2]-";
//   4. the verdict: true when the record has a name that is not blank, an
//      MS level ("Spectrum_type", whatever its value) and a precursor m/z
//      ("PrecursorMZ") that begins with a number: an optional sign, then a
//      digit, or "." and a digit.
// A derived adduct is kept in storage's memory. A rejected record keeps
// what steps 1 to 3 put in the outputs. When notes is not nullptr, it
// tells where the adduct came from (a "Precursor_type" already present
// counts as AdductSource::StatedField) and what a rejected record lacks.
bool completeRecord(CompoundName& compoundName, LibrarySlots& library,
                    FieldMap& storage, const CompletionComments& comments,
                    TranslationNotes* notes, const NameFallback& fallback);

}  // namespace mspforge
