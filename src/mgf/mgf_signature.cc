#include "mgf/mgf_signature.h"

namespace mspforge {

bool holdsMgfRecordStart(std::string_view head) {
  constexpr std::string_view kBeginIons = "BEGIN IONS";
  if (head.starts_with(kByteOrderMark)) head.remove_prefix(kByteOrderMark.size());
  return head.starts_with(kBeginIons) ||
         head.find("\nBEGIN IONS") != std::string_view::npos;
}

}  // namespace mspforge
