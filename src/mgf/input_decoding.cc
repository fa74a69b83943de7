#include "mgf/input_decoding.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#if defined(MSPFORGE_HAVE_ZLIB)
#include <zlib.h>
#endif

#include "mgf/mgf_input.h"
#include "platform/platform_io.h"

namespace mspforge {
namespace {

using ByteReader = std::function<std::ptrdiff_t(char*, std::size_t)>;

// How much raw input is asked for at a time by the decoding layers.
constexpr std::size_t kLayerBlock = std::size_t{256} << 10;

InputEncoding encodingOf(std::string_view first) {
  if (first.starts_with("\x1F\x8B")) return InputEncoding::Gzip;
  if (first.starts_with("\xFF\xFE")) return InputEncoding::Utf16LittleEndian;
  if (first.starts_with("\xFE\xFF")) return InputEncoding::Utf16BigEndian;
  return InputEncoding::Plain;
}

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

#if defined(MSPFORGE_HAVE_ZLIB)
// gzip, member after member (a multi-member file is the concatenation of
// its members' contents). Zero bytes after the last member are padding
// and ignored; anything else there, a member cut short or a damaged one
// ends the input as a read error.
class GzipLayer final : public Layer {
 public:
  GzipLayer(Layer& source, Failure& failure)
      : source_(source), failure_(failure), in_(kLayerBlock) {
    stream_.zalloc = Z_NULL;
    stream_.zfree = Z_NULL;
    stream_.opaque = Z_NULL;
    ready_ = inflateInit2(&stream_, 15 + 16) == Z_OK;
  }
  ~GzipLayer() override {
    if (ready_) inflateEnd(&stream_);
  }
  GzipLayer(const GzipLayer&) = delete;
  GzipLayer& operator=(const GzipLayer&) = delete;

  std::ptrdiff_t read(char* into, std::size_t room) override {
    if (!ready_) return fail("cannot start gzip decompression", 0);
    if (failed_) return -1;
    const uInt want = static_cast<uInt>(std::min<std::size_t>(room, 1u << 30));
    stream_.next_out = reinterpret_cast<Bytef*>(into);
    stream_.avail_out = want;
    while (stream_.avail_out == want) {
      if (stream_.avail_in == 0) {
        if (ended_) {
          if (inMember_) {
            return fail("the gzip data ends early (a truncated file?)", want);
          }
          return 0;
        }
        const std::ptrdiff_t n = source_.read(in_.data(), in_.size());
        if (n < 0) return n;  // an error, or kNoBytesYet
        if (n == 0) {
          ended_ = true;
          continue;
        }
        stream_.next_in = reinterpret_cast<Bytef*>(in_.data());
        stream_.avail_in = static_cast<uInt>(n);
      }
      if (!inMember_) {
        // Between members: padding, another member, or garbage.
        while (stream_.avail_in > 0 && *stream_.next_in == 0) {
          ++stream_.next_in;
          --stream_.avail_in;
          padding_ = true;
        }
        if (stream_.avail_in == 0) continue;
        if (padding_ || *stream_.next_in != 0x1F) {
          return fail("the gzip data is followed by bytes that are not gzip",
                      want);
        }
        inflateReset(&stream_);
        inMember_ = true;
      }
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        inMember_ = false;
      } else if (result == Z_BUF_ERROR) {
        // More input is needed before anything comes out.
        if (stream_.avail_in != 0) return fail("the gzip data is corrupt", want);
      } else if (result != Z_OK) {
        return fail(std::string("the gzip data is corrupt (") +
                        (stream_.msg != nullptr ? stream_.msg : "bad data") +
                        ")",
                    want);
      }
    }
    return static_cast<std::ptrdiff_t>(want - stream_.avail_out);
  }

 private:
  // Fails; what this call decoded before the failure still goes out, so
  // that the bytes delivered do not depend on how the input was cut.
  std::ptrdiff_t fail(std::string reason, uInt want) {
    failed_ = true;
    failure_.error = 0;
    failure_.reason = std::move(reason);
    const uInt produced = want == 0 ? 0 : want - stream_.avail_out;
    return produced > 0 ? static_cast<std::ptrdiff_t>(produced) : -1;
  }

  Layer& source_;
  Failure& failure_;
  std::vector<char> in_;
  z_stream stream_{};
  bool ready_ = false;
  bool inMember_ = false;
  bool ended_ = false;
  bool padding_ = false;
  bool failed_ = false;
};
#endif

// UTF-16 to UTF-8. An unpaired surrogate, or a last odd byte, becomes
// U+FFFD, the replacement character, rather than ending the input: the
// text around it still converts.
class Utf16Layer final : public Layer {
 public:
  Utf16Layer(Layer& source, bool bigEndian)
      : source_(source), bigEndian_(bigEndian), in_(kLayerBlock) {}

  std::ptrdiff_t read(char* into, std::size_t room) override {
    while (served_ == out_.size()) {
      out_.clear();
      served_ = 0;
      if (ended_) return 0;
      const std::ptrdiff_t n = source_.read(in_.data(), in_.size());
      if (n < 0) return n;  // an error, or kNoBytesYet
      if (n == 0) {
        ended_ = true;
        if (oddByte_ || highSurrogate_ != 0) appendReplacement();
        oddByte_ = false;
        highSurrogate_ = 0;
        continue;
      }
      decode(std::string_view(in_.data(), static_cast<std::size_t>(n)));
    }
    const std::size_t take = std::min(room, out_.size() - served_);
    std::memcpy(into, out_.data() + served_, take);
    served_ += take;
    return static_cast<std::ptrdiff_t>(take);
  }

 private:
  void decode(std::string_view bytes) {
    for (char byte : bytes) {
      if (!oddByte_) {
        first_ = static_cast<unsigned char>(byte);
        oddByte_ = true;
        continue;
      }
      oddByte_ = false;
      const unsigned second = static_cast<unsigned char>(byte);
      const unsigned unit = bigEndian_ ? (first_ << 8) | second
                                       : (second << 8) | first_;
      take(unit);
    }
  }

  void take(unsigned unit) {
    if (highSurrogate_ != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        appendUtf8(0x10000 + ((highSurrogate_ - 0xD800) << 10) +
                   (unit - 0xDC00));
        highSurrogate_ = 0;
        return;
      }
      appendReplacement();
      highSurrogate_ = 0;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      highSurrogate_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      appendReplacement();
    } else {
      appendUtf8(unit);
    }
  }

  void appendReplacement() { appendUtf8(0xFFFD); }

  void appendUtf8(unsigned code) {
    if (code < 0x80) {
      out_ += static_cast<char>(code);
    } else if (code < 0x800) {
      out_ += static_cast<char>(0xC0 | (code >> 6));
      out_ += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out_ += static_cast<char>(0xE0 | (code >> 12));
      out_ += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out_ += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out_ += static_cast<char>(0xF0 | (code >> 18));
      out_ += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out_ += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out_ += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  Layer& source_;
  bool bigEndian_;
  std::vector<char> in_;
  std::string out_;
  std::size_t served_ = 0;
  bool ended_ = false;
  bool oddByte_ = false;
  unsigned first_ = 0;
  unsigned highSurrogate_ = 0;
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
#if defined(MSPFORGE_HAVE_ZLIB)
      if (probe_->outer == InputEncoding::Gzip) {
        gzip_ = std::make_unique<GzipLayer>(outerReplay_, failure_);
        inside = gzip_.get();
      }
#endif
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
      utf16_ = std::make_unique<Utf16Layer>(
          *inner_, encoding == InputEncoding::Utf16BigEndian);
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
  std::unique_ptr<Utf16Layer> utf16_;
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
