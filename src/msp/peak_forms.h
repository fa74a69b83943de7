// What the NIST layout's peak lines, copied as read, hold that readers of
// other layouts misread: numbers in exponent form ("1.91742e+04", as Java
// tools write intensities; MS-DIAL and OpenMS read it as 1.91742) and a
// third column ("345.10 237 3"; matchms stops loading the file there).
#pragma once

#include "mspforge/mspforge.h"

namespace mspforge {

// Counts, over the record's peak lines, those whose m/z or intensity has
// an "e" or "E" into tally.peakLinesInExponentForm, and those with a third
// column (blank- or tab-separated) into tally.peakLinesWithMoreColumns.
void countPeakLineForms(const PeakLines& peakLines, ConversionTally& tally);

}  // namespace mspforge
