// mspforge for Python: the command's conversion, a streaming converter and
// an MGF record reader (records.h), over the C++ library. The
// Python-facing names and documentation are in mspforge/__init__.py and
// __init__.pyi; this file binds them. The GIL is released while C++ reads
// and converts.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "mgf/input_decoding.h"
#include "mspforge/mspforge.h"
#include "os_errors.h"
#include "records.h"

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

// The options of a conversion; target names the layout (--for).
ConversionOptions optionsWith(const Defaults& defaults,
                              const std::string& nameTemplate,
                              const std::string& target) {
  ConversionOptions options;
  options.defaults = defaults;
  options.nameTemplate = nameTemplate;
  if (!libraryLayoutNamed(target, options.layout)) {
    throw py::value_error("target is \"nist\", \"msdial\", \"matchms\" or "
                          "\"openms\", not \"" + target + "\"");
  }
  return options;
}

Tally convert(const std::string& input, const std::string& output,
              const Defaults& defaults, const std::string& nameTemplate,
              const std::string& target) {
  const ConversionOptions options =
      optionsWith(defaults, nameTemplate, target);
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

py::tuple convertBytesToMsp(const py::bytes& data, const Defaults& defaults,
                            const std::string& nameTemplate,
                            const std::string& target) {
  const ConversionOptions options =
      optionsWith(defaults, nameTemplate, target);
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
  Converter(const Defaults& defaults, const std::string& nameTemplate,
            const std::string& target)
      : conversion_([this](std::string_view msp) { made_.append(msp); },
                    optionsWith(defaults, nameTemplate, target)) {}

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
      .def_property_readonly("unterminated", [](const Tally& t) {
        return t.counts.unterminatedSpectra;
      })
      .def_property_readonly("first_unterminated_line", [](const Tally& t) {
        return t.counts.firstUnterminatedLine;
      })
      .def_property_readonly("adducts_from_charge", [](const Tally& t) {
        return t.counts.adductsFromCharge;
      })
      .def_property_readonly("peak_lines_left_out", [](const Tally& t) {
        return t.counts.peakLinesLeftOut;
      })
      .def_property_readonly("summary",
                             [](const Tally& t) {
                               return mspforge::formatSummary(
                                   t.counts, t.inputHead,
                                   mspforge::SummaryVoice::Python);
                             })
      .def("__str__", [](const Tally& t) { return tallyLine(t.counts); })
      .def("__repr__", [](const Tally& t) {
        return "<Tally " + tallyLine(t.counts) + ">";
      });

  m.def("convert", &convert, py::arg("input"), py::arg("output"),
        py::arg("defaults"), py::arg("name"), py::arg("target"));
  m.def("convert_bytes", &convertBytesToMsp, py::arg("data"),
        py::arg("defaults"), py::arg("name"), py::arg("target"));

  py::class_<Converter>(m, "Converter")
      .def(py::init<const Defaults&, const std::string&, const std::string&>(),
           py::arg("defaults"), py::arg("name"), py::arg("target"))
      .def("feed", &Converter::feed, py::arg("data"))
      .def("finish", &Converter::finish)
      .def("rest", &Converter::rest);

  if (!addRecordTypes(m.ptr())) throw py::error_already_set();
}
