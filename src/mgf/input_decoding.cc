#include "mgf/input_decoding.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "mgf/decoding_layers.h"
#include "mgf/mgf_input.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

using ByteReader = std::function<std::ptrdiff_t(char*, std::size_t)>;

InputEncoding encodingOf(std::string_view first) {
  if (first.starts_with("\x1F\x8B")) return InputEncoding::Gzip;
  if (first.starts_with("\xFF\xFE")) return InputEncoding::Utf16LittleEndian;
  if (first.starts_with("\xFE\xFF")) return InputEncoding::Utf16BigEndian;
  return InputEncoding::Plain;
}


// The bytes as they come: from a descriptor or a caller's reader. Keeps
// the first bytes for the probe and counts them all for progress.
class RawLayer final : public Layer {
 public:
  // expectedBytes: for a regular file, the bytes it held when it was
  // opened; an end before them is a file cut short, not the input's end.
  RawLayer(ByteReader reader, bool fromDescriptor, Failure& failure,
           InputProbe& probe, std::uint64_t expectedBytes)
      : reader_(std::move(reader)),
        fromDescriptor_(fromDescriptor),
        expectedBytes_(expectedBytes),
        failure_(failure),
        probe_(probe) {}

  std::ptrdiff_t read(char* into, std::size_t room) override {
    const std::ptrdiff_t n = reader_(into, room);
    if (n < 0 && n != kNoBytesYet) {
      failure_.error = fromDescriptor_ ? platform::lastError() : 0;
      failure_.reason = fromDescriptor_ ? platform::errorText(failure_.error)
                                        : "read error";
      return -1;
    }
    if (n == 0 && bytes < expectedBytes_) {
      failure_.error = 0;
      failure_.reason = std::string(kCutShort);
      return -1;
    }
    if (n > 0) {
      const std::size_t size = static_cast<std::size_t>(n);
      bytes += size;
      if (probe_.head.size() < kProbeHeadBytes) {
        probe_.head.append(
            into, std::min(size, kProbeHeadBytes - probe_.head.size()));
      }
    }
    return n;
  }

  std::uint64_t bytes = 0;

 private:
  ByteReader reader_;
  bool fromDescriptor_;
  std::uint64_t expectedBytes_;
  Failure& failure_;
  InputProbe& probe_;
};

// Serves bytes read ahead (to tell the encoding) before its source's own.
class ReplayLayer final : public Layer {
 public:
  explicit ReplayLayer(Layer& source) : source_(source) {}

  // Reads ahead until `want` bytes are held or the source ends; 0 when
  // they are there or the source ended, kNoBytesYet or -1 otherwise.
  std::ptrdiff_t readAhead(std::size_t want) {
    while (held_.size() - served_ < want && !ended_) {
      char block[16];
      const std::ptrdiff_t n = source_.read(block, sizeof block);
      if (n < 0) return n;
      if (n == 0) ended_ = true;
      held_.append(block, static_cast<std::size_t>(n));
    }
    return 0;
  }

  std::string_view held() const {
    return std::string_view(held_).substr(served_);
  }

  std::ptrdiff_t read(char* into, std::size_t room) override {
    if (served_ < held_.size()) {
      const std::size_t take = std::min(room, held_.size() - served_);
      std::memcpy(into, held_.data() + served_, take);
      served_ += take;
      return static_cast<std::ptrdiff_t>(take);
    }
    if (ended_) return 0;
    return source_.read(into, room);
  }

 private:
  Layer& source_;
  std::string held_;
  std::size_t served_ = 0;
  bool ended_ = false;
};


// The whole chain: the raw bytes, told apart by their first bytes, then
// decompressed, then told apart again (UTF-16 inside gzip) and decoded.
class Decoder {
 public:
  Decoder(ByteReader reader, bool fromDescriptor,
          std::uint64_t expectedBytes = 0)
      : raw_(std::move(reader), fromDescriptor, failure_, *probe_,
             expectedBytes),
        outerReplay_(raw_) {}

  std::ptrdiff_t read(char* into, std::size_t room) {
    if (top_ == nullptr) {
      const std::ptrdiff_t told = tell();
      if (told != 0) return told;
    }
    return top_->read(into, room);
  }

  void explain(MgfInput& input) const {
    input.error = failure_.error;
    input.failure = failure_.reason;
  }

  std::uint64_t rawBytes() const { return raw_.bytes; }
  std::shared_ptr<const InputProbe> probe() const { return probe_; }

