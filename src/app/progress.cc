#include "app/progress.h"

#include <chrono>
#include <cmath>

#include "platform/platform_io.h"

namespace mspforge {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);
constexpr auto kLogEvery = std::chrono::seconds(5);

// Decimal megabytes and gigabytes, as disks and MB/s are counted.
std::string bytesText(std::uint64_t bytes) {
  char text[32];
  if (bytes >= 1'000'000'000u) {
    std::snprintf(text, sizeof text, "%.2f GB",
                  static_cast<double>(bytes) / 1e9);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB",
                  static_cast<double>(bytes) / 1e6);
  }
  return text;
}

// 745112 -> "745,112".
std::string grouped(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) {
    digits.insert(at - 3, ",");
  }
  return n < 0 ? "-" + digits : digits;
}

std::string durationText(double seconds) {
  const long long s = std::llround(seconds);
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) {
    return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  }
  return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) +
         " min";
}

}  // namespace

std::string progressLine(const ProgressSnapshot& now, std::uint64_t total,
                         double seconds) {
  std::string line = "mspforge: " + bytesText(now.bytes);
  if (total > 0) {
    const std::uint64_t done = now.bytes < total ? now.bytes : total;
    line += " of " + bytesText(total) + " (" +
            std::to_string(done * 100 / total) + "%)";
  }
  line += ", " + grouped(now.spectra) +
          (now.spectra == 1 ? " spectrum" : " spectra");
  if (seconds > 0) {
    const double rate = static_cast<double>(now.bytes) / seconds;
    char text[32];
    std::snprintf(text, sizeof text, ", %.0f MB/s", rate / 1e6);
    line += text;
    if (total > now.bytes && rate > 0) {
      line += ", " +
              durationText(static_cast<double>(total - now.bytes) / rate) +
              " left";
    }
  }
  return line;
}

ProgressDisplay::ProgressDisplay(std::FILE* stream, ProgressStyle style,
                                 std::uint64_t total,
                                 std::function<ProgressSnapshot()> sample)
    : stream_(stream),
      style_(style),
      total_(total),
      sample_(std::move(sample)),
      start_(Clock::now()),
      thread_([this] { run(); }) {}

ProgressDisplay::~ProgressDisplay() { stop(); }

void ProgressDisplay::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
    stop_ = true;
  }
  stopping_.notify_all();
  thread_.join();
  // A run that never showed a line ends without one.
  if (shown_) show(true);
}

void ProgressDisplay::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_.wait_until(lock, start_ + kQuietStart,
                           [this] { return stop_; })) {
    return;
  }
  const auto every = style_ == ProgressStyle::Redrawn
                         ? Clock::duration(kRedrawEvery)
                         : Clock::duration(kLogEvery);
  for (;;) {
    lock.unlock();
    show(false);
    lock.lock();
    if (stopping_.wait_for(lock, every, [this] { return stop_; })) return;
  }
}

void ProgressDisplay::show(bool last) {
  const double seconds =
      std::chrono::duration<double>(Clock::now() - start_).count();
  std::string line = progressLine(sample_(), total_, seconds);
  shown_ = true;
  if (style_ == ProgressStyle::Redrawn) {
    // Blanks over what a longer line before left.
    const std::size_t width = line.size();
    if (width < lastWidth_) line.append(lastWidth_ - width, ' ');
    lastWidth_ = width;
    line.insert(0, "\r");
    if (last) line += '\n';
  } else {
    line += '\n';
  }
  std::fputs(line.c_str(), stream_);
  std::fflush(stream_);
}

std::unique_ptr<ProgressDisplay> startProgress(
    CommandLine::Progress wanted, std::uint64_t total,
    std::function<ProgressSnapshot()> sample) {
  const bool terminal = platform::isTerminal(2);
  if (wanted == CommandLine::Progress::Never ||
      (wanted == CommandLine::Progress::WhenWatched && !terminal)) {
    return nullptr;
  }
  return std::make_unique<ProgressDisplay>(
      stderr, terminal ? ProgressStyle::Redrawn : ProgressStyle::Logged, total,
      std::move(sample));
}

}  // namespace mspforge
