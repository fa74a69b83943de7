#include "msp/msp_output.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <utility>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/platform_io.h"

namespace mspforge {
namespace {

constexpr std::size_t kFlushSize = std::size_t{1} << 20;

// Writes bytes with every LF as CR LF, a flush-sized block at a time: the
// LFs are found with memchr and the pieces between them copied whole.
bool writeWithCrLf(int fd, std::string_view bytes, std::string& scratch) {
  while (!bytes.empty()) {
    const std::string_view block = bytes.substr(0, kFlushSize);
    bytes.remove_prefix(block.size());
    scratch.clear();
    std::size_t from = 0;
    for (;;) {
      const void* lf = std::memchr(block.data() + from, '\n',
                                   block.size() - from);
      if (lf == nullptr) break;
      const std::size_t at =
          static_cast<std::size_t>(static_cast<const char*>(lf) - block.data());
      scratch.append(block.data() + from, at - from);
      scratch.append("\r\n", 2);
      from = at + 1;
    }
    scratch.append(block.data() + from, block.size() - from);
    if (!platform::writeAll(fd, scratch)) return false;
  }
  return true;
}


// One flush's worth of output: the text, and the input spans that go out
// between its pieces.
struct Batch {
  std::string text;
  std::vector<MspOutput::Span> spans;
  // Input windows to release once this batch is written.
  std::vector<std::pair<void*, std::size_t>> windows;
};

// Writes the text with the spans between its pieces, in gathered writes.
bool writeWithSpans(int fd, const Batch& batch) {
  std::vector<std::string_view> pieces;
  pieces.reserve(2 * batch.spans.size() + 1);
  std::size_t textFrom = 0;
  for (const MspOutput::Span& span : batch.spans) {
    if (span.textOffset > textFrom) {
      pieces.emplace_back(batch.text.data() + textFrom,
                          span.textOffset - textFrom);
    }
    pieces.emplace_back(span.bytes, span.size);
    textFrom = span.textOffset;
  }
  if (batch.text.size() > textFrom) {
    pieces.emplace_back(batch.text.data() + textFrom,
                        batch.text.size() - textFrom);
  }
  return platform::writeGathered(fd, pieces.data(), pieces.size());
}

bool writeBatch(int fd, bool crlfLineEnds, const Batch& batch,
                std::string& scratch) {
  if (crlfLineEnds) return writeWithCrLf(fd, batch.text, scratch);
  if (batch.spans.empty()) return platform::writeAll(fd, batch.text);
  return writeWithSpans(fd, batch);
}

}  // namespace

// The second thread of an output: takes batches in order and writes them.
// At most two wait, so the conversion runs at most two flushes ahead of
// the disk; the buffers of written batches come back for reuse.
struct BackgroundWriter {
  explicit BackgroundWriter(int fd, bool crlfLineEnds)
      : fd_(fd), crlf_(crlfLineEnds), thread_([this] { run(); }) {}

  ~BackgroundWriter() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Hands over the output's text and spans, leaving it recycled buffers.
  void submit(MspOutput& output) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kQueueLength; });
    Batch batch;
    if (!spare_.empty()) {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    batch.text.swap(output.text);
    batch.spans.swap(output.spans);
    output.text.clear();
    output.spans.clear();
    queue_.push_back(std::move(batch));
    changed_.notify_all();
  }

  // Waits until every batch handed over is written; false when a write
  // failed, with the system's error code in error.
  bool drain(int& error) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
    error = error_;
    return !failed_;
  }

  bool failed(int& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    error = error_;
    return failed_;
  }

  // Releases window once everything handed over so far is written.
  void releaseAfterPending(void* window, std::size_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (queue_.empty() && !busy_) {
      lock.unlock();
      releaseWindow(window, size);
      return;
    }
    if (queue_.empty()) {
      // The batch being written is the last that may point into it.
      writingWindows_.emplace_back(window, size);
    } else {
      queue_.back().windows.emplace_back(window, size);
    }
  }

 private:
  static constexpr std::size_t kQueueLength = 2;

  void run() {
    std::string scratch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      Batch batch = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      const bool skip = failed_;
      lock.unlock();
      // After a failed write nothing more is written: the output is
      // incomplete whatever follows.
      const bool written = skip || writeBatch(fd_, crlf_, batch, scratch);
      // errno belongs to this thread and is read before anything else.
      const int error = written ? 0 : platform::lastError();
      batch.text.clear();
      batch.spans.clear();
      for (const auto& [window, size] : batch.windows) {
        releaseWindow(window, size);
      }
      batch.windows.clear();
      lock.lock();
      for (const auto& [window, size] : writingWindows_) {
        releaseWindow(window, size);
      }
      writingWindows_.clear();
      if (!written) {
        failed_ = true;
        error_ = error;
      }
      busy_ = false;
      if (spare_.size() < kQueueLength + 1) spare_.push_back(std::move(batch));
      changed_.notify_all();
    }
  }

  const int fd_;
  const bool crlf_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queue_;
  std::vector<Batch> spare_;
  // Windows waiting for the batch being written.
  std::vector<std::pair<void*, std::size_t>> writingWindows_;
  bool busy_ = false;
  bool failed_ = false;
  int error_ = 0;  // the system's error code of the failed write
  bool stopping_ = false;
  std::thread thread_;  // last: started once the rest is ready
};

