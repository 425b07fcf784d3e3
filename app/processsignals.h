#ifndef PROCESSSIGNALS_H
#define PROCESSSIGNALS_H

// Signals whose default action would end the program where a failed call is the sound outcome.
namespace ProcessSignals {

// A write beyond the file-size limit raises SIGXFSZ, which by default kills the process and
// every unsaved edit with it; ignored, the write fails with EFBIG, the save reports "Save
// Failed" and the map stays in memory. Called at start-up.
void ignoreFileSizeLimitSignal();

} // namespace ProcessSignals

#endif // PROCESSSIGNALS_H
