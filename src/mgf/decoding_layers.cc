#include "mgf/decoding_layers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(MSPFORGE_HAVE_ZLIB)
#include <zlib.h>
#endif

#include "mspforge/streams.h"

namespace mspforge {
namespace {

#if defined(MSPFORGE_HAVE_ZLIB)
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
        if (stream_.avail_in != 0)
          return fail("the gzip data is corrupt", want);
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
      const unsigned unit =
          bigEndian_ ? (first_ << 8) | second : (second << 8) | first_;
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

}  // namespace

std::unique_ptr<Layer> gzipLayer(Layer& source, Failure& failure) {
#if defined(MSPFORGE_HAVE_ZLIB)
  return std::make_unique<GzipLayer>(source, failure);
#else
  (void)source;
  (void)failure;
  return nullptr;
#endif
}

std::unique_ptr<Layer> utf16Layer(Layer& source, bool bigEndian) {
  return std::make_unique<Utf16Layer>(source, bigEndian);
}

}  // namespace mspforge
