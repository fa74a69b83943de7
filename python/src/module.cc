// mspforge for Python: the command's conversion, a streaming converter and
// an MGF record reader, over the C++ library. The Python-facing names and
// documentation are in mspforge/__init__.py and __init__.pyi; this file
// binds them. The GIL is released while C++ reads and converts.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <algorithm>
#include <charconv>
#include <limits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "mgf/input_decoding.h"
#include "msp/msp_output.h"
#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

namespace py = pybind11;

namespace mspforge::python {
namespace {

using Defaults = std::vector<std::pair<std::string, std::string>>;

// A tally and the first bytes of its input, for the summary.
struct Tally {
  ConversionTally counts;
  std::string inputHead;
};

std::string tallyLine(const ConversionTally& tally) {
  std::string line = formatTally(tally);
  line.pop_back();  // the line end
  return line;
}

ConversionOptions optionsWith(const Defaults& defaults) {
  ConversionOptions options;
  options.defaults = defaults;
  return options;
}

// Raises the OSError subclass that errno names, as Python's own file
// functions do: FileNotFoundError, IsADirectoryError, PermissionError...
[[noreturn]] void raiseOsError(int code, const std::string& message,
                               const std::string& filename) {
  py::object error = py::module_::import("builtins")
                         .attr("OSError")(code, message, filename);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())),
                  error.ptr());
  throw py::error_already_set();
}

[[noreturn]] void raiseFailure(const FileConversionDetails& details) {
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

Tally convert(const std::string& input, const std::string& output,
              const Defaults& defaults) {
  const ConversionOptions options = optionsWith(defaults);
  Tally tally;
  FileConversionDetails details;
  ConversionResult result;
  {
    py::gil_scoped_release release;
    result = convertFile(input.c_str(), output.c_str(), tally.counts, options,
                         &details);
  }
  if (result != ConversionResult::Complete) raiseFailure(details);
  tally.inputHead = details.inputHead;
  return tally;
}

py::tuple convertBytesToMsp(const py::bytes& data, const Defaults& defaults) {
  const ConversionOptions options = optionsWith(defaults);
  char* buffer = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(data.ptr(), &buffer, &size) != 0) {
    throw py::error_already_set();
  }
  // The bytes object is immutable and held by the caller throughout.
  const std::string_view mgf(buffer, static_cast<std::size_t>(size));
  std::string msp;
  Tally tally;
  ConversionResult result;
  {
    py::gil_scoped_release release;
    result = convertBytes(mgf, msp, tally.counts, options);
  }
  if (result != ConversionResult::Complete) {
    raiseOsError(EIO, "the gzip data is damaged or cut short", "<bytes>");
  }
  tally.inputHead = std::string(mgf.substr(0, kProbeHeadBytes));
  return py::make_tuple(py::bytes(msp), tally);
}

// Converter: MGF bytes in pieces, MSP bytes out as they are made.
class Converter {
 public:
  explicit Converter(const Defaults& defaults)
      : conversion_([this](std::string_view msp) { made_.append(msp); },
                    optionsWith(defaults)) {}

  py::bytes feed(const py::bytes& data) {
    if (finished_) throw py::value_error("the converter has finished");
    char* buffer = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(data.ptr(), &buffer, &size) != 0) {
      throw py::error_already_set();
    }
    const std::string_view piece(buffer, static_cast<std::size_t>(size));
    {
      py::gil_scoped_release release;
      conversion_.feed(piece);
    }
    checkDecoding();
    return take();
  }

  Tally finish() {
    if (finished_) throw py::value_error("the converter has finished");
    finished_ = true;
    Tally tally;
    {
      py::gil_scoped_release release;
      tally.counts = conversion_.finish();
    }
    checkDecoding();
    tally.inputHead = conversion_.inputHead();
    return tally;
  }

  // What finish() made after the last feed.
  py::bytes rest() { return take(); }

 private:
  py::bytes take() {
    py::bytes made(made_);
    made_.clear();
    return made;
  }

  void checkDecoding() {
    if (conversion_.failed()) {
      raiseOsError(EIO, conversion_.failure(), "<stream>");
    }
  }

  std::string made_;
  StreamingConversion conversion_;
  bool finished_ = false;
};

