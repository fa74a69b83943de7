#include "os_errors.h"

#include <pybind11/pybind11.h>

#include <cerrno>

namespace py = pybind11;

namespace mspforge::python {

void raiseOsError(int code, const std::string& message,
                  const std::string& filename) {
  py::object error = py::module_::import("builtins")
                         .attr("OSError")(code, message, filename);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())),
                  error.ptr());
  throw py::error_already_set();
}

void raiseFailure(const FileConversionDetails& details) {
  using Problem = FileConversionDetails::Problem;
  int code = details.systemError;
  std::string message = details.reason;
  switch (details.problem) {
    case Problem::OutputHoldsMgf:
      code = EEXIST;
      message = "holds MGF spectra; not replacing it (are the paths swapped?)";
      break;
    case Problem::OutputIsInput:
      code = EINVAL;
      message = "the output is the input file";
      break;
    default:
      if (details.isDirectory) code = EISDIR;
      if (details.isLocked) code = EAGAIN;
      if (code == 0) code = EIO;
      break;
  }
  raiseOsError(code, message, details.path);
}

}  // namespace mspforge::python
