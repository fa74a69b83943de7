#include "translate/key_rename_table.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mspforge {
namespace {

// Every key of a record is looked up, and most are not in the table. A key
// is hashed from its length and first eight bytes (taken as one integer)
// to a slot of a small table that holds at most one row, chosen so that no
// two rows share a slot; only a key whose length and prefix are the row's
// is compared further, and only past its eighth byte.
constexpr std::size_t kSlotBits = 6;
constexpr std::size_t kSlotCount = std::size_t{1} << kSlotBits;
constexpr std::uint8_t kNoRow = 0xFF;
static_assert(KeyRenameTable.size() < kNoRow);

// The first eight bytes of text (zero-padded), in memory order.
constexpr std::uint64_t prefixOf(std::string_view text) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8 && i < text.size(); ++i) {
    prefix |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
  }
  return prefix;
}

constexpr std::size_t slotOf(std::uint64_t prefix, std::size_t size,
                             std::uint64_t multiplier) {
  return static_cast<std::size_t>(
      ((prefix ^ (size * 0x9E3779B97F4A7C15u)) * multiplier) >>
      (64 - kSlotBits));
}

constexpr bool spreadsRows(std::uint64_t multiplier) {
  std::array<bool, kSlotCount> taken{};
  for (const KeyRename& row : KeyRenameTable) {
    const std::size_t slot =
        slotOf(prefixOf(row.sourceKey), row.sourceKey.size(), multiplier);
    if (taken[slot]) return false;
    taken[slot] = true;
  }
  return true;
}

// The first of a fixed sequence of odd multipliers that gives every row a
// slot of its own.
constexpr std::uint64_t findMultiplier() {
  std::uint64_t candidate = 0xD6E8FEB86659FD93u;
  for (int tries = 0; tries < 100000; ++tries) {
    if (spreadsRows(candidate)) return candidate;
    candidate = candidate * 6364136223846793005u + 1442695040888963407u;
    candidate |= 1;
  }
  return 0;
}

constexpr std::uint64_t kMultiplier = findMultiplier();
static_assert(kMultiplier != 0, "no multiplier spreads the key table's rows");

constexpr std::array<std::uint8_t, kSlotCount> rowsBySlot() {
  std::array<std::uint8_t, kSlotCount> rows{};
  for (std::uint8_t& row : rows) row = kNoRow;
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    const std::string_view key = KeyRenameTable[i].sourceKey;
    rows[slotOf(prefixOf(key), key.size(), kMultiplier)] =
        static_cast<std::uint8_t>(i);
  }
  return rows;
}

constexpr std::array<std::uint64_t, KeyRenameTable.size()> rowPrefixes() {
  std::array<std::uint64_t, KeyRenameTable.size()> prefixes{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    prefixes[i] = prefixOf(KeyRenameTable[i].sourceKey);
  }
  return prefixes;
}

constexpr auto kRowsBySlot = rowsBySlot();
constexpr auto kRowPrefixes = rowPrefixes();

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

constexpr bool libraryKeysInOrder() {
  for (std::size_t i = 1; i < LibraryKeys.size(); ++i) {
    if (!(LibraryKeys[i - 1] < LibraryKeys[i])) return false;
  }
  for (const KeyRename& row : KeyRenameTable) {
    if (row.rule != ValueRule::Name &&
        key_rename_detail::indexOfLibraryKey(row.libraryKey) ==
            LibraryKeys.size()) {
      return false;
    }
  }
  return true;
}
static_assert(libraryKeysInOrder(),
              "LibraryKeys must hold every library key, in byte order");

}  // namespace

const KeyRename* findKeyRename(std::string_view key) {
  const std::uint64_t prefix = keyPrefix(key);
  const std::uint8_t i = kRowsBySlot[slotOf(prefix, key.size(), kMultiplier)];
  if (i == kNoRow || kRowPrefixes[i] != prefix) return nullptr;
  const std::string_view rowKey = KeyRenameTable[i].sourceKey;
  // Up to eight bytes, an equal prefix and length is an equal key.
  if (rowKey.size() != key.size()) return nullptr;
  // Past them, eight bytes at a time, the last eight overlapping.
  const std::size_t n = key.size();
  for (std::size_t at = 8; at < n; at += 8) {
    const std::size_t from = std::min(at, n - 8);
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, key.data() + from, 8);
    std::memcpy(&b, rowKey.data() + from, 8);
    if (a != b) return nullptr;
  }
  return &KeyRenameTable[i];
}

}  // namespace mspforge
