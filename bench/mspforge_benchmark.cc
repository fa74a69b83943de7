// Throughput of each stage on a generated library held in memory: the
// reader, the translation and the writer, and the whole conversion.
// Reports records/s and MB/s of MGF input. Not part of the test run:
//   build/release/bench/mspforge_benchmark --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <deque>
#include <string>
#include <vector>

#include "mspforge/mspforge.h"
#include "synthetic_mgf.h"

namespace {

const std::string& library() {
  static const std::string mgf = mspforge::test::makeSyntheticMgf(20000, 7);
  return mgf;
}

struct Record {
  mspforge::FieldMap source;
  mspforge::PeakLines peaks;
};

// Every record of the library. The records are views into their input,
// which is kept as long as the program runs: an in-memory input never
// moves its bytes.
std::vector<Record> readAll() {
  static std::deque<mspforge::MgfInput> inputs;
  inputs.push_back(mspforge::mgfInputFromBytes(library()));
  mspforge::MgfInput& input = inputs.back();
  std::vector<Record> records;
  for (;;) {
    Record record;
    if (!mspforge::readMgfRecord(input, record.source, record.peaks)) break;
    records.push_back(std::move(record));
  }
  return records;
}

void setCounters(benchmark::State& state, std::size_t records) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(library().size()));
  state.counters["records/s"] = benchmark::Counter(
      static_cast<double>(records) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void readerOnly(benchmark::State& state) {
  library();  // generated before the clock starts
  mspforge::FieldMap source;
  mspforge::PeakLines peaks;
  std::size_t records = 0;
  for (auto _ : state) {
    mspforge::MgfInput input = mspforge::mgfInputFromBytes(library());
    records = 0;
    while (mspforge::readMgfRecord(input, source, peaks)) ++records;
    benchmark::DoNotOptimize(records);
  }
  setCounters(state, records);
}
BENCHMARK(readerOnly)->Unit(benchmark::kMillisecond);

void translationOnly(benchmark::State& state) {
  const std::vector<Record> records = readAll();
  mspforge::CompoundName name;
  mspforge::FieldMap libraryFields;
  mspforge::FieldMap comments;
  for (auto _ : state) {
    std::size_t accepted = 0;
    for (const Record& record : records) {
      accepted += mspforge::translateRecord(record.source, name, libraryFields,
                                            comments);
    }
    benchmark::DoNotOptimize(accepted);
  }
  setCounters(state, records.size());
}
BENCHMARK(translationOnly)->Unit(benchmark::kMillisecond);

void writerOnly(benchmark::State& state) {
  struct Translated {
    mspforge::CompoundName name;
    mspforge::FieldMap libraryFields;
    mspforge::FieldMap comments;
    const mspforge::PeakLines* peaks;
  };
  const std::vector<Record> records = readAll();
  std::vector<Translated> translated;
  for (const Record& record : records) {
    Translated t;
    t.peaks = &record.peaks;
    if (!record.peaks.empty() &&
        mspforge::translateRecord(record.source, t.name, t.libraryFields,
                                  t.comments)) {
      translated.push_back(std::move(t));
    }
  }
  mspforge::MspOutput output = mspforge::mspOutputToMemory();
  for (auto _ : state) {
    output.text.clear();
    for (const Translated& t : translated) {
      mspforge::writeMspRecord(output, t.name, t.libraryFields, t.comments,
                               *t.peaks);
    }
    benchmark::DoNotOptimize(output.text.data());
  }
  setCounters(state, translated.size());
}
BENCHMARK(writerOnly)->Unit(benchmark::kMillisecond);

void wholeConversion(benchmark::State& state) {
  library();
  std::string msp;
  mspforge::ConversionTally tally;
  for (auto _ : state) {
    msp.clear();
    tally = {};
    mspforge::convertBytes(library(), msp, tally);
    benchmark::DoNotOptimize(msp.data());
  }
  setCounters(state, static_cast<std::size_t>(tally.totalSpectra));
}
BENCHMARK(wholeConversion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
