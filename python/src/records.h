// MGF records as Python objects: the module's types Record and MgfReader.
// They are written against Python's C API rather than bound with pybind11,
// because they are made and asked once per record, where pybind11's call
// machinery costs more than all the rest of the work on the Python side.
#pragma once

#include <Python.h>

namespace mspforge::python {

// Readies the types and adds them to module as "Record" and "MgfReader";
// false, with a Python error set, when that fails.
bool addRecordTypes(PyObject* module);

}  // namespace mspforge::python
