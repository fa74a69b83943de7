#include "translate/name_template.h"

#include <utility>

namespace mspforge {

bool nameFromTemplate(std::string_view nameTemplate,
                      const FieldMap& sourceFields, std::string& name) {
  if (nameTemplate.empty()) return false;
  std::string made;
  std::size_t at = 0;
  while (at < nameTemplate.size()) {
    const std::size_t open = nameTemplate.find('{', at);
    const std::size_t close = open == std::string_view::npos
                                  ? open
                                  : nameTemplate.find_first_of("{}", open + 1);
    if (close == std::string_view::npos || nameTemplate[close] != '}' ||
        close == open + 1) {
      // No key here: copy up to and including the "{" (or the rest).
      const std::size_t to =
          open == std::string_view::npos ? nameTemplate.size() : open + 1;
      made.append(nameTemplate.substr(at, to - at));
      at = to;
      continue;
    }
    made.append(nameTemplate.substr(at, open - at));
    const std::string_view* value =
        sourceFields.findLast(nameTemplate.substr(open + 1, close - open - 1));
    if (value == nullptr) return false;
    made.append(*value);
    at = close + 1;
  }
  name = std::move(made);
  return true;
}

}  // namespace mspforge
