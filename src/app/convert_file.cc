#include <algorithm>
#include <cstring>
#include <thread>

#include "app/messages.h"
#include "app/parallel_conversion.h"
#include "mgf/mgf_input.h"
#include "mgf/input_decoding.h"
#include "mgf/mgf_signature.h"
#include "msp/library_layouts.h"
#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

using Problem = FileConversionDetails::Problem;

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

bool isDash(const char* path) { return std::strcmp(path, "-") == 0; }

// Fills details, when asked for, with what stopped the run.
class Details {
 public:
  explicit Details(FileConversionDetails* details) : details_(details) {}

  ConversionResult refusedOpen(Problem problem, const char* path,
                               const platform::OpenError& error) {
    if (details_ != nullptr) describeOpenFailure(problem, path, error, *details_);
    return ConversionResult::CannotOpen;
  }

  ConversionResult finished(ConversionResult result, const char* input,
                            const char* output, const MgfInput& in,
                            const MspOutput& out) {
    if (details_ == nullptr) return result;
    if (result == ConversionResult::ReadFailed) {
      details_->problem = Problem::ReadFailed;
      details_->path = input;
      details_->systemError = in.error;
      details_->reason = in.failure.empty() ? "read error" : in.failure;
    } else if (result == ConversionResult::WriteFailed) {
      details_->problem = Problem::WriteFailed;
      details_->path = output;
      details_->systemError = out.error;
      details_->reason = out.error != 0 ? platform::errorText(out.error)
                                        : "write error";
    }
    return result;
  }

  void describeInput(const InputProbe& probe) {
    if (details_ == nullptr) return;
    details_->inputHead = probe.head;
    const bool gzip = probe.outer == InputEncoding::Gzip;
    const bool utf16 = probe.outer == InputEncoding::Utf16LittleEndian ||
                       probe.outer == InputEncoding::Utf16BigEndian ||
                       probe.inner == InputEncoding::Utf16LittleEndian ||
                       probe.inner == InputEncoding::Utf16BigEndian;
    details_->inputEncoding =
        gzip && utf16 ? "gzip, UTF-16" : gzip ? "gzip" : utf16 ? "UTF-16" : "";
  }

 private:
  FileConversionDetails* details_;
};

// Converts input onto output: on as many threads as options ask (one per
// core by default), a chunk at a time, unless the input is a file too
// small to gain from it, or the run reports every record in order or
// writes the OpenMS layout, whose names depend on all the names before.
ConversionResult convertInput(MgfInput& input, MspOutput& output,
                              ConversionTally& tally,
                              const ConversionOptions& options) {
  // More converting threads than cores only take turns on them, each with
  // chunks in memory: a count above the cores is held to the cores.
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads =
      options.threads != 0 ? std::min(options.threads, cores) : cores;
  const std::size_t chunkBytes =
      options.chunkBytes != 0 ? options.chunkBytes : kDefaultChunkBytes;
  if (options.onRecord || libraryLayoutRow(options.layout).uniqueNames ||
      (input.regularFile && input.expectedBytes <= chunkBytes)) {
    return convertRecords(input, output, tally, options);
  }
  return convertInChunks(input, output, tally, options, chunkBytes, threads);
}

// Standard output as the output: written where it stands, never emptied
// (the shell's ">" has done that, or ">>" asked to append), and never
// closed.
ConversionResult convertToStandardOutput(MgfInput& input,
                                         const platform::FileIdentity& inputId,
                                         ConversionTally& tally,
                                         const ConversionOptions& options,
                                         const char* inputPath,
                                         const char* outputPath,
                                         Details& details) {
  platform::OpenError error;
  const int fd = platform::takeStandardOutput(inputId, &error);
  if (fd < 0) {
    return details.refusedOpen(Problem::CannotOpenOutput, outputPath, error);
  }
  MspOutput output = mspOutputToFd(fd);
  const ConversionResult result = convertInput(input, output, tally, options);
  platform::releaseStandardOutput();
  return details.finished(result, inputPath, outputPath, input, output);
}

}  // namespace

bool isStandardOutputPath(const char* path) {
  return isDash(path) || platform::namesStandardOutput(path);
}

ConversionResult convertFile(const char* inputPath, const char* outputPath,
                             ConversionTally& tally) {
  return convertFile(inputPath, outputPath, tally, ConversionOptions{});
}

ConversionResult convertFile(const char* inputPath, const char* outputPath,
                             ConversionTally& tally,
                             const ConversionOptions& options,
                             FileConversionDetails* detailsOut) {
  Details details(detailsOut);
  platform::FileIdentity inputId;
  platform::OpenError error;
  OpenFile inputFile(isDash(inputPath)
                         ? platform::openStandardInput(inputId, &error)
                         : platform::openInputFile(inputPath, inputId, &error));
  if (!inputFile.valid()) {
    return details.refusedOpen(Problem::CannotOpenInput, inputPath, error);
  }
  std::shared_ptr<const InputProbe> probe;
  MgfInput input = openMgfInput(inputFile.get(), probe);

  ConversionResult result;
  if (isStandardOutputPath(outputPath)) {
    result = convertToStandardOutput(input, inputId, tally, options,
                                     inputPath, outputPath, details);
  } else {
    // Paths given the wrong way round must not empty the user's MGF
    // file: an output that holds MGF records is refused as the input
    // itself is.
    const platform::ReplaceCheck keepMgf{kMgfSignatureBytes,
                                         holdsMgfRecordStart};
    OpenFile outputFile(
        platform::openOutputFile(outputPath, inputId, keepMgf, &error));
    if (!outputFile.valid()) {
      return details.refusedOpen(Problem::CannotOpenOutput, outputPath,
                                 error);
    }
    MspOutput output = mspOutputToFd(outputFile.get());
    result = convertInput(input, output, tally, options);
    if (result == ConversionResult::Complete && !outputFile.close()) {
      output.failed = true;
      output.error = platform::lastError();
      result = ConversionResult::WriteFailed;
    }
    result = details.finished(result, inputPath, outputPath, input, output);
  }
  details.describeInput(*probe);
  return result;
}

}  // namespace mspforge
