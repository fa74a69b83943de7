// mspforge: converts an MGF peak list into MSP spectral-library text.
#include "app/run_converter.h"
#include "platform/platform_io.h"

int main(int argc, char* argv[]) {
  mspforge::platform::prepareProcess();
  return mspforge::runConverter(
      mspforge::platform::commandLineArguments(argc, argv));
}
