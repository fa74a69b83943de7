// Many files at once: mspforge --output-dir DIR IN...
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"

namespace mspforge {

// The output file name for an input path: its file name without a final
// ".gz" and then ".mgf" (either in any letter case), and ".msp":
// "data/a.mgf.gz" gives "a.msp", "b.MGF" gives "b.msp", "c.txt" gives
// "c.txt.msp".
std::string outputNameFor(const std::string& inputPath);

// Converts every path of commandLine into commandLine.outputDir, up to
// commandLine.jobs at once, and prints one tally line per input in the
// order given, after its name. Returns the worst exit code; a usage error
// (two inputs that would write one output) before anything is written.
int convertBatch(const CommandLine& commandLine);

}  // namespace mspforge
