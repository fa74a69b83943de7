#include "mgf/mgf_signature.h"
#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

// Closes the descriptor when the run ends, whichever way it ends.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (fd_ >= 0) platform::closeFile(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close succeeded: for an output, a
  // late write error can surface only here.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return platform::closeFile(fd);
  }

 private:
  int fd_;
};

// Standard output as the output: written where it stands, never emptied
// (the shell's ">" has done that, or ">>" asked to append), and never
// closed.
ConversionResult convertToStandardOutput(MgfInput& input,
                                         const platform::FileIdentity& inputId,
                                         ConversionTally& tally) {
  const int fd = platform::takeStandardOutput(inputId);
  if (fd < 0) return ConversionResult::CannotOpen;
  MspOutput output = mspOutputToFd(fd);
  const ConversionResult result = convertRecords(input, output, tally);
  platform::releaseStandardOutput();
  return result;
}

}  // namespace

ConversionResult convertFile(const char* inputPath, const char* outputPath,
                             ConversionTally& tally) {
  platform::FileIdentity inputId;
  OpenFile inputFile(platform::openInputFile(inputPath, inputId));
  if (!inputFile.valid()) return ConversionResult::CannotOpen;
  MgfInput input = mgfInputFromFd(inputFile.get());

  if (platform::namesStandardOutput(outputPath)) {
    return convertToStandardOutput(input, inputId, tally);
  }
  // Paths given the wrong way round must not empty the user's MGF file:
  // an output that holds MGF records is refused as the input itself is.
  const platform::ReplaceCheck keepMgf{kMgfSignatureBytes,
                                       holdsMgfRecordStart};
  OpenFile outputFile(platform::openOutputFile(outputPath, inputId, keepMgf));
  if (!outputFile.valid()) return ConversionResult::CannotOpen;
  MspOutput output = mspOutputToFd(outputFile.get());
  const ConversionResult result = convertRecords(input, output, tally);
  if (result == ConversionResult::Complete && !outputFile.close()) {
    return ConversionResult::WriteFailed;
  }
  return result;
}

}  // namespace mspforge
