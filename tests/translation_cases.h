// A record's header fields as plain pairs, and what translation made of
// them: the cases of the translation tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mspforge/field_map.h"

namespace mspforge::test {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline Fields fieldsOf(const FieldMap& map) {
  Fields fields;
  for (const Field& field : map) fields.emplace_back(field.key, field.value);
  return fields;
}

struct Translation {
  bool accepted = false;
  std::string name;
  Fields library;
  Fields comments;
};

}  // namespace mspforge::test
