#include "msp/library_layouts.h"

namespace mspforge {

const LibraryLayoutRow& libraryLayoutRow(LibraryLayout layout) {
  for (const LibraryLayoutRow& row : LibraryLayouts) {
    if (row.layout == layout) return row;
  }
  return LibraryLayouts.front();
}

bool libraryLayoutNamed(std::string_view name, LibraryLayout& layout) {
  for (const LibraryLayoutRow& row : LibraryLayouts) {
    if (row.name == name) {
      layout = row.layout;
      return true;
    }
  }
  return false;
}

std::string_view libraryLayoutName(LibraryLayout layout) {
  return libraryLayoutRow(layout).name;
}

}  // namespace mspforge
