// A progress line on standard error while a long conversion runs: bytes
// done of the total, the share done, spectra so far, MB/s and time left.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <memory>
#include <thread>

#include "app/command_line.h"

namespace mspforge {

struct ProgressSnapshot {
  std::uint64_t bytes = 0;  // of the input as stored
  std::int64_t spectra = 0;
};

// How progress is shown: redrawn in place on a terminal, or as a line every
// few seconds into a log.
enum class ProgressStyle { Redrawn, Logged };

// The line for a snapshot after `seconds`; total 0 when it is not known (a
// pipe): "mspforge: 1.21 GB of 2.00 GB (60%), 745,112 spectra, 812 MB/s,
// 1 s left".
std::string progressLine(const ProgressSnapshot& now, std::uint64_t total,
                         double seconds);

// Shows progress from a thread of its own, asking sample() for the
// figures: nothing during the first second, then a line every 0.2 s
// (Redrawn) or 5 s (Logged). stop() shows the final figures and ends the
// line; the display stops by itself when it goes.
class ProgressDisplay {
 public:
  ProgressDisplay(std::FILE* stream, ProgressStyle style, std::uint64_t total,
                  std::function<ProgressSnapshot()> sample);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  void stop();

 private:
  void run();
  void show(bool last);

  std::FILE* stream_;
  ProgressStyle style_;
  std::uint64_t total_;
  std::function<ProgressSnapshot()> sample_;
  std::chrono::steady_clock::time_point start_;
  bool shown_ = false;
  std::size_t lastWidth_ = 0;
  std::mutex mutex_;
  std::condition_variable stopping_;
  bool stop_ = false;
  std::thread thread_;
};

// A display for a run as the command line asks: none with --no-progress,
// or without --progress when standard error is not a terminal; redrawn on
// a terminal, logged otherwise.
std::unique_ptr<ProgressDisplay> startProgress(
    CommandLine::Progress wanted, std::uint64_t total,
    std::function<ProgressSnapshot()> sample);

}  // namespace mspforge
