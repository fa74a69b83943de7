#include "translate/key_rename_table.h"

#include <bit>
#include <cstring>

namespace mspforge {
namespace {

// Every key of a record is looked up, and most are not in the table, so a
// key is first checked against the rows of its length (a bit per row, per
// length), then by its first eight bytes taken as one integer, and only a
// row whose prefix matches is compared whole.
constexpr std::size_t kLongestKey = 32;

constexpr std::array<std::uint32_t, kLongestKey + 1> rowsByLength() {
  std::array<std::uint32_t, kLongestKey + 1> rows{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    rows[KeyRenameTable[i].sourceKey.size()] |= std::uint32_t{1} << i;
  }
  return rows;
}

// The first eight bytes of text (zero-padded), in memory order.
constexpr std::uint64_t prefixOf(std::string_view text) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8 && i < text.size(); ++i) {
    prefix |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
  }
  return prefix;
}

constexpr std::array<std::uint64_t, KeyRenameTable.size()> rowPrefixes() {
  std::array<std::uint64_t, KeyRenameTable.size()> prefixes{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    prefixes[i] = prefixOf(KeyRenameTable[i].sourceKey);
  }
  return prefixes;
}

constexpr auto kRowsByLength = rowsByLength();
constexpr auto kRowPrefixes = rowPrefixes();
static_assert(KeyRenameTable.size() <= 32);

// prefixOf for a key at run time: eight bytes loaded at once when the key
// has them, and a key of four to seven bytes (most MGF keys) from its
// first and last four, which overlap.
std::uint64_t keyPrefix(std::string_view key) {
  const std::size_t n = key.size();
  if constexpr (std::endian::native == std::endian::little) {
    if (n >= 8) {
      std::uint64_t word;
      std::memcpy(&word, key.data(), 8);
      return word;
    }
    if (n >= 4) {
      std::uint32_t head;
      std::uint32_t tail;
      std::memcpy(&head, key.data(), 4);
      std::memcpy(&tail, key.data() + n - 4, 4);
      return std::uint64_t{head} | (std::uint64_t{tail} << (8 * (n - 4)));
    }
  }
  return prefixOf(key);
}

constexpr std::size_t indexOfLibraryKey(std::string_view key) {
  for (std::size_t i = 0; i < LibraryKeys.size(); ++i) {
    if (LibraryKeys[i] == key) return i;
  }
  return LibraryKeys.size();
}

constexpr std::array<std::size_t, KeyRenameTable.size()> rowSlots() {
  std::array<std::size_t, KeyRenameTable.size()> slots{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    slots[i] = indexOfLibraryKey(KeyRenameTable[i].libraryKey);
  }
  return slots;
}

constexpr std::array<int, KeyRenameTable.size()> rowRanks() {
  std::array<int, KeyRenameTable.size()> ranks{};
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

constexpr bool libraryKeysInOrder() {
  for (std::size_t i = 1; i < LibraryKeys.size(); ++i) {
    if (!(LibraryKeys[i - 1] < LibraryKeys[i])) return false;
  }
  for (const KeyRename& row : KeyRenameTable) {
    if (row.rule != ValueRule::Name &&
        indexOfLibraryKey(row.libraryKey) == LibraryKeys.size()) {
      return false;
    }
  }
  return true;
}
static_assert(libraryKeysInOrder(),
              "LibraryKeys must hold every library key, in byte order");

constexpr auto kRowSlots = rowSlots();
constexpr auto kRowRanks = rowRanks();

}  // namespace

std::size_t libraryKeyIndex(const KeyRename& row) {
  return kRowSlots[static_cast<std::size_t>(&row - KeyRenameTable.data())];
}

int sourceKeyRank(const KeyRename& row) {
  return kRowRanks[static_cast<std::size_t>(&row - KeyRenameTable.data())];
}

const KeyRename* findKeyRename(std::string_view key) {
  if (key.size() > kLongestKey) return nullptr;
  std::uint32_t rows = kRowsByLength[key.size()];
  if (rows == 0) return nullptr;
  const std::uint64_t prefix = keyPrefix(key);
  for (; rows != 0; rows &= rows - 1) {
    const auto i = static_cast<std::size_t>(__builtin_ctz(rows));
    // The rows are of the key's length: up to eight bytes, the prefix is
    // the whole key.
    if (kRowPrefixes[i] == prefix &&
        (key.size() <= 8 || KeyRenameTable[i].sourceKey == key)) {
      return &KeyRenameTable[i];
    }
  }
  return nullptr;
}

}  // namespace mspforge
