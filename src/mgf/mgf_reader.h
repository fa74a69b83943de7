// The MGF reader's tables; readMgfRecord itself is declared with the
// library's API in mspforge/mspforge.h.
#pragma once

#include <array>
#include <string_view>

#include "mspforge/mspforge.h"

namespace mspforge {

// Header keys whose lines are dropped: whole key, same case. A USI list or
// an exact mass has no place in a library record and can be very long.
inline constexpr std::array<std::string_view, 2> IgnoredSourceKeys = {
    "USI", "EXACTMASS"};

// A header value of exactly these bytes means "not available": the line is
// dropped and an earlier value of the same key in the record stays.
inline constexpr std::string_view NotAvailableValue = "N/A";

}  // namespace mspforge
