// The stages that decode MGF input as it is read (see input_decoding.h):
// each reads as MgfInput::reader reads, from the stage below it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace mspforge {

// How much raw input is asked for at a time by the decoding layers.
inline constexpr std::size_t kLayerBlock = std::size_t{256} << 10;

// Why the decoding failed, shared by the layers and handed to the input.
struct Failure {
  int error = 0;
  std::string reason;
};

// One stage of decoding: read() as MgfInput::reader reads, with -1 for
// an error described in the shared Failure.
class Layer {
 public:
  virtual ~Layer() = default;
  virtual std::ptrdiff_t read(char* into, std::size_t room) = 0;
};

// gzip, member after member (a multi-member file is the concatenation of
// its members' contents). Zero bytes after the last member are padding
// and ignored; anything else there, a member cut short or a damaged one
// ends the input as a read error, described in failure. nullptr in a
// build without zlib.
std::unique_ptr<Layer> gzipLayer(Layer& source, Failure& failure);

// UTF-16 to UTF-8. An unpaired surrogate, or a last odd byte, becomes
// U+FFFD, the replacement character, rather than ending the input: the
// text around it still converts.
std::unique_ptr<Layer> utf16Layer(Layer& source, bool bigEndian);

}  // namespace mspforge
