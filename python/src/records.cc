#include "records.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "mgf/input_decoding.h"
#include "msp/msp_output.h"
#include "mspforge/mspforge.h"
#include "os_errors.h"
#include "platform/platform_io.h"
#include "record_stream.h"

namespace py = pybind11;

namespace mspforge::python {
namespace {

// Text as Python str: UTF-8, with any byte that is not part of valid UTF-8
// kept as a lone surrogate (U+DC80..U+DCFF), so that
// text.encode("utf-8", "surrogateescape") gives the bytes back.
py::object text(std::string_view bytes) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                           "surrogateescape");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(decoded);
}

bool isAscii(std::string_view bytes) {
  std::uint64_t high = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    high |= word;
  }
  for (; i < bytes.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
  return (high & 0x8080808080808080u) == 0;
}

// text() for header values, nearly all of them ASCII: an ASCII str is
// made by copying the bytes in, which is what decoding them would make.
py::object valueText(std::string_view bytes) {
  if (!isAscii(bytes)) return text(bytes);
  PyObject* made = PyUnicode_New(static_cast<Py_ssize_t>(bytes.size()), 127);
  if (made == nullptr) throw py::error_already_set();
  std::memcpy(PyUnicode_DATA(made), bytes.data(), bytes.size());
  return py::reinterpret_steal<py::object>(made);
}

// The keys of one input's records as Python str. The records of a file
// mostly share their keys and list them in the same (key) order: each key
// is made once, and found again by trying first the one after the key
// found last.
class KeyTexts {
 public:
  // REQUIRES: 16 bytes from key.data() are readable (a key is followed by
  // its value and the record's padding).
  py::object find(std::string_view key) {
    if (next_ < keys_.size() && sameKey(key, keys_[next_].first)) {
      return keys_[next_++].second;
    }
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (sameKey(key, keys_[i].first)) {
        next_ = i + 1;
        return keys_[i].second;
      }
    }
    py::object made = text(key);
    if (keys_.size() < kMostKeys) {
      keys_.emplace_back(std::string(key), made);
      next_ = keys_.size();
    }
    return made;
  }

 private:
  // Keys of up to 16 bytes, nearly all, are compared as two words: a
  // std::string's own storage holds at least 16 bytes.
  static bool sameKey(std::string_view key, const std::string& known) {
    if (key.size() != known.size()) return false;
    if (key.size() > 16) return key == known;
    std::uint64_t a[2], b[2];
    std::memcpy(a, key.data(), 16);
    std::memcpy(b, known.data(), 16);
    const unsigned bits = 8 * static_cast<unsigned>(key.size());
    const std::uint64_t low = bits >= 64 ? ~0ull : (1ull << bits) - 1;
    const std::uint64_t high = bits <= 64 ? 0 : bits >= 128 ? ~0ull : (1ull << (bits - 64)) - 1;
    return (((a[0] ^ b[0]) & low) | ((a[1] ^ b[1]) & high)) == 0;
  }

  // Past this many keys (a file whose keys are numbered, say) the rest
  // are made afresh each time.
  static constexpr std::size_t kMostKeys = 64;
  std::vector<std::pair<std::string, py::object>> keys_;
  std::size_t next_ = 0;
};

// Runs body, a call from Python, and turns a C++ exception into the
// Python error it stands for; a null result without an error set means
// the end of an iteration.
template <typename Body>
PyObject* fromPython(Body body) {
  try {
    return body();
  } catch (py::error_already_set& error) {
    error.restore();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
  }
  return nullptr;
}

struct ReaderState;

// A Record: one record of the batch its reader is on, or, once the reader
// has moved on while the record lives, of a batch of its own. Its fields
// and peaks become Python objects when first asked for, and stay.
struct RecordObject {
  PyObject_HEAD
  const RecordBatch* batch;
  const RecordBatch::Entry* entry;
  ReaderState* reader;  // while it is on the reader's batch
  std::size_t aliveAt;  // its place in the reader's list of those
  PyObject* fields;     // made on first use, or null
  PyObject* peaks;
  // Made with placement new, ended in the deallocation. A record on its
  // reader's batch uses the reader's; one of its own shares them.
  struct Owned {
    std::unique_ptr<RecordBatch> batch;  // its own, once it has one
    std::shared_ptr<KeyTexts> keys;      // the keys of its reader, then
  } owned;
};

