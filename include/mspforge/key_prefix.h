// The key prefix by which FieldMap orders its keys before it compares
// them whole (see mspforge/field_map.h).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace mspforge {
namespace field_map_detail {

// The first eight bytes of key, zero-padded, as a big-endian integer:
// comparing two of them compares the keys' first eight bytes as unsigned
// bytes. Equal prefixes leave the order to the whole keys.
inline std::uint64_t keyPrefix(std::string_view key) {
  const std::size_t n = key.size();
  if constexpr (std::endian::native == std::endian::little) {
    if (n >= 8) {
      std::uint64_t word;
      std::memcpy(&word, key.data(), 8);
      return __builtin_bswap64(word);
    }
    if (n >= 4) {
      // Most MGF keys ("TITLE", "CHARGE", "PEPMASS"): their first and
      // last four bytes, which overlap, in place.
      std::uint32_t head;
      std::uint32_t tail;
      std::memcpy(&head, key.data(), 4);
      std::memcpy(&tail, key.data() + n - 4, 4);
      return (std::uint64_t{__builtin_bswap32(head)} << 32) |
             (std::uint64_t{__builtin_bswap32(tail)} << (8 * (8 - n)));
    }
  }
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    prefix = (prefix << 8) |
             (i < n ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return prefix;
}

}  // namespace field_map_detail
}  // namespace mspforge
