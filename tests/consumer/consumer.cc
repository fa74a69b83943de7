// Converts MGF text with the record loop of the installed library, then
// converts a file with convertFile, and prints what each gave.
// Usage: consumer <input mgf> <output msp>
#include <mspforge/mspforge.h>

#include <cstdio>
#include <string>

int main(int argc, char* argv[]) {
  if (argc < 3) return 1;
  const std::string mgf =
      "BEGIN IONS\nNAME=Caffeine M+H\nCHARGE=1\nMSLEVEL=2\n"
      "PEPMASS=195.0877\n138.0662 100\nEND IONS\n";
  mspforge::MgfInput input = mspforge::mgfInputFromBytes(mgf);
  mspforge::MspOutput output = mspforge::mspOutputToMemory();
  mspforge::FieldMap source, library, comments;
  mspforge::PeakLines peaks;
  mspforge::CompoundName name;
  while (mspforge::readMgfRecord(input, source, peaks)) {
    if (!peaks.empty() &&
        mspforge::translateRecord(source, name, library, comments)) {
      mspforge::writeMspRecord(output, name, library, comments, peaks);
    }
  }
  std::fputs(output.text.c_str(), stdout);

  mspforge::ConversionTally tally;
  if (mspforge::convertFile(argv[1], argv[2], tally) !=
      mspforge::ConversionResult::Complete) {
    return 2;
  }
  std::fputs(mspforge::formatTally(tally).c_str(), stdout);
  std::printf("mspforge %s (%d.%d.%d)\n", MSPFORGE_VERSION,
              MSPFORGE_VERSION_MAJOR, MSPFORGE_VERSION_MINOR,
              MSPFORGE_VERSION_PATCH);
  return 0;
}