// What an MgfReader holds.
struct ReaderState {
  std::string name;  // for errors: the path, or "<file>"
  py::object file;   // a file object read from, or None
  int fd = -1;
  std::unique_ptr<RecordStream> stream;
  std::shared_ptr<KeyTexts> keys = std::make_shared<KeyTexts>();
  const RecordBatch* batch = nullptr;  // the records being handed out
  std::size_t next = 0;                // the next of them
  // The records made from batch that still live: each gets a copy of its
  // own before the batch is reused. Null where one has gone.
  std::vector<RecordObject*> alive;
  bool done = false;
  std::optional<py::error_already_set> pending;  // raised by file.read()
};

struct ReaderObject {
  PyObject_HEAD
  ReaderState* state;
};

// Made when the module is loaded (PyType_FromSpec).
PyTypeObject* recordType = nullptr;
PyTypeObject* readerType = nullptr;

RecordObject* asRecord(PyObject* self) {
  return reinterpret_cast<RecordObject*>(self);
}

// Gives the records that still live on the reader's batch copies of their
// own, so that the batch can be reused.
void detachRecords(ReaderState& state) {
  for (RecordObject* record : state.alive) {
    if (record == nullptr) continue;
    record->owned.batch = state.batch->copyOf(*record->entry);
    record->batch = record->owned.batch.get();
    record->entry = &record->batch->entries.front();
    record->owned.keys = state.keys;
    record->reader = nullptr;
  }
  state.alive.clear();
}

PyObject* makeRecord(ReaderState& state, const RecordBatch::Entry& entry) {
  RecordObject* record = PyObject_GC_New(RecordObject, recordType);
  if (record == nullptr) throw py::error_already_set();
  record->batch = state.batch;
  record->entry = &entry;
  record->reader = &state;
  record->aliveAt = state.alive.size();
  record->fields = nullptr;
  record->peaks = nullptr;
  new (&record->owned) RecordObject::Owned{};
  try {
    state.alive.push_back(record);
  } catch (...) {
    record->reader = nullptr;
    Py_DECREF(record);
    throw;
  }
  PyObject_GC_Track(record);
  return reinterpret_cast<PyObject*>(record);
}

void recordDealloc(PyObject* self) {
  RecordObject* record = asRecord(self);
  PyObject_GC_UnTrack(self);
  if (record->reader != nullptr) {
    record->reader->alive[record->aliveAt] = nullptr;
  }
  Py_CLEAR(record->fields);
  Py_CLEAR(record->peaks);
  record->owned.~Owned();
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_Del(self);
  Py_DECREF(type);
}

int recordTraverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(asRecord(self)->fields);
  Py_VISIT(asRecord(self)->peaks);
  return 0;
}

int recordClear(PyObject* self) {
  Py_CLEAR(asRecord(self)->fields);
  Py_CLEAR(asRecord(self)->peaks);
  return 0;
}

// The object in slot, made by make() when first asked for and kept.
template <typename Make>
PyObject* madeOnce(PyObject*& slot, Make make) {
  if (slot == nullptr) {
    PyObject* made = fromPython(make);
    if (made == nullptr) return nullptr;
    slot = made;
  }
  Py_INCREF(slot);
  return slot;
}

PyObject* recordFields(PyObject* self, void*) {
  RecordObject* record = asRecord(self);
  return madeOnce(record->fields, [record]() -> PyObject* {
    // Sized for all its fields at once, so that it never grows.
    auto fields = py::reinterpret_steal<py::dict>(_PyDict_NewPresized(
        static_cast<Py_ssize_t>(record->entry->fieldCount)));
    if (!fields) throw py::error_already_set();
    KeyTexts& keys = record->reader != nullptr ? *record->reader->keys
                                               : *record->owned.keys;
    for (std::size_t i = 0; i < record->entry->fieldCount; ++i) {
      const Field field = record->batch->field(*record->entry, i);
      const py::object key = keys.find(field.key);
      const py::object value = valueText(field.value);
      if (PyDict_SetItem(fields.ptr(), key.ptr(), value.ptr()) != 0) {
        throw py::error_already_set();
      }
    }
    return fields.release().ptr();
  });
}

