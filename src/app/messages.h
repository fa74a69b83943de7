// What the command says: the fixed messages on standard output that
// scripts rely on, and the lines on standard error that name the file and
// the reason.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "app/run_converter.h"
#include "mspforge/mspforge.h"
#include "platform/platform_io.h"

namespace mspforge {

// Shows one message; false when it could not be shown.
bool show(std::FILE* stream, std::string_view message);

// "mspforge: " message and a line end, on standard error.
void showError(std::string_view message);

// "Cannot open file\n", "Cannot read file\n" or "Cannot write file\n".
std::string_view resultMessage(ConversionResult result);

ExitCode exitCodeOf(ConversionResult result);

// The standard-error line for a failed conversion, without "mspforge: ":
// "cannot open output 'x/out.msp': No such file or directory",
// "'spectra.mgf' holds MGF spectra; not replacing it (are the paths
// swapped?)".
std::string problemText(const FileConversionDetails& details);

// Why an open failed, in words.
std::string openFailureText(const platform::OpenError& error);

// The details of a refused open of path: problem, unless the refusal says
// the output is the input or holds MGF.
void describeOpenFailure(FileConversionDetails::Problem problem,
                         const char* path, const platform::OpenError& error,
                         FileConversionDetails& details);

}  // namespace mspforge
