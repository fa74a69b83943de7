// The MGF header keys that have an MSP equivalent, and how each value is
// normalised on the way. Every other MGF key goes to the "Comments:" line
// under its own name.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace mspforge {

// What happens to the value of a renamed key.
enum class ValueRule {
  Copy,           // stored unchanged under the MSP key
  Name,           // becomes the text of the "Name:" line
  SpectrumType,   // MS level: "MS" put before it unless it reads as 0
  IonMode,        // "N" for "negative" in any letter case, blanks and
                  // tabs around it ignored; "P" for anything else
  PrecursorType,  // adduct: "]1+" / "]1-" shortened to "]+" / "]-", then
                  // written in adduct notation ("M-H" -> "[M-H]-")
  Formula,        // a trailing charge sign ("+" or "-") removed
  PrecursorMz,    // the first blank- or tab-separated word: the m/z alone
};

struct KeyRename {
  std::string_view sourceKey;   // MGF key, matched whole and case-sensitively
  std::string_view libraryKey;  // MSP key; "Name" stands for the Name line
  ValueRule rule;
};

// Where several MGF keys share an MSP key, the one with the greatest key in
// byte order wins, because the renaming walk visits keys in that order:
// "NAME" over "COMPOUND_NAME", "MS_LEVEL" over "MSLEVEL", and so on.
// The four adduct keys rank the same way: "PRECURSOR_TYPE" (as some
// library exports write it) over "PRECURSORTYPE" (as matchms writes it)
// over "ION" (as feature exports for molecular networking state each
// ion's adduct) over "ADDUCT".
inline constexpr std::array<KeyRename, 21> KeyRenameTable = {{
    {"NAME", "Name", ValueRule::Name},
    {"COMPOUND_NAME", "Name", ValueRule::Name},
    {"ADDUCT", "Precursor_type", ValueRule::PrecursorType},
    {"PRECURSORTYPE", "Precursor_type", ValueRule::PrecursorType},
    {"PRECURSOR_TYPE", "Precursor_type", ValueRule::PrecursorType},
    {"ION", "Precursor_type", ValueRule::PrecursorType},
    {"COLLISION_ENERGY", "Collision_energy", ValueRule::Copy},
    {"COLLISIONENERGY", "Collision_energy", ValueRule::Copy},
    {"COLLISION_ENERGY_1", "Collision_energy", ValueRule::Copy},
    {"ION_MODE", "Ion_mode", ValueRule::IonMode},
    {"IONMODE", "Ion_mode", ValueRule::IonMode},
    {"MSLEVEL", "Spectrum_type", ValueRule::SpectrumType},
    {"MS_LEVEL", "Spectrum_type", ValueRule::SpectrumType},
    {"MS_IONISATION", "Ionization", ValueRule::Copy},
    {"MS_MANUFACTURER", "Instrument", ValueRule::Copy},
    {"PEPMASS", "PrecursorMZ", ValueRule::PrecursorMz},
    {"PRECURSOR_MZ", "PrecursorMZ", ValueRule::PrecursorMz},
    {"MS_DISSOCIATION_METHOD", "Instrument_type", ValueRule::Copy},
    {"FRAGMENTATION_METHOD", "Instrument_type", ValueRule::Copy},
    {"FORMULA", "Formula", ValueRule::Formula},
    {"INCHIAUX", "InChIKey", ValueRule::Copy},
}};

// The MSP keys of the library fields, in byte order: the order in which
// the writer emits them.
inline constexpr std::array<std::string_view, 10> LibraryKeys = {
    "Collision_energy", "Formula",      "InChIKey",   "Instrument",
    "Instrument_type",  "Ion_mode",     "Ionization", "PrecursorMZ",
    "Precursor_type",   "Spectrum_type"};

// The row whose source key equals key, or nullptr.
const KeyRename* findKeyRename(std::string_view key);

namespace key_rename_detail {

constexpr std::size_t indexOfLibraryKey(std::string_view key) {
  for (std::size_t i = 0; i < LibraryKeys.size(); ++i) {
    if (LibraryKeys[i] == key) return i;
  }
  return LibraryKeys.size();
}

constexpr std::array<std::uint8_t, KeyRenameTable.size()> rowSlots() {
  std::array<std::uint8_t, KeyRenameTable.size()> slots{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    slots[i] = static_cast<std::uint8_t>(
        indexOfLibraryKey(KeyRenameTable[i].libraryKey));
  }
  return slots;
}

constexpr std::array<std::uint8_t, KeyRenameTable.size()> rowRanks() {
  std::array<std::uint8_t, KeyRenameTable.size()> ranks{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    for (const KeyRename& other : KeyRenameTable) {
      if (other.libraryKey == KeyRenameTable[i].libraryKey &&
          other.sourceKey < KeyRenameTable[i].sourceKey) {
        ++ranks[i];
      }
    }
  }
  return ranks;
}

inline constexpr auto kRowSlots = rowSlots();
inline constexpr auto kRowRanks = rowRanks();

}  // namespace key_rename_detail

// Where the library key of a row stands in LibraryKeys; LibraryKeys.size()
// for "Name".
inline std::size_t libraryKeyIndex(const KeyRename& row) {
  return key_rename_detail::kRowSlots[static_cast<std::size_t>(
      &row - KeyRenameTable.data())];
}

// The precedence of a row among those that share its library key: the
// greater its source key in byte order, the higher (see KeyRenameTable).
inline int sourceKeyRank(const KeyRename& row) {
  return key_rename_detail::kRowRanks[static_cast<std::size_t>(
      &row - KeyRenameTable.data())];
}

}  // namespace mspforge
