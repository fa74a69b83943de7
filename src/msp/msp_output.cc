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


bool writeBatch(int fd, bool crlfLineEnds, const std::string& text,
                std::string& scratch) {
  if (crlfLineEnds) return writeWithCrLf(fd, text, scratch);
  return platform::writeAll(fd, text);
}

}  // namespace

// The second thread of an output: takes batches of text in order and
// writes them. At most two wait, so the conversion runs at most two
// flushes ahead of the disk; the buffers of written batches come back for
// reuse.
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

  // Hands over the output's text, leaving it a recycled buffer.
  void submit(MspOutput& output) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kQueueLength; });
    std::string batch;
    if (!spare_.empty()) {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    batch.swap(output.text);
    output.text.clear();
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

 private:
  static constexpr std::size_t kQueueLength = 2;

  void run() {
    std::string scratch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::string batch = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      const bool skip = failed_;
      lock.unlock();
      // After a failed write nothing more is written: the output is
      // incomplete whatever follows.
      const bool written = skip || writeBatch(fd_, crlf_, batch, scratch);
      // errno belongs to this thread and is read before anything else.
      const int error = written ? 0 : platform::lastError();
      batch.clear();
      lock.lock();
      if (!written) {
        failed_ = true;
        error_ = error;
      }
      busy_ = false;
      spare_.push_back(std::move(batch));
      changed_.notify_all();
    }
  }

  const int fd_;
  const bool crlf_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;
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
}

bool writeNow(MspOutput& output) {
  const bool written = writeBatch(output.fd, output.crlfLineEnds, output.text,
                                  output.translated);
  output.text.clear();
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
  if (!output.text.empty()) submit(output);
}

void flushIfFull(MspOutput& output) {
  if (output.text.size() >= kFlushSize) flushSoon(output);
}

bool flushAll(MspOutput& output) {
  if (output.fd < 0 || output.failed) return !output.failed;
  if (output.background) {
    if (!output.text.empty()) submit(output);
    if (output.writer && !output.writer->drain(output.error)) {
      output.failed = true;
    }
  } else if (!output.text.empty() && !writeNow(output)) {
    output.failed = true;
    output.error = platform::lastError();
  }
  output.text.clear();
  return !output.failed;
}

}  // namespace mspforge
