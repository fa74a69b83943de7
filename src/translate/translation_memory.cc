#include "translate/translation_memory.h"

#include <algorithm>
#include <cstring>

#include "translate/translate_record.h"

namespace mspforge {
namespace {

// A sequence whose keys hold more bytes than this is planned afresh each
// time rather than kept: a plan keeps a copy of its keys, and a record
// with keys of any length should not leave one behind.
constexpr std::size_t kMaxKeptKeyBytes = 4096;
constexpr std::size_t kInsertionSortLimit = 32;
// Adducts are short; a longer value is not kept.
constexpr std::size_t kMaxKeptAdductBytes = 64;

// Whether the n bytes at a and b are the same. Header keys are short:
// compared as words that may overlap, not through a call.
[[gnu::always_inline]] inline bool sameBytes(const char* a, const char* b,
                                             std::size_t n) {
  if (n >= 8) {
    std::uint64_t x;
    std::uint64_t y;
    for (std::size_t at = 0;; at += 8) {
      const std::size_t from = std::min(at, n - 8);
      std::memcpy(&x, a + from, 8);
      std::memcpy(&y, b + from, 8);
      if (x != y) return false;
      if (from == n - 8) return true;
    }
  }
  if (n >= 4) {
    std::uint32_t x[2];
    std::uint32_t y[2];
    std::memcpy(&x[0], a, 4);
    std::memcpy(&x[1], a + n - 4, 4);
    std::memcpy(&y[0], b, 4);
    std::memcpy(&y[1], b + n - 4, 4);
    return x[0] == y[0] && x[1] == y[1];
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Picks a plan's bucket from the number of keys and their total size:
// enough to tell apart most sequences of one file, which differ by a key
// present or absent (a bucket holds four). Whether a plan fits is then
// checked key by key.
std::size_t bucketOf(std::size_t keys, std::size_t keyBytes,
                     std::size_t bits) {
  const std::uint64_t hash = (keyBytes ^ (std::uint64_t{keys} << 32)) *
                             0x9E3779B97F4A7C15u;
  return static_cast<std::size_t>(hash >> (64 - bits));
}

// A key's first and last eight bytes (which overlap below 16), or first
// and last four below 8, or its bytes below 4: with its size, the whole
// key up to 16 bytes.
[[gnu::always_inline]] inline WalkPlan::KeyCheck checkOf(std::string_view key) {
  const std::size_t n = key.size();
  WalkPlan::KeyCheck check{0, 0, static_cast<std::uint32_t>(n), 0};
  if (n >= 8) {
    std::memcpy(&check.head, key.data(), 8);
    std::memcpy(&check.tail, key.data() + n - 8, 8);
  } else if (n >= 4) {
    std::uint32_t head;
    std::uint32_t tail;
    std::memcpy(&head, key.data(), 4);
    std::memcpy(&tail, key.data() + n - 4, 4);
    check.head = head;
    check.tail = tail;
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      check.head |= std::uint64_t{static_cast<unsigned char>(key[i])}
                    << (8 * i);
    }
  }
  return check;
}

bool fits(const WalkPlan& plan, std::span<const Field> fields) {
  if (!plan.reusable || plan.keyChecks.size() != fields.size()) return false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string_view key = fields[i].key;
    const WalkPlan::KeyCheck& kept = plan.keyChecks[i];
    const WalkPlan::KeyCheck check = checkOf(key);
    if (check.size != kept.size || check.head != kept.head ||
        check.tail != kept.tail) {
      return false;
    }
    // Past 16 bytes, the bytes between the first and last eight.
    if (key.size() > 16 &&
        !sameBytes(key.data() + 8, plan.keyText.data() + kept.offset + 8,
                   key.size() - 16)) {
      return false;
    }
  }
  return true;
}

}  // namespace

// The walk itself. Each MSP key takes the line of the greatest source key
// that renames to it (of a repeated key, its last line): the one a walk in
// key order would store last. The comments keep the key order that the
// writer emits them in, and of several lines with one key the last.
void makeWalkPlan(WalkPlan& plan, std::span<const Field> fields,
                  bool keepKeys) {
  plan.winners.fill(WalkPlan::kNone);
  plan.rows.fill(nullptr);
  plan.comments.clear();
  plan.comments.reserve(fields.size());
  plan.title = WalkPlan::kNone;
  plan.charge = WalkPlan::kNone;
  std::array<int, LibraryKeys.size() + 1> ranks;
  ranks.fill(-1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string_view key = fields[i].key;
    const auto line = static_cast<std::int32_t>(i);
    const KeyRename* row = findKeyRename(key);
    if (row == nullptr) {
      plan.comments.push_back(line);
      if (key == "TITLE") plan.title = line;
      if (key == "CHARGE") plan.charge = line;
      continue;
    }
    const std::size_t slot = libraryKeyIndex(*row);
    const int rank = sourceKeyRank(*row);
    if (rank >= ranks[slot]) {
      ranks[slot] = rank;
      plan.winners[slot] = line;
      plan.rows[slot] = row;
    }
  }
  plan.libraryKeyCount = 0;
  plan.statedAdductKey = {};
  for (std::size_t slot = 0; slot < LibraryKeys.size(); ++slot) {
    if (plan.winners[slot] == WalkPlan::kNone) continue;
    plan.libraryKeys[plan.libraryKeyCount++] =
        static_cast<std::uint8_t>(slot);
    if (plan.rows[slot]->rule == ValueRule::PrecursorType) {
      plan.statedAdductKey = plan.rows[slot]->sourceKey;
    }
  }
  const auto before = [fields](std::int32_t a, std::int32_t b) {
    return fields[static_cast<std::size_t>(a)].key <
           fields[static_cast<std::size_t>(b)].key;
  };
  if (plan.comments.size() > kInsertionSortLimit) {
    std::stable_sort(plan.comments.begin(), plan.comments.end(), before);
  } else {
    // A record's few comments: sorted in place, with no buffer.
    for (auto at = plan.comments.begin(); at != plan.comments.end(); ++at) {
      const std::int32_t moving = *at;
      auto to = at;
      for (; to != plan.comments.begin() && before(moving, *(to - 1)); --to) {
        *to = *(to - 1);
      }
      *to = moving;
    }
  }
  auto kept = plan.comments.begin();
  for (auto at = plan.comments.begin(); at != plan.comments.end(); ++at) {
    const auto next = at + 1;
    if (next != plan.comments.end() &&
        fields[static_cast<std::size_t>(*at)].key ==
            fields[static_cast<std::size_t>(*next)].key) {
      continue;
    }
    *kept++ = *at;
  }
  plan.comments.erase(kept, plan.comments.end());
  plan.keyText.clear();
  plan.keyChecks.clear();
  plan.reusable = keepKeys;
  if (!keepKeys) return;
  plan.keyChecks.reserve(fields.size());
  std::size_t keyBytes = 0;
  for (const Field& field : fields) keyBytes += field.key.size();
  plan.keyText.reserve(keyBytes);
  for (const Field& field : fields) {
    WalkPlan::KeyCheck check = checkOf(field.key);
    check.offset = static_cast<std::uint32_t>(plan.keyText.size());
    plan.keyChecks.push_back(check);
    plan.keyText.append(field.key);
  }
}

TranslationMemory::TranslationMemory() : plans_(kWays << kBucketBits) {}

const WalkPlan& TranslationMemory::planFor(const FieldMap& sourceFields) {
  const std::span<const Field> fields = sourceFields.entriesAsSet();
  std::size_t keyBytes = 0;
  for (const Field& field : fields) keyBytes += field.key.size();
  // kWays plans to a bucket, the one used last first.
  std::unique_ptr<WalkPlan>* ways =
      &plans_[kWays * bucketOf(fields.size(), keyBytes, kBucketBits)];
  for (std::size_t way = 0; way < kWays; ++way) {
    if (ways[way] && fits(*ways[way], fields)) {
      std::rotate(ways, ways + way, ways + way + 1);
      return *ways[0];
    }
  }
  // The plan used longest ago makes room.
  std::rotate(ways, ways + kWays - 1, ways + kWays);
  if (!ways[0]) ways[0] = std::make_unique<WalkPlan>();
  makeWalkPlan(*ways[0], fields, keyBytes <= kMaxKeptKeyBytes);
  return *ways[0];
}

std::string_view TranslationMemory::statedAdduct(std::string_view value,
                                                 FieldMap& storage) {
  std::uint32_t bytes = 0;
  if (value.size() >= 5) std::memcpy(&bytes, value.data() + 1, 4);
  Adduct& adduct =
      adducts_[((bytes ^ static_cast<std::uint32_t>(value.size())) *
                0x9E3779B1u) >>
               (32 - kAdductBits)];
  if (adduct.known && adduct.value.size() == value.size() &&
      sameBytes(adduct.value.data(), value.data(), value.size())) {
    return adduct.unchanged ? value : storage.keep(adduct.notation);
  }
  const std::string_view notation =
      normaliseValue(ValueRule::PrecursorType, value, storage);
  if (value.size() > kMaxKeptAdductBytes) return notation;
  adduct.value.assign(value);
  // A view of value itself, or a text of its own.
  adduct.unchanged = notation.data() == value.data();
  adduct.notation.assign(adduct.unchanged ? std::string_view() : notation);
  adduct.known = true;
  return notation;
}

}  // namespace mspforge