// Text as Python str: UTF-8, with any byte that is not part of valid UTF-8
// kept as a lone surrogate (U+DC80..U+DCFF), so that
// text.encode("utf-8", "surrogateescape") gives the bytes back.
py::str text(std::string_view bytes) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                           "surrogateescape");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

// Reads the decimal number at `at`, as from_chars does, and moves `at`
// past it; false when there is none. Peak lines hold short decimals
// ("110.0713", "45.5"): with at most 15 digits and 22 after the point,
// the digits and the power of ten are exact doubles, and one division,
// rounded once, gives the correctly rounded value (Clinger's fast path).
// Anything else goes to from_chars.
bool readNumber(const char*& at, const char* end, double& value) {
  static constexpr double kPowersOfTen[] = {
      1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = at;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  std::uint64_t digits = 0;
  int count = 0;
  int afterPoint = 0;
  bool point = false;
  for (; p < end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      ++count;
      if (point) ++afterPoint;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  int scale = -afterPoint;  // the value is digits * 10^scale
  if (count > 0 && p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    const bool below = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+')) ++q;
    int exponent = 0;
    const char* exponentDigits = q;
    while (q < end && *q >= '0' && *q <= '9' && exponent < 1000) {
      exponent = exponent * 10 + (*q - '0');
      ++q;
    }
    if (q > exponentDigits && (q == end || *q < '0' || *q > '9')) {
      scale += below ? -exponent : exponent;
      p = q;
    } else {
      count = 0;  // left to from_chars
    }
  }
  if (count > 0 && count <= 15 && scale >= -22 && scale <= 22) {
    const double magnitude = static_cast<double>(digits);
    value = scale < 0 ? magnitude / kPowersOfTen[-scale]
                      : magnitude * kPowersOfTen[scale];
    if (negative) value = -value;
    at = p;
    return true;
  }
  const char* from = at < end && *at == '+' ? at + 1 : at;
  const auto [next, ec] = std::from_chars(from, end, value);
  if (ec != std::errc()) return false;
  at = next;
  return true;
}

// The first two numbers of a peak line, m/z and intensity; NaN where a
// number is missing.
std::pair<double, double> peakNumbers(std::string_view line) {
  double values[2] = {std::numeric_limits<double>::quiet_NaN(),
                      std::numeric_limits<double>::quiet_NaN()};
  const char* at = line.data();
  const char* end = line.data() + line.size();
  for (double& value : values) {
    while (at < end && isCSpace(*at)) ++at;
    if (!readNumber(at, end, value)) break;
  }
  return {values[0], values[1]};
}

// One MGF record as the reader read it, with a copy of its bytes: the span
// of the input from its first field or peak line to its last, in which the
// fields and lines are views.
struct Record {
  std::string bytes;
  FieldMap fields;
  PeakLines peakLines;
  std::int64_t number = 0;
  std::uint64_t line = 0;

  py::dict textFields() const {
    py::dict result;
    for (const Field& field : fields) {
      const py::str key = text(field.key);
      const py::str value = text(field.value);
      if (PyDict_SetItem(result.ptr(), key.ptr(), value.ptr()) != 0) {
        throw py::error_already_set();
      }
    }
    return result;
  }

  py::dict rawFields() const {
    py::dict result;
    for (const Field& field : fields) {
      result[py::bytes(std::string(field.key))] =
          py::bytes(std::string(field.value));
    }
    return result;
  }

  py::array_t<double> peaks() const {
    const auto n = static_cast<py::ssize_t>(peakLines.size());
    py::array_t<double> array({n, py::ssize_t{2}});
    auto view = array.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < n; ++i) {
      const auto [mz, intensity] =
          peakNumbers(peakLines[static_cast<std::size_t>(i)]);
      view(i, 0) = mz;
      view(i, 1) = intensity;
    }
    return array;
  }

  py::list lines() const {
    py::list result;
    for (std::size_t i = 0; i < peakLines.size(); ++i) {
      result.append(py::bytes(std::string(peakLines[i])));
    }
    return result;
  }

  // The MSP parts: (name, library fields, comments), or nothing when the
  // record is rejected.
  py::object translate() const {
    CompoundName name;
    FieldMap library;
    FieldMap comments;
    if (!translateRecord(fields, name, library, comments)) return py::none();
    py::dict libraryFields;
    for (const Field& field : library) {
      libraryFields[text(field.key)] = text(field.value);
    }
    py::dict commentFields;
    for (const Field& field : comments) {
      commentFields[text(field.key)] = text(field.value);
    }
    return py::make_tuple(text(name), libraryFields, commentFields);
  }

  py::object toMsp() const {
    if (peakLines.empty()) return py::none();
    CompoundName name;
    FieldMap library;
    FieldMap comments;
    if (!translateRecord(fields, name, library, comments)) return py::none();
    MspOutput output = mspOutputToMemory();
    writeMspRecord(output, name, library, comments, peakLines);
    return py::bytes(output.text);
  }
};

// Iterates the records of a file, one at a time, in constant memory.
class MgfReader {
 public:
  // A path: opened as the command opens its input (gzip and UTF-16
  // decoded).
  explicit MgfReader(const std::string& path) : name_(path) {
    platform::FileIdentity identity;
    platform::OpenError error;
    fd_ = platform::openInputFile(path.c_str(), identity, &error);
    if (fd_ < 0) {
      FileConversionDetails details;
      describeOpenFailure(FileConversionDetails::Problem::CannotOpenInput,
                          path.c_str(), error, details);
      raiseFailure(details);
    }
    std::shared_ptr<const InputProbe> probe;
    input_ = openMgfInput(fd_, probe);
  }

  // A binary file object: read with its readinto() or read(), which are
  // called with the GIL held.
  explicit MgfReader(py::object file) : name_("<file>"), file_(std::move(file)) {
    input_ = decodingInputFromReader([this](char* into, std::size_t room) {
      py::gil_scoped_acquire acquire;
      try {
        py::object chunk = file_.attr("read")(room);
        if (!PyBytes_Check(chunk.ptr())) {
          throw py::type_error("read_mgf needs a file opened in binary mode");
        }
        const auto size = static_cast<std::size_t>(PyBytes_GET_SIZE(chunk.ptr()));
        const std::size_t take = std::min(room, size);
        std::memcpy(into, PyBytes_AS_STRING(chunk.ptr()), take);
        return static_cast<std::ptrdiff_t>(take);
      } catch (py::error_already_set& error) {
        pending_ = std::move(error);
        return std::ptrdiff_t{-1};
      } catch (py::builtin_exception& error) {
        error.set_error();
        pending_ = py::error_already_set();
        return std::ptrdiff_t{-1};
      }
    });
  }

  ~MgfReader() { close(); }
  MgfReader(const MgfReader&) = delete;
  MgfReader& operator=(const MgfReader&) = delete;

  std::unique_ptr<Record> next() {
    if (done_) throw py::stop_iteration();
    bool read;
    {
      py::gil_scoped_release release;
      read = readMgfRecord(input_, fields_, peaks_);
    }
    if (pending_) {
      done_ = true;
      py::error_already_set error = std::move(*pending_);
      pending_.reset();
      throw error;
    }
    if (!read) {
      done_ = true;
      if (input_.failed) raiseOsError(input_.error != 0 ? input_.error : EIO,
                                      input_.failure, name_);
      close();
      throw py::stop_iteration();
    }
    auto record = std::make_unique<Record>();
    copyRecord(*record);
    record->number = ++count_;
    record->line = static_cast<std::uint64_t>(input_.recordLine);
    return record;
  }

  void close() {
    if (fd_ >= 0) platform::closeFile(fd_);
    fd_ = -1;
  }

 private:
  // One copy of the bytes the record's views span, and the views moved
  // onto it: cheaper than a copy per field and line.
  void copyRecord(Record& record) const {
    const char* first = nullptr;
    const char* last = nullptr;
    auto cover = [&](std::string_view text) {
      if (text.empty()) return;
      if (first == nullptr || text.data() < first) first = text.data();
      if (last == nullptr || text.data() + text.size() > last) {
        last = text.data() + text.size();
      }
    };
    for (const Field& field : fields_) {
      cover(field.key);
      cover(field.value);
    }
    for (std::string_view run : peaks_.runs()) cover(run);
    if (first != nullptr) record.bytes.assign(first, last);
    auto moved = [&](std::string_view text) {
      if (text.empty()) return std::string_view();
      return std::string_view(
          record.bytes.data() + (text.data() - first), text.size());
    };
    for (const Field& field : fields_) {
      record.fields.setView(moved(field.key), moved(field.value));
    }
    for (std::size_t i = 0; i < peaks_.size(); ++i) {
      record.peakLines.appendView(moved(peaks_[i]));
    }
  }

  std::string name_;
  py::object file_;
  int fd_ = -1;
  MgfInput input_;
  FieldMap fields_;
  PeakLines peaks_;
  std::int64_t count_ = 0;
  bool done_ = false;
  std::optional<py::error_already_set> pending_;
};

}  // namespace
}  // namespace mspforge::python

