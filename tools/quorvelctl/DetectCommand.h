// quorvelctl detect: finds the instrument on the present ports with the driver's detector.
#pragma once

#include "CtlOptions.h"

namespace quorvelctl {

// Prints one line per instrument found (with --all also the skipped ports) and returns the
// exit status: 0 when one was found, 1 when none, 130 after Ctrl+C.
int RunDetect(const SOptions& options);

}  // namespace quorvelctl
