// Names for spectra that have none: feature lists exported for molecular
// networking (MZmine, MS-DIAL, OpenMS ...) name no spectrum, but each has
// an identifier a name can be made from: --name 'Feature {FEATURE_ID}'.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "mspforge/field_map.h"

namespace mspforge {

// Fills name from nameTemplate: each "{KEY}" (KEY one or more bytes other
// than "{" and "}") is replaced by the value of the record's header line
// KEY as read; every other byte, a "{" without its "}" included, is
// copied. False, name untouched, when the record has no header line of a
// KEY the template names (or the template is empty).
bool nameFromTemplate(std::string_view nameTemplate,
                      const FieldMap& sourceFields, std::string& name);

// The identifiers that the summary suggests a template with, in this
// order, when every spectrum without a name has one.
struct SuggestedNameTemplate {
  std::string_view key;
  std::string_view nameTemplate;
};
inline constexpr std::array<SuggestedNameTemplate, 3> SuggestedNameTemplates =
    {{{"FEATURE_ID", "Feature {FEATURE_ID}"},
      {"SCANS", "Scan {SCANS}"},
      {"SPECTRUMID", "Spectrum {SPECTRUMID}"}}};

}  // namespace mspforge
