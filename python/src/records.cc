#include "records.h"

#include <pybind11/stl.h>

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
#include "app/record_loop.h"
#include "mgf/input_decoding.h"
#include "mspforge/mspforge.h"
#include "os_errors.h"
#include "platform/platform_io.h"
#include "record_objects.h"
#include "record_stream.h"

namespace mspforge::python {
namespace {

PyTypeObject* readerType = nullptr;

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

// The options of read_mgf: defaults, a sequence of (key, value) pairs of
// str, and name, a str template (both checked by the Python side); null
// when neither is given.
std::shared_ptr<const ReadOptions> readOptions(PyObject* defaults,
                                               PyObject* name) {
  const bool anyDefaults = defaults != nullptr && defaults != Py_None;
  const bool anyName = name != nullptr && name != Py_None;
  if (!anyDefaults && !anyName) return nullptr;
  auto made = std::make_shared<ReadOptions>();
  if (anyDefaults) {
    made->options.defaults =
        py::cast<std::vector<std::pair<std::string, std::string>>>(
            py::handle(defaults));
  }
  if (anyName) made->options.nameTemplate = py::cast<std::string>(py::handle(name));
  made->defaults = effectiveDefaults(made->options);
  return made;
}

PyObject* readerNew(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"source", "defaults", "name", nullptr};
  PyObject* source = nullptr;
  PyObject* defaults = nullptr;
  PyObject* name = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|OO:MgfReader",
                                   const_cast<char**>(keywords), &source,
                                   &defaults, &name)) {
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
    state.options = readOptions(defaults, name);
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
  PyTypeObject* recordType = makeRecordType();
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
