#include "translate/complete_record.h"

namespace mspforge {

bool completeRecord(CompoundName& compoundName, FieldMap& libraryFields,
                    const FieldMap& commentFields) {
  (void)commentFields;
  for (std::string_view key : RequiredLibraryKeys) {
    if (!libraryFields.contains(key)) return false;
  }
  return !compoundName.empty();
}

}  // namespace mspforge
