#include "app/parallel_conversion.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/chunk_reader.h"
#include "app/record_loop.h"
#include "msp/msp_output.h"

namespace mspforge {
namespace {

// A chunk this large (a record with a huge line) is converted in order,
// straight onto the output, whose writes take such pieces as they are:
// its text is not held in memory on top of its bytes.
constexpr std::size_t kLargeChunk = std::size_t{16} << 20;

// One chunk, read and then converted: its MSP text and what it counted.
struct Chunk {
  InputChunk read;
  MspOutput output = mspOutputToMemory();
  ConversionTally tally;
  std::exception_ptr exception;  // out of memory, thrown on converting
  bool converted = false;
  bool inOrder = false;  // to be converted onto the output, in order

  bool large() const { return read.input.end > kLargeChunk; }
};

// Adds a chunk's counts to those of the chunks before it. The chunk counts
// its lines from its own start: linesBefore places them in the input.
void addTally(ConversionTally& sum, const ConversionTally& part,
              std::uint64_t linesBefore) {
  sum.totalSpectra += part.totalSpectra;
  sum.ignoredSpectra += part.ignoredSpectra;
  sum.unrecognizedSpectra += part.unrecognizedSpectra;
  sum.withoutName += part.withoutName;
  sum.withoutMsLevel += part.withoutMsLevel;
  sum.withoutPrecursorMz += part.withoutPrecursorMz;
  sum.lackingSeveral += part.lackingSeveral;
  sum.withoutMsLevelAndPrecursorMz += part.withoutMsLevelAndPrecursorMz;
  sum.unnamedWithFeatureId += part.unnamedWithFeatureId;
  sum.unnamedWithScans += part.unnamedWithScans;
  sum.unnamedWithSpectrumId += part.unnamedWithSpectrumId;
  sum.peakLinesInExponentForm += part.peakLinesInExponentForm;
  sum.peakLinesWithMoreColumns += part.peakLinesWithMoreColumns;
  sum.peakLinesLeftOut += part.peakLinesLeftOut;
  sum.adductsFromCharge += part.adductsFromCharge;
  if (sum.unterminatedSpectra == 0 && part.unterminatedSpectra != 0) {
    sum.firstUnterminatedLine = linesBefore + part.firstUnterminatedLine;
  }
  sum.unterminatedSpectra += part.unterminatedSpectra;
}

// The chunks between the reading thread, the converting threads and the
// writing one, in input order: chunk k is queue[k - written].
struct Pipeline {
  BufferPool buffers;  // of chunks written, for the reader to fill again
  std::mutex mutex;
  std::vector<std::string> texts;  // output buffers of chunks written
  std::condition_variable changed;
  std::deque<std::unique_ptr<Chunk>> queue;
  std::size_t read = 0;     // chunks the reader made
  std::size_t taken = 0;    // of them, those a worker took
  std::size_t written = 0;  // of them, those written
  std::size_t ahead = 0;    // most chunks read but not written
  bool readingDone = false;
  bool stopping = false;
  std::exception_ptr readingException;
};

void readChunks(MgfInput& input, std::size_t chunkBytes, Pipeline& p) {
  try {
    ChunkReader reader(input, chunkBytes, p.buffers);
    for (;;) {
      auto chunk = std::make_unique<Chunk>();
      if (!reader.next(chunk->read)) break;
      std::unique_lock<std::mutex> lock(p.mutex);
      p.changed.wait(lock, [&] {
        return p.stopping || p.read - p.written < p.ahead;
      });
      if (p.stopping) return;
      p.queue.push_back(std::move(chunk));
      ++p.read;
      p.changed.notify_all();
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.readingException = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(p.mutex);
  p.readingDone = true;
  p.changed.notify_all();
}

void convertChunks(const ConversionOptions& rules,
                   const std::vector<Field>& defaults, Pipeline& p) {
  RecordContainers containers;
  std::unique_lock<std::mutex> lock(p.mutex);
  for (;;) {
    p.changed.wait(lock, [&] {
      return p.stopping || p.taken < p.read || p.readingDone;
    });
    if (p.stopping || p.taken == p.read) return;
    Chunk* chunk = p.queue[p.taken++ - p.written].get();
    if (chunk->large()) {
      chunk->inOrder = true;
      chunk->converted = true;
      p.changed.notify_all();
      continue;
    }
    if (!p.texts.empty()) {
      chunk->output.text = std::move(p.texts.back());
      p.texts.pop_back();
    }
    lock.unlock();
    try {
      // MSP text is about as long as the MGF it comes from.
      const std::size_t bytes = chunk->read.input.end - chunk->read.input.begin;
      chunk->output.text.reserve(bytes + bytes / 4);
      convertAvailableRecords(chunk->read.input, chunk->output, chunk->tally,
                              containers, rules, defaults);
    } catch (...) {
      chunk->exception = std::current_exception();
    }
    lock.lock();
    chunk->converted = true;
    p.changed.notify_all();
  }
}

// Hands a chunk's text to output: to its writer thread as it is, or after
// the text of an output kept in memory.
void writeChunk(Chunk& chunk, MspOutput& output) {
  if (output.fd < 0) {
    output.text += chunk.output.text;
    return;
  }
  flushSoon(output);
  output.text.swap(chunk.output.text);
  flushSoon(output);
}

}  // namespace

ConversionResult convertInChunks(MgfInput& input, MspOutput& output,
                                 ConversionTally& tally,
                                 const ConversionOptions& options,
                                 std::size_t chunkBytes, unsigned threads) {
  const std::vector<Field> defaults = effectiveDefaults(options);
  // The rules of the conversion; progress is counted chunk by chunk.
  ConversionOptions rules;
  rules.nameTemplate = options.nameTemplate;
  rules.layout = options.layout;
  threads = std::max(threads, 1u);

  Pipeline p;
  // Enough chunks ahead that no converting thread waits for the reader or
  // the writer, and few enough that memory stays a few megabytes a thread.
  p.ahead = threads + 3;
  std::vector<std::thread> workers;
  const auto stop = [&] {
    {
      std::lock_guard<std::mutex> lock(p.mutex);
      p.stopping = true;
    }
    p.changed.notify_all();
    for (std::thread& worker : workers) worker.join();
    workers.clear();
  };
  std::exception_ptr exception;
  ConversionResult result = ConversionResult::Complete;
  try {
    workers.emplace_back(readChunks, std::ref(input), chunkBytes, std::ref(p));
    for (unsigned t = 0; t < threads; ++t) {
      workers.emplace_back(convertChunks, std::cref(rules), std::cref(defaults),
                           std::ref(p));
    }
    std::uint64_t linesBefore = 0;
    for (;;) {
      std::unique_ptr<Chunk> chunk;
      {
        std::unique_lock<std::mutex> lock(p.mutex);
        p.changed.wait(lock, [&] {
          return (!p.queue.empty() && p.queue.front()->converted) ||
                 (p.readingDone && p.written == p.read);
        });
        if (p.queue.empty()) {
          exception = p.readingException;
          break;
        }
        chunk = std::move(p.queue.front());
        p.queue.pop_front();
        ++p.written;
      }
      p.changed.notify_all();
      if (chunk->exception) {
        exception = chunk->exception;
        break;
      }
      if (chunk->inOrder) {
        flushSoon(output);
        RecordContainers containers;
        if (!convertAvailableRecords(chunk->read.input, output, chunk->tally,
                                     containers, rules, defaults)) {
          result = ConversionResult::WriteFailed;
          break;
        }
      }
      linesBefore += chunk->read.linesSkipped;
      addTally(tally, chunk->tally, linesBefore);
      linesBefore += chunk->read.input.linesRead;
      if (!chunk->inOrder) writeChunk(*chunk, output);
      // A buffer grown for a huge record is let go, not kept for chunks of
      // the usual size.
      if (chunk->read.input.buffer.capacity() <= 4 * chunkBytes) {
        p.buffers.give(std::move(chunk->read.input.buffer));
      }
      {
        std::lock_guard<std::mutex> lock(p.mutex);
        chunk->output.text.clear();
        p.texts.push_back(std::move(chunk->output.text));
      }
      if (options.progress != nullptr) {
        options.progress->spectra.store(
            tally.totalSpectra + tally.unterminatedSpectra,
            std::memory_order_relaxed);
        options.progress->bytesRead.store(chunk->read.sourceEnd,
                                          std::memory_order_relaxed);
      }
      if (output.failed) {
        result = ConversionResult::WriteFailed;
        break;
      }
    }
  } catch (...) {
    exception = std::current_exception();
  }
  stop();
  if (exception) std::rethrow_exception(exception);
  if (result != ConversionResult::Complete) return result;
  if (input.failed) return ConversionResult::ReadFailed;
  if (!flushAll(output)) return ConversionResult::WriteFailed;
  return ConversionResult::Complete;
}

ConversionResult convertBytesInChunks(std::string_view mgf, std::string& msp,
                                      ConversionTally& tally,
                                      std::size_t chunkBytes,
                                      unsigned threads) {
  MgfInput input = mgfInputFromBytes(mgf);
  MspOutput output = mspOutputToMemory();
  output.text.swap(msp);
  const ConversionResult result = convertInChunks(
      input, output, tally, ConversionOptions{}, chunkBytes, threads);
  output.text.swap(msp);
  return result;
}

}  // namespace mspforge
