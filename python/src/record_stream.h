// The records of an MGF input for Python, a batch at a time: read ahead on
// a thread of their own while Python makes objects of the batch before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mspforge/mspforge.h"

namespace mspforge::python {

// Records as readMgfRecord read them, copied out of the input: their bytes
// one after another, and where each record's fields and runs of peak lines
// lie in them. A stream reuses its batches, so that reading allocates
// nothing record by record; copyOf() gives a record a batch of its own.
struct RecordBatch {
  // A text of a record: where it starts in the record's bytes, and its
  // size. A record is less than 4 GiB (add() refuses a larger one).
  struct Span {
    std::uint32_t at;
    std::uint32_t size;
  };
  struct Entry {
    std::size_t bytesAt;     // the record's bytes in `bytes`, followed by
    std::size_t bytesSize;   // kPeakLinePadding zero bytes
    std::size_t fieldsAt;    // its key and value spans in `fieldSpans`
    std::size_t fieldCount;
    std::size_t runsAt;      // its runs of adjacent peak lines (PeakLines::
    std::size_t runCount;    // runs()) in `runSpans`
    std::size_t peaksAt;     // its lines' numbers from 2 * peaksAt in `peaks`
    std::size_t lineCount;   // its peak lines
    std::int64_t number;     // 1 for the first record of the input
    std::uint64_t line;      // the line of its "BEGIN IONS", from 1
  };

  std::vector<char> bytes;
  std::vector<Span> fieldSpans;  // key, value, key, value...
  std::vector<Span> runSpans;    // lines each ending with its LF
  // m/z, intensity... of every line, when peaksParsed.
  std::unique_ptr<double[]> peaks;
  std::size_t peaksRoom = 0;
  std::vector<Entry> entries;
  std::size_t lineCount = 0;  // of all its records
  bool peaksParsed = false;

  std::size_t size() const { return entries.size(); }

  // The i-th field of a record, its i-th run of peak lines, and each of
  // its peak lines. The fields are in the order of the record's lines; a
  // key that comes more than once has its last value in SourceFields.
  Field field(const Entry& entry, std::size_t i) const {
    const char* base = bytes.data() + entry.bytesAt;
    const Span key = fieldSpans[2 * (entry.fieldsAt + i)];
    const Span value = fieldSpans[2 * (entry.fieldsAt + i) + 1];
    return Field{std::string_view(base + key.at, key.size),
                 std::string_view(base + value.at, value.size)};
  }
  std::string_view peakRun(const Entry& entry, std::size_t i) const {
    const Span run = runSpans[entry.runsAt + i];
    return std::string_view(bytes.data() + entry.bytesAt + run.at, run.size);
  }
  // Visits each peak line of a record, with its LF: a run is whole lines,
  // each ending at its first LF.
  template <typename Visit>
  void forEachPeakLine(const Entry& entry, Visit visit) const {
    for (std::size_t i = 0; i < entry.runCount; ++i) {
      std::string_view run = peakRun(entry, i);
      while (!run.empty()) {
        const std::size_t lf = run.find('\n');
        const std::size_t size =
            lf == std::string_view::npos ? run.size() : lf + 1;
        visit(run.substr(0, size));
        run.remove_prefix(size);
      }
    }
  }
  std::vector<std::string_view> peakLines(const Entry& entry) const;

  // Reads the numbers of every peak line of a record into out, two a line
  // (see readPeakNumbers), or copies them when the batch has them.
  void readPeaks(const Entry& entry, double* out) const;

  // The record as the library's containers hold it (views into bytes),
  // for translating and writing it.
  void toContainers(const Entry& entry, FieldMap& sourceFields,
                    PeakLines& lines) const;

  // A batch of the one record `entry`, for a record that outlives this
  // batch.
  std::unique_ptr<RecordBatch> copyOf(const Entry& entry) const;

  void clear();
  // Appends the record the reader's containers view. Throws
  // std::length_error for a record of 4 GiB or more.
  void add(const FieldMap& fields, const PeakLines& lines, std::int64_t number,
           std::uint64_t line);
  void parsePeaks();
};

// The records of an input, in order, a batch at a time. With readAhead, a
// thread of its own reads them, at most a few MiB ahead of the caller, so
// that memory stays flat however large the input, and next() takes the
// batches as they come. The input's reader function, if it has one, is
// called on that thread; an input that may block for ever (a pipe) should
// not be read ahead, since stopping waits for the read under way. Without
// readAhead, next() reads one record.
class RecordStream {
 public:
  RecordStream(MgfInput input, bool readAhead);
  ~RecordStream();
  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;

  // The next batch of one or more records, valid until the next call of
  // next() or stop(); null once the input has ended, read to its end or
  // failed (see failed()). Rethrows what reading threw (std::bad_alloc).
  // Must not be called again after null.
  const RecordBatch* next();

  // After next() returned null: whether a read error ended the input, and
  // the input's error code and reason.
  bool failed() const;
  int error() const;
  const std::string& failure() const;

  // Stops reading (a stream given up before its end); next() then gives
  // null. Waits for the read under way.
  void stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mspforge::python