PyObject* recordRawFields(PyObject* self, void*) {
  const RecordObject* record = asRecord(self);
  return fromPython([record]() -> PyObject* {
    py::dict fields;
    for (std::size_t i = 0; i < record->entry->fieldCount; ++i) {
      const Field field = record->batch->field(*record->entry, i);
      fields[py::bytes(field.key.data(), field.key.size())] =
          py::bytes(field.value.data(), field.value.size());
    }
    return fields.release().ptr();
  });
}

PyObject* recordPeaks(PyObject* self, void*) {
  RecordObject* record = asRecord(self);
  return madeOnce(record->peaks, [record]() -> PyObject* {
    // NumPy's own constructor, as pybind11 reaches it: array_t would build
    // its shape and strides in vectors first, once per record (4% of the
    // whole read of a file).
    const auto& numpy = py::detail::npy_api::get();
    Py_intptr_t shape[2] = {static_cast<Py_intptr_t>(record->entry->lineCount),
                            2};
    auto peaks = py::reinterpret_steal<py::array>(numpy.PyArray_NewFromDescr_(
        numpy.PyArray_Type_,
        numpy.PyArray_DescrFromType_(py::detail::npy_api::NPY_DOUBLE_), 2,
        shape, nullptr, nullptr, 0, nullptr));
    if (!peaks) throw py::error_already_set();
    record->batch->readPeaks(*record->entry,
                             static_cast<double*>(peaks.mutable_data()));
    return peaks.release().ptr();
  });
}

PyObject* recordPeakLines(PyObject* self, void*) {
  const RecordObject* record = asRecord(self);
  return fromPython([record]() -> PyObject* {
    const auto views = record->batch->peakLines(*record->entry);
    py::list lines(views.size());
    for (std::size_t i = 0; i < views.size(); ++i) {
      lines[i] = py::bytes(views[i].data(), views[i].size());
    }
    return lines.release().ptr();
  });
}

PyObject* recordNumber(PyObject* self, void*) {
  return PyLong_FromLongLong(asRecord(self)->entry->number);
}

PyObject* recordLine(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(asRecord(self)->entry->line);
}

// A record as the command translates it.
struct MspParts {
  FieldMap source;
  PeakLines lines;
  CompoundName name;
  FieldMap library;
  FieldMap comments;
};

// Fills parts; false when the record is rejected.
bool translateParts(const RecordObject& record, MspParts& parts) {
  record.batch->toContainers(*record.entry, parts.source, parts.lines);
  return translateRecord(parts.source, parts.name, parts.library,
                         parts.comments);
}

// The MSP parts: (name, library fields, comments), or None when the record
// is rejected.
PyObject* recordTranslate(PyObject* self, PyObject*) {
  const RecordObject* record = asRecord(self);
  return fromPython([record]() -> PyObject* {
    MspParts parts;
    if (!translateParts(*record, parts)) return py::none().release().ptr();
    const auto asDict = [](const FieldMap& map) {
      py::dict dict;
      for (const Field& field : map) dict[text(field.key)] = text(field.value);
      return dict;
    };
    return py::make_tuple(text(parts.name), asDict(parts.library),
                          asDict(parts.comments))
        .release()
        .ptr();
  });
}

PyObject* recordToMsp(PyObject* self, PyObject*) {
  const RecordObject* record = asRecord(self);
  return fromPython([record]() -> PyObject* {
    MspParts parts;
    if (record->entry->lineCount == 0 || !translateParts(*record, parts)) {
      return py::none().release().ptr();
    }
    MspOutput output = mspOutputToMemory();
    writeMspRecord(output, parts.name, parts.library, parts.comments,
                   parts.lines);
    return py::bytes(output.text).release().ptr();
  });
}

PyObject* recordRepr(PyObject* self) {
  const RecordBatch::Entry& entry = *asRecord(self)->entry;
  return PyUnicode_FromFormat("<mspforge.Record %lld, line %llu, %zu peaks>",
                              static_cast<long long>(entry.number),
                              static_cast<unsigned long long>(entry.line),
                              entry.lineCount);
}

