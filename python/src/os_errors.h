// Failures as Python sees them: the OSError subclass that errno names, with
// the file's name, as Python's own file functions raise them.
#pragma once

#include <string>

#include "mspforge/mspforge.h"

namespace mspforge::python {

// Sets OSError(code, message, filename), which Python turns into
// FileNotFoundError, IsADirectoryError, PermissionError... by code, and
// throws pybind11::error_already_set.
[[noreturn]] void raiseOsError(int code, const std::string& message,
                               const std::string& filename);

// raiseOsError for why a file could not be converted or opened: EEXIST for
// an output that holds MGF spectra (the paths swapped), EINVAL for an
// output that is the input, EISDIR, EAGAIN for a lock, else the system's
// code, or EIO when the cause is the data's.
[[noreturn]] void raiseFailure(const FileConversionDetails& details);

}  // namespace mspforge::python
