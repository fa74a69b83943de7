// What the module's types Record and MgfReader share: their objects'
// layout, the reader's state, and the making of Python text. Private to
// the Python module.
#pragma once

#include <Python.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mspforge/mspforge.h"
#include "record_stream.h"

namespace mspforge::python {

namespace py = pybind11;

// Text as Python str: UTF-8, with any byte that is not part of valid UTF-8
// kept as a lone surrogate (U+DC80..U+DCFF), so that
// text.encode("utf-8", "surrogateescape") gives the bytes back.
inline py::object text(std::string_view bytes) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                           "surrogateescape");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(decoded);
}

inline bool isAscii(std::string_view bytes) {
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
inline py::object valueText(std::string_view bytes) {
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

// What read_mgf was asked to apply to every record, as convert applies it:
// header lines for the records without them, and a name template. Shared
// by the reader and the records that outlive it.
struct ReadOptions {
  ConversionOptions options;
  std::vector<Field> defaults;  // views of options.defaults that apply
};

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
    std::shared_ptr<const ReadOptions> options;  // null: none asked for
  } owned;
};

// What an MgfReader holds.
struct ReaderState {
  std::string name;  // for errors: the path, or "<file>"
  py::object file;   // a file object read from, or None
  int fd = -1;
  std::unique_ptr<RecordStream> stream;
  std::shared_ptr<KeyTexts> keys = std::make_shared<KeyTexts>();
  std::shared_ptr<const ReadOptions> options;  // null: none asked for
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

inline RecordObject* asRecord(PyObject* self) {
  return reinterpret_cast<RecordObject*>(self);
}

// The Record type, made when the module is loaded (PyType_FromSpec);
// null, with a Python error set, when that fails.
PyTypeObject* makeRecordType();

// A Record of entry on the reader's batch, which it views while it is
// there.
PyObject* makeRecord(ReaderState& state, const RecordBatch::Entry& entry);

// Gives the records that still live on the reader's batch copies of their
// own, so that the batch can be reused.
void detachRecords(ReaderState& state);

}  // namespace mspforge::python
