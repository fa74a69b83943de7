#include "msp/library_layouts.h"

namespace mspforge {

const LibraryLayoutSpec& layoutSpec(LibraryLayout layout) {
  for (const LibraryLayoutSpec& spec : LibraryLayouts) {
    if (spec.layout == layout) return spec;
  }
  return LibraryLayouts.front();
}

bool libraryLayoutNamed(std::string_view name, LibraryLayout& layout) {
  for (const LibraryLayoutSpec& spec : LibraryLayouts) {
    if (spec.name == name) {
      layout = spec.layout;
      return true;
    }
  }
  return false;
}

std::string_view libraryLayoutName(LibraryLayout layout) {
  return layoutSpec(layout).name;
}

}  // namespace mspforge