 private:
  // Reads the first bytes of each level and builds the chain; 0 once it
  // is built, kNoBytesYet or -1 before.
  std::ptrdiff_t tell() {
    if (inner_ == nullptr) {
      const std::ptrdiff_t ahead = outerReplay_.readAhead(2);
      if (ahead != 0) return ahead;
      probe_->outer = encodingOf(outerReplay_.held());
      Layer* inside = &outerReplay_;
      if (probe_->outer == InputEncoding::Gzip) {
        gzip_ = gzipLayer(outerReplay_, failure_);
        if (gzip_ != nullptr) inside = gzip_.get();
      }
      if (probe_->outer == InputEncoding::Gzip && gzip_ == nullptr) {
        probe_->outer = InputEncoding::Plain;  // passed through undecoded
      }
      if (probe_->outer == InputEncoding::Plain ||
          probe_->outer == InputEncoding::Gzip) {
        innerReplay_ = std::make_unique<ReplayLayer>(*inside);
        inner_ = innerReplay_.get();
      } else {
        inner_ = &outerReplay_;  // UTF-16 outside: nothing inside to tell
      }
    }
    InputEncoding encoding = probe_->outer;
    if (innerReplay_ != nullptr) {
      const std::ptrdiff_t ahead = innerReplay_->readAhead(2);
      if (ahead != 0) return ahead;
      encoding = encodingOf(innerReplay_->held());
      if (encoding == InputEncoding::Gzip) encoding = InputEncoding::Plain;
      if (probe_->outer == InputEncoding::Gzip) probe_->inner = encoding;
    }
    if (encoding == InputEncoding::Utf16LittleEndian ||
        encoding == InputEncoding::Utf16BigEndian) {
      utf16_ = utf16Layer(*inner_, encoding == InputEncoding::Utf16BigEndian);
      top_ = utf16_.get();
    } else {
      top_ = inner_;
    }
    return 0;
  }

  Failure failure_;
  std::shared_ptr<InputProbe> probe_ = std::make_shared<InputProbe>();
  RawLayer raw_;
  ReplayLayer outerReplay_;
  std::unique_ptr<Layer> gzip_;
  std::unique_ptr<ReplayLayer> innerReplay_;
  Layer* inner_ = nullptr;
  std::unique_ptr<Layer> utf16_;
  Layer* top_ = nullptr;
};

MgfInput inputOverDecoder(const std::shared_ptr<Decoder>& decoder) {
  MgfInput input = mgfInputFromReader(
      [decoder](char* into, std::size_t room) {
        return decoder->read(into, room);
      });
  input.explainFailure = [decoder](MgfInput& failed) {
    decoder->explain(failed);
  };
  input.sourcePosition = [decoder] { return decoder->rawBytes(); };
  return input;
}

}  // namespace

bool canDecompressGzip() {
#if defined(MSPFORGE_HAVE_ZLIB)
  return true;
#else
  return false;
#endif
}

bool needsDecoding(std::string_view bytes) {
  const InputEncoding encoding = encodingOf(bytes);
  return encoding != InputEncoding::Plain &&
         (encoding != InputEncoding::Gzip || canDecompressGzip());
}

MgfInput openMgfInput(int fd, std::shared_ptr<const InputProbe>& probe) {
  std::uint64_t size = 0;
  std::uint64_t expected = 0;
  if (platform::regularFileSizeOf(fd, size)) {
    const std::uint64_t position = platform::filePosition(fd);
    expected = size > position ? size - position : 0;
    auto head = std::make_shared<InputProbe>();
    head->head.resize(kProbeHeadBytes);
    const std::ptrdiff_t got =
        platform::readAt(fd, position, head->head.data(), kProbeHeadBytes);
    head->head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    if (!needsDecoding(head->head)) {
      probe = head;
      // The size taken above, not a second look: a file cut short between
      // the two would be read whole at its shorter size.
      MgfInput input = mgfInputFromFd(fd);
      input.expectedBytes = expected;
      return input;
    }
  }
  auto decoder = std::make_shared<Decoder>(
      [fd](char* into, std::size_t room) {
        return platform::readSome(fd, into, room);
      },
      true, expected);
  probe = decoder->probe();
  MgfInput input = inputOverDecoder(decoder);
  input.fd = fd;
  return input;
}

MgfInput decodingInputFromReader(ByteReader reader,
                                 std::shared_ptr<const InputProbe>* probe) {
  auto decoder = std::make_shared<Decoder>(std::move(reader), false);
  if (probe != nullptr) *probe = decoder->probe();
  return inputOverDecoder(decoder);
}

}  // namespace mspforge
