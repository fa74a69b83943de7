#include "app/parallel_conversion.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/record_loop.h"
#include "mgf/mgf_input.h"
#include "msp/msp_output.h"

namespace mspforge {
namespace {

constexpr std::uint64_t kNoOffset = static_cast<std::uint64_t>(-1);

// One chunk converted: its MSP text and the input spans that go out
// between its pieces, and what keeps those spans valid (its input and the
// windows the input moved past).
struct Chunk {
  MgfInput input;
  std::vector<MappedWindow> windows;
  MspOutput output = mspOutputToMemory();
  ConversionTally tally;
  bool empty = false;       // no line starts in its range
  std::uint64_t next = kNoOffset;  // the line after it, where it stopped
  bool inputEnded = false;  // the input ended within it (or failed)
  std::exception_ptr exception;  // out of memory, thrown on converting
  bool done = false;
};

// Adds a chunk's counts to those of the chunks before it. Where the first
// record without END IONS begins is known here by its offset alone: the
// chunk counts its lines from its own start.
void addTally(ConversionTally& sum, const ConversionTally& part) {
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
  if (sum.unterminatedSpectra == 0 && part.unterminatedSpectra != 0) {
    sum.firstUnterminatedOffset = part.firstUnterminatedOffset;
  }
  sum.unterminatedSpectra += part.unterminatedSpectra;
}

// The number of the line that starts at offset, counted from the start.
std::uint64_t lineAt(const ChunkedInput& source, std::uint64_t offset) {
  MgfInput input = source.open(source.start, true);
  std::string_view line;
  std::uint64_t number = 1;
  while (input.windowOffset + input.begin < offset && readLine(input, line)) {
    ++number;
  }
  return number;
}

// Converts what the reader, searching from the line that starts at `from`
// (or, midLine, from the first line that starts after `from`), reads up to
// the first line at or past `limit` that it meets while searching.
//
// The chunk before may end inside a record that runs past the boundary,
// whose lines this chunk takes for lines between records. That is the same:
// a line that begins with "BEGIN IONS" always begins a record, inside one
// or not, and no other line matters between records.
void convertChunk(const ChunkedInput& source, std::uint64_t from,
                  bool midLine, std::uint64_t limit, bool spans,
                  const ConversionOptions& rules,
                  const std::vector<Field>& defaults, Chunk& chunk) {
  chunk.input = source.open(from, from == source.start);
  MgfInput& input = chunk.input;
  input.searchLimit = limit;
  // A window the size of the chunk and a little more: the record that runs
  // past its end is mapped afresh only when it is long.
  if (limit != kNoOffset) {
    input.windowBytes = static_cast<std::size_t>(
        std::min<std::uint64_t>(input.windowBytes, limit - from + (64u << 10)));
  }
  // The spans of a mapped input point into its windows, which the chunk
  // keeps; a buffer's lines are copied, and so are all lines for an output
  // that takes no spans (CR LF line ends, or memory).
  chunk.output.spansByReference = spans && input.mapped;
  // A window the input moves past is kept while spans point into it; a
  // record re-read from a larger window leaves the smaller one unused.
  input.adoptWindow = [&chunk](void* window, std::size_t size) {
    const char* base = static_cast<const char*>(window);
    for (const MspOutput::Span& span : chunk.output.spans) {
      if (span.bytes >= base && span.bytes < base + size) {
        chunk.windows.emplace_back(static_cast<char*>(window), size);
        return true;
      }
    }
    return false;
  };
  if (midLine) {
    switch (skipToNextLine(input, limit)) {
      case LineSkip::AtLineStart:
        break;
      case LineSkip::NoLineBefore:
        chunk.empty = true;
        return;
      case LineSkip::InputEnded:
        chunk.empty = true;
        chunk.inputEnded = true;
        return;
    }
  }
  RecordContainers containers;
  convertAvailableRecords(input, chunk.output, chunk.tally, containers, rules,
                          defaults);
  input.adoptWindow = nullptr;
  chunk.inputEnded = !input.stoppedAtLimit || input.failed;
  chunk.next = input.stoppedAtLimit
                   ? input.windowOffset + input.begin
                   : source.end;
}

// Hands a chunk's text and spans to output, and its windows to be released
// once they are written.
void writeChunk(Chunk& chunk, MspOutput& output) {
  if (output.fd < 0) {
    output.text += chunk.output.text;
    return;
  }
  output.text.swap(chunk.output.text);
  output.spans.swap(chunk.output.spans);
  for (const MspOutput::Span& span : output.spans) output.spanBytes += span.size;
  // Windows that no span points into (a chunk without peaks to write)
  // go at once, however long the writer is busy.
  const bool spansInWindows = !output.spans.empty();
  flushSoon(output);
  auto handOver = [&output, spansInWindows](MappedWindow& window) {
    if (window.base() == nullptr) return;
    if (spansInWindows &&
        adoptInputWindow(output, window.base(), window.size())) {
      window.release();
    } else {
      window.reset();
    }
  };
  for (MappedWindow& window : chunk.windows) handOver(window);
  handOver(chunk.input.window);
  // Pieces the chunk held (a huge line) go when it goes: wait for them.
  if (!chunk.output.heldPieces.empty()) flushAll(output);
}

}  // namespace

ConversionResult convertInChunks(const ChunkedInput& source, MspOutput& output,
                                 ConversionTally& tally,
                                 const ConversionOptions& options,
                                 std::size_t chunkBytes, unsigned threads) {
  const std::vector<Field> defaults = effectiveDefaults(options);
  // The rules of the conversion; progress is counted chunk by chunk.
  ConversionOptions rules;
  rules.nameTemplate = options.nameTemplate;
  rules.layout = options.layout;
  chunkBytes = std::max<std::size_t>(chunkBytes, 1);
  const std::uint64_t length = source.end - source.start;
  const std::size_t chunks =
      static_cast<std::size_t>((length + chunkBytes - 1) / chunkBytes);
  auto nominalStart = [&](std::size_t k) {
    return source.start + std::uint64_t{k} * chunkBytes;
  };
  auto limitOf = [&](std::size_t k) {
    return k + 1 < chunks ? nominalStart(k + 1) : kNoOffset;
  };
  const bool spans = output.fd >= 0 && !output.crlfLineEnds;

  // The k-th chunk, converted; an exception is kept for the writing side.
  auto convertNth = [&](std::size_t k) {
    auto chunk = std::make_unique<Chunk>();
    try {
      convertChunk(source, k == 0 ? source.start : nominalStart(k) - 1,
                   k != 0, limitOf(k), spans, rules, defaults, *chunk);
    } catch (...) {
      chunk->exception = std::current_exception();
    }
    return chunk;
  };

  // Workers take chunks in order, at most `ahead` past the one being
  // written, so that memory holds a few chunks whatever the file's size.
  std::vector<std::unique_ptr<Chunk>> results(chunks);
  const std::size_t ahead = static_cast<std::size_t>(threads) + 1;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t nextToTake = 0;
  std::size_t written = 0;
  bool stopping = false;
  auto work = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] {
        return stopping || (nextToTake < chunks && nextToTake < written + ahead);
      });
      if (stopping || nextToTake >= chunks) return;
      const std::size_t k = nextToTake++;
      lock.unlock();
      std::unique_ptr<Chunk> chunk = convertNth(k);
      lock.lock();
      chunk->done = true;
      results[k] = std::move(chunk);
      changed.notify_all();
    }
  };
  // On one thread the chunks are converted here, one by one, as they are
  // written: the same results, without handing work between threads.
  std::vector<std::thread> workers;
  if (threads > 1) {
    for (unsigned t = 0; t < threads; ++t) workers.emplace_back(work);
  }
  auto stopWorkers = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
    for (std::thread& worker : workers) worker.join();
    workers.clear();
  };

  ConversionResult result = ConversionResult::Complete;
  std::exception_ptr exception;
  for (std::size_t k = 0; k < chunks; ++k) {
    std::unique_ptr<Chunk> chunk;
    if (workers.empty()) {
      chunk = convertNth(k);
    } else {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return results[k] && results[k]->done; });
      chunk = std::move(results[k]);
    }
    if (chunk->exception) {
      exception = chunk->exception;
      break;
    }
    addTally(tally, chunk->tally);
    writeChunk(*chunk, output);
    if (options.progress != nullptr) {
      options.progress->spectra.store(tally.totalSpectra,
                                      std::memory_order_relaxed);
      options.progress->bytesRead.store(chunk->next - source.start,
                                        std::memory_order_relaxed);
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      written = k + 1;
    }
    changed.notify_all();
    if (chunk->input.failed) {
      if (source.onReadFailure) source.onReadFailure(chunk->input);
      result = ConversionResult::ReadFailed;
      break;
    }
    if (output.failed) {
      result = ConversionResult::WriteFailed;
      break;
    }
    if (chunk->inputEnded) break;
  }
  stopWorkers();
  if (exception) std::rethrow_exception(exception);
  if (result != ConversionResult::Complete) return result;
  if (tally.unterminatedSpectra != 0) {
    tally.firstUnterminatedLine = lineAt(source, tally.firstUnterminatedOffset);
  }
  if (!flushAll(output)) return ConversionResult::WriteFailed;
  return ConversionResult::Complete;
}

ConversionResult convertBytesInChunks(std::string_view mgf, std::string& msp,
                                      ConversionTally& tally,
                                      std::size_t chunkBytes,
                                      unsigned threads) {
  ChunkedInput source;
  source.start = 0;
  source.end = mgf.size();
  source.open = [mgf](std::uint64_t offset, bool atStart) {
    return mgfInputFromBytesAt(mgf.substr(static_cast<std::size_t>(offset)),
                               offset, atStart);
  };
  MspOutput output = mspOutputToMemory();
  output.text.swap(msp);
  const ConversionResult result = convertInChunks(
      source, output, tally, ConversionOptions{}, chunkBytes, threads);
  output.text.swap(msp);
  return result;
}

}  // namespace mspforge
