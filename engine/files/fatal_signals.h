#pragma once

// Signals that end the process by default, and a handler for them that
// removes every file still being written before the signal takes effect.

#include <initializer_list>
#include <vector>

namespace mandel {

// Every signal whose default action ends the process (with or without a core
// dump), the real-time signals included. SIGKILL and SIGSTOP cannot be caught
// and are not listed.
std::vector<int> signalsThatEndTheProcess();

// For each of signalsThatEndTheProcess() except those in `others` (which the
// caller handles itself): removes the files of every uncommitted
// SafeFileWriter, then lets the signal end the process as it would have.
void removeUnfinishedFilesOnFatalSignals(std::initializer_list<int> others = {});

}  // namespace mandel
