#include "translate/key_rename_table.h"

namespace mspforge {
namespace {

// Every key of a record is looked up, and most are not in the table, so the
// scan only compares keys of the right length: a bit per row, per length.
constexpr std::size_t kLongestKey = 32;

constexpr std::array<std::uint32_t, kLongestKey + 1> rowsByLength() {
  std::array<std::uint32_t, kLongestKey + 1> rows{};
  for (std::size_t i = 0; i < KeyRenameTable.size(); ++i) {
    rows[KeyRenameTable[i].sourceKey.size()] |= std::uint32_t{1} << i;
  }
  return rows;
}

constexpr auto kRowsByLength = rowsByLength();
static_assert(KeyRenameTable.size() <= 32);

}  // namespace

const KeyRename* findKeyRename(std::string_view key) {
  if (key.size() > kLongestKey) return nullptr;
  for (std::uint32_t rows = kRowsByLength[key.size()]; rows != 0;
       rows &= rows - 1) {
    const KeyRename& row = KeyRenameTable[static_cast<std::size_t>(
        __builtin_ctz(rows))];
    if (row.sourceKey == key) return &row;
  }
  return nullptr;
}

}  // namespace mspforge