namespace {

bool writeNow(MspOutput& output);

// Hands the buffered output to the writer thread, starting it first; where
// no thread can be started, the output is written here and now.
void submit(MspOutput& output) {
  if (!output.writer) {
    try {
      output.writer =
          std::make_shared<BackgroundWriter>(output.fd, output.crlfLineEnds);
    } catch (const std::system_error&) {
      output.background = false;
      if (!writeNow(output)) {
        output.failed = true;
        output.error = platform::lastError();
      }
      return;
    }
  }
  output.writer->submit(output);
  output.spanBytes = 0;
}

bool writeNow(MspOutput& output) {
  Batch batch;
  batch.text.swap(output.text);
  batch.spans.swap(output.spans);
  const bool written =
      writeBatch(output.fd, output.crlfLineEnds, batch, output.translated);
  batch.text.clear();
  batch.spans.clear();
  output.text.swap(batch.text);
  output.spans.swap(batch.spans);
  output.spanBytes = 0;
  return written;
}

}  // namespace

MspOutput mspOutputToFd(int fd) {
  MspOutput output;
  output.fd = fd;
  output.crlfLineEnds = platform::kCrLfLineEnds;
  output.background = true;
  output.text.reserve(kFlushSize + kFlushSize / 4);
  return output;
}

MspOutput mspOutputToMemory() { return MspOutput{}; }

void writeThrough(MspOutput& output, std::string_view bytes) {
  if (!flushAll(output)) return;
  const bool written =
      output.crlfLineEnds
          ? writeWithCrLf(output.fd, bytes, output.translated)
          : platform::writeAll(output.fd, bytes);
  if (!written) {
    output.failed = true;
    output.error = platform::lastError();
  }
}

void holdPiece(MspOutput& output, std::string_view bytes) {
  const std::string& held = output.heldPieces.emplace_back(bytes);
  output.spans.push_back({output.text.size(), held.data(), held.size()});
  output.spanBytes += held.size();
}

void flushSoon(MspOutput& output) {
  if (output.fd < 0 || output.failed) return;
  if (!output.background) {
    flushAll(output);
    return;
  }
  if (output.writer && output.writer->failed(output.error)) {
    output.failed = true;
    return;
  }
  if (!output.text.empty() || !output.spans.empty()) submit(output);
}

void flushIfFull(MspOutput& output) {
  if (output.text.size() + output.spanBytes >= kFlushSize) flushSoon(output);
}

bool adoptInputWindow(MspOutput& output, void* window, std::size_t size) {
  if (!output.writer) return false;
  output.writer->releaseAfterPending(window, size);
  return true;
}

bool flushAll(MspOutput& output) {
  if (output.fd < 0 || output.failed) return !output.failed;
  if (output.background) {
    if (!output.text.empty() || !output.spans.empty()) submit(output);
    if (output.writer && !output.writer->drain(output.error)) {
      output.failed = true;
    }
  } else if ((!output.text.empty() || !output.spans.empty()) &&
             !writeNow(output)) {
    output.failed = true;
    output.error = platform::lastError();
  }
  output.text.clear();
  output.spans.clear();
  output.spanBytes = 0;
  return !output.failed;
}

}  // namespace mspforge
