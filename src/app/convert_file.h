// Opening the two files of a conversion (convertFile itself is declared in
// mspforge/mspforge.h).
#pragma once

namespace mspforge {

// True when path names the very file, pipe or terminal that standard output
// is ("/dev/stdout", "/dev/fd/1", or the file that standard output is
// redirected to). convertFile then writes through standard output itself,
// so nothing is emptied and the shell's ">" or ">>" holds, and the command
// shows its messages on standard error to keep the stream pure MSP.
bool namesStandardOutput(const char* path);

}  // namespace mspforge