PyGetSetDef recordGetters[] = {
    {"fields", recordFields, nullptr,
     "The header fields, key to value, in the order of the record's lines "
     "(dict of str; made on "
     "first use, then the same dict).",
     nullptr},
    {"raw_fields", recordRawFields, nullptr,
     "The header fields as their bytes (dict of bytes).", nullptr},
    {"peaks", recordPeaks, nullptr,
     "One row of m/z and intensity per peak line (NumPy float64, n x 2; "
     "made on first use, then the same array).",
     nullptr},
    {"peak_lines", recordPeakLines, nullptr,
     "The peak lines as read, each with its line feed (list of bytes).",
     nullptr},
    {"number", recordNumber, nullptr, "1 for the first record of the input.",
     nullptr},
    {"line", recordLine, nullptr,
     "The line of its BEGIN IONS, 1 for the first line.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyMethodDef recordMethods[] = {
    {"translate", recordTranslate, METH_NOARGS,
     "(name, library fields, comments), or None when rejected."},
    {"to_msp", recordToMsp, METH_NOARGS,
     "The record's MSP bytes, or None when it would not be written."},
    {nullptr, nullptr, 0, nullptr}};

ReaderState& stateOf(PyObject* self) {
  return *reinterpret_cast<ReaderObject*>(self)->state;
}

// Lets go of the input: the records still on the reader's batch get
// copies, the reading thread stops, the file closes. The GIL is kept: the
// reading thread never takes it, and stops within a batch.
void closeReader(ReaderState& state) {
  if (state.batch != nullptr) detachRecords(state);
  state.batch = nullptr;
  state.done = true;
  if (state.stream) state.stream->stop();
  if (state.fd >= 0) platform::closeFile(state.fd);
  state.fd = -1;
}

void openPath(ReaderState& state, const std::string& path) {
  state.name = path;
  platform::FileIdentity identity;
  platform::OpenError error;
  state.fd = platform::openInputFile(path.c_str(), identity, &error);
  if (state.fd < 0) {
    FileConversionDetails details;
    describeOpenFailure(FileConversionDetails::Problem::CannotOpenInput,
                        path.c_str(), error, details);
    raiseFailure(details);
  }
  // A regular file is read ahead; a pipe is read as records are asked
  // for, since stopping a thread blocked on one could wait for ever. Both
  // are read into a buffer, not mapped: a record is copied out anyway, and
  // the copy from the system's cache costs less than the page faults of a
  // mapping. A buffer of 256 KiB stays in the core's cache while the
  // record reader goes through it (3-4% faster than 1 MiB on 100 MB).
  std::uint64_t size = 0;
  const bool regular = platform::regularFileSizeOf(state.fd, size);
  const int fd = state.fd;
  MgfInput input = decodingInputFromReader([fd](char* into, std::size_t room) {
    return platform::readSome(fd, into, room);
  });
  input.blockSize = std::size_t{256} << 10;
  state.stream = std::make_unique<RecordStream>(std::move(input), regular);
}

// A binary file object, read with its read() on the thread that asks for
// records, the GIL taken for each call.
void openFile(ReaderState& state, py::object file) {
  state.name = "<file>";
  state.file = std::move(file);
  ReaderState* reading = &state;
  MgfInput input = decodingInputFromReader(
      [reading](char* into, std::size_t room) {
        py::gil_scoped_acquire acquire;
        try {
          py::object chunk = reading->file.attr("read")(room);
          if (!PyBytes_Check(chunk.ptr())) {
            throw py::type_error("read_mgf needs a file opened in binary mode");
          }
          const auto size =
              static_cast<std::size_t>(PyBytes_GET_SIZE(chunk.ptr()));
          const std::size_t take = std::min(room, size);
          std::memcpy(into, PyBytes_AS_STRING(chunk.ptr()), take);
          return static_cast<std::ptrdiff_t>(take);
        } catch (py::error_already_set& error) {
          reading->pending = std::move(error);
        } catch (py::builtin_exception& error) {
          error.set_error();
          reading->pending = py::error_already_set();
        }
        return std::ptrdiff_t{-1};
      });
  state.stream = std::make_unique<RecordStream>(std::move(input), false);
}

PyObject* readerNew(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"source", nullptr};
  PyObject* source = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:MgfReader",
                                   const_cast<char**>(keywords), &source)) {
    return nullptr;
  }
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return nullptr;
  reinterpret_cast<ReaderObject*>(self)->state = new (std::nothrow) ReaderState;
  if (reinterpret_cast<ReaderObject*>(self)->state == nullptr) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  ReaderState& state = stateOf(self);
  PyObject* opened = fromPython([&]() -> PyObject* {
    if (PyUnicode_Check(source)) {
      openPath(state, py::cast<std::string>(source));
    } else if (PyObject_HasAttrString(source, "read")) {
      openFile(state, py::reinterpret_borrow<py::object>(source));
    } else {
      throw py::type_error("read_mgf needs a path or a binary file object");
    }
    return self;
  });
  if (opened == nullptr) Py_DECREF(self);
  return opened;
}