PYBIND11_MODULE(_mspforge, m) {
  using namespace mspforge::python;
  m.doc() = "The C++ core of mspforge; use the mspforge package.";
  m.attr("__version__") = MSPFORGE_VERSION;

  py::class_<Tally>(m, "Tally")
      .def_property_readonly("total",
                             [](const Tally& t) { return t.counts.totalSpectra; })
      .def_property_readonly(
          "ignored", [](const Tally& t) { return t.counts.ignoredSpectra; })
      .def_property_readonly("unrecognized", [](const Tally& t) {
        return t.counts.unrecognizedSpectra;
      })
      .def_property_readonly(
          "written", [](const Tally& t) { return t.counts.writtenSpectra(); })
      .def_property_readonly(
          "without_name", [](const Tally& t) { return t.counts.withoutName; })
      .def_property_readonly("without_ms_level", [](const Tally& t) {
        return t.counts.withoutMsLevel;
      })
      .def_property_readonly("without_precursor_mz", [](const Tally& t) {
        return t.counts.withoutPrecursorMz;
      })
      .def_property_readonly("lacking_several", [](const Tally& t) {
        return t.counts.lackingSeveral;
      })
      .def_property_readonly("summary",
                             [](const Tally& t) {
                               return mspforge::formatSummary(t.counts,
                                                              t.inputHead);
                             })
      .def("__str__", [](const Tally& t) { return tallyLine(t.counts); })
      .def("__repr__", [](const Tally& t) {
        return "<Tally " + tallyLine(t.counts) + ">";
      });

  m.def("convert", &convert, py::arg("input"), py::arg("output"),
        py::arg("defaults"));
  m.def("convert_bytes", &convertBytesToMsp, py::arg("data"),
        py::arg("defaults"));

  py::class_<Converter>(m, "Converter")
      .def(py::init<const Defaults&>(), py::arg("defaults"))
      .def("feed", &Converter::feed, py::arg("data"))
      .def("finish", &Converter::finish)
      .def("rest", &Converter::rest);

  py::class_<Record>(m, "Record")
      .def_property_readonly("fields", &Record::textFields)
      .def_property_readonly("raw_fields", &Record::rawFields)
      .def_property_readonly("peaks", &Record::peaks)
      .def_property_readonly("peak_lines", &Record::lines)
      .def_readonly("number", &Record::number)
      .def_readonly("line", &Record::line)
      .def("translate", &Record::translate)
      .def("to_msp", &Record::toMsp);

  py::class_<MgfReader>(m, "MgfReader")
      .def(py::init<const std::string&>(), py::arg("path"))
      .def(py::init<py::object>(), py::arg("file"))
      .def("__iter__", [](MgfReader& reader) -> MgfReader& { return reader; })
      .def("__next__", &MgfReader::next)
      .def("close", &MgfReader::close);
}
