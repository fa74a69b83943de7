// The Record type: one MGF record, its fields and peaks made into Python
// objects when first asked for, and what the command makes of it.
#include <pybind11/numpy.h>

#include "msp/msp_output.h"
#include "record_objects.h"

namespace mspforge::python {
namespace {

PyTypeObject* recordType = nullptr;

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

// Calls use for each of the reader's defaults that the record has no
// header line of: the lines it gets, as convert gives them.
template <typename Use>
void forEachDefault(const RecordObject& record, Use use) {
  const ReadOptions* options = record.owned.options.get();
  if (options == nullptr) return;
  for (const Field& field : options->defaults) {
    bool stated = false;
    for (std::size_t i = 0; i < record.entry->fieldCount && !stated; ++i) {
      stated = record.batch->field(*record.entry, i).key == field.key;
    }
    if (!stated) use(field);
  }
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
    forEachDefault(*record, [&](const Field& field) {
      fields[text(field.key)] = text(field.value);
    });
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
    forEachDefault(*record, [&](const Field& field) {
      fields[py::bytes(field.key.data(), field.key.size())] =
          py::bytes(field.value.data(), field.value.size());
    });
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
  TranslationNotes notes;
};

// Fills parts, with the reader's defaults and name template applied as
// convert applies them; false when the record would not be written (no
// name, MS level or precursor m/z, or no peaks).
bool translateParts(const RecordObject& record, MspParts& parts) {
  record.batch->toContainers(*record.entry, parts.source, parts.lines);
  const ReadOptions* options = record.owned.options.get();
  std::string_view nameTemplate;
  if (options != nullptr) {
    for (const Field& field : options->defaults) {
      if (parts.source.findLast(field.key) == nullptr) {
        parts.source.appendView(field.key, field.value);
      }
    }
    nameTemplate = options->options.nameTemplate;
  }
  const bool accepted =
      translateRecord(parts.source, parts.name, parts.library, parts.comments,
                      &parts.notes, nameTemplate);
  return accepted && record.entry->lineCount != 0;
}

// What the command makes of the record: (name, library fields, comments,
// written, reasons), reasons saying in the summary's words what a record
// that would not be written lacks.
PyObject* recordTranslate(PyObject* self, PyObject*) {
  const RecordObject* record = asRecord(self);
  return fromPython([record]() -> PyObject* {
    MspParts parts;
    const bool written = translateParts(*record, parts);
    const auto asDict = [](const FieldMap& map) {
      py::dict dict;
      for (const Field& field : map) dict[text(field.key)] = text(field.value);
      return dict;
    };
    py::list reasons;
    for (std::string_view reason :
         reasonsNotWritten(parts.notes, record->entry->lineCount != 0)) {
      reasons.append(text(reason));
    }
    return py::make_tuple(text(parts.name), asDict(parts.library),
                          asDict(parts.comments), py::bool_(written), reasons)
        .release()
        .ptr();
  });
}

PyObject* recordToMsp(PyObject* self, PyObject*) {
  const RecordObject* record = asRecord(self);
  return fromPython([record]() -> PyObject* {
    MspParts parts;
    if (!translateParts(*record, parts)) return py::none().release().ptr();
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
     "(name, library fields, comments, written, reasons not written)."},
    {"to_msp", recordToMsp, METH_NOARGS,
     "The record's MSP bytes, or None when it would not be written."},
    {nullptr, nullptr, 0, nullptr}};

template <typename Function>
void* slot(Function* function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

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
  record->owned.options = state.options;
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

PyTypeObject* makeRecordType() {
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
  recordType = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&recordSpec));
  return recordType;
}

}  // namespace mspforge::python