void readerDealloc(PyObject* self) {
  ReaderObject* reader = reinterpret_cast<ReaderObject*>(self);
  if (reader->state != nullptr) {
    closeReader(*reader->state);
    delete reader->state;
  }
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* readerNext(PyObject* self) {
  ReaderState& state = stateOf(self);
  return fromPython([&state]() -> PyObject* {
    if (state.done) return nullptr;
    if (state.batch == nullptr || state.next == state.batch->size()) {
      if (state.batch != nullptr) detachRecords(state);
      state.batch = nullptr;
      const RecordBatch* batch;
      {
        py::gil_scoped_release release;
        batch = state.stream->next();
      }
      if (state.pending) {
        py::error_already_set error = std::move(*state.pending);
        state.pending.reset();
        closeReader(state);
        throw error;
      }
      if (batch == nullptr) {
        const bool failed = state.stream->failed();
        const int code = state.stream->error();
        const std::string reason = state.stream->failure();
        closeReader(state);
        if (failed) raiseOsError(code != 0 ? code : EIO, reason, state.name);
        return nullptr;
      }
      state.batch = batch;
      state.next = 0;
    }
    return makeRecord(state, state.batch->entries[state.next++]);
  });
}

PyObject* readerClose(PyObject* self, PyObject*) {
  closeReader(stateOf(self));
  Py_RETURN_NONE;
}

PyObject* readerEnter(PyObject* self, PyObject*) {
  Py_INCREF(self);
  return self;
}

PyObject* readerExit(PyObject* self, PyObject*) {
  closeReader(stateOf(self));
  Py_RETURN_FALSE;
}

PyMethodDef readerMethods[] = {
    {"close", readerClose, METH_NOARGS,
     "Stops reading and closes the file; records already given stay."},
    {"__enter__", readerEnter, METH_NOARGS, nullptr},
    {"__exit__", readerExit, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace

template <typename Function>
void* slot(Function* function) {
  return reinterpret_cast<void*>(function);
}

bool addRecordTypes(PyObject* module) {
  static PyType_Slot recordSlots[] = {
      {Py_tp_doc,
       const_cast<char*>("One MGF record, with its own copy of its bytes.")},
      {Py_tp_dealloc, slot(recordDealloc)},
      {Py_tp_traverse, slot(recordTraverse)},
      {Py_tp_clear, slot(recordClear)},
      {Py_tp_repr, slot(recordRepr)},
      {Py_tp_getset, recordGetters},
      {Py_tp_methods, recordMethods},
      {0, nullptr}};
  static PyType_Spec recordSpec = {
      "mspforge.Record", static_cast<int>(sizeof(RecordObject)), 0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, recordSlots};
  static PyType_Slot readerSlots[] = {
      {Py_tp_doc,
       const_cast<char*>(
           "The records of an MGF file, one at a time: an iterator that "
           "closes the file at its end, on close(), or when a with block "
           "ends.")},
      {Py_tp_new, slot(readerNew)},
      {Py_tp_dealloc, slot(readerDealloc)},
      {Py_tp_iter, slot(PyObject_SelfIter)},
      {Py_tp_iternext, slot(readerNext)},
      {Py_tp_methods, readerMethods},
      {0, nullptr}};
  static PyType_Spec readerSpec = {"mspforge.MgfReader",
                                   static_cast<int>(sizeof(ReaderObject)), 0,
                                   Py_TPFLAGS_DEFAULT, readerSlots};
  recordType = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&recordSpec));
  readerType = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&readerSpec));
  if (recordType == nullptr || readerType == nullptr) return false;
  for (auto [name, type] : {std::pair{"Record", recordType},
                            std::pair{"MgfReader", readerType}}) {
    Py_INCREF(type);
    if (PyModule_AddObject(module, name, reinterpret_cast<PyObject*>(type)) <
        0) {
      Py_DECREF(type);
      return false;
    }
  }
  return true;
}

}  // namespace mspforge::python
