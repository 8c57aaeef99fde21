// The debug dump of a matrix into the program's log, shared by the alignment model and the
// trajectory generation, and the pairing of the program's logger with its severity test.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <armadillo>

#include "logging/Logger.h"

namespace Suntrack {

// The program's logger together with the test that tells whether a severity is written
// (the same test the logger was built with). Dumps of up to 700 rows are only composed when
// Debug lines are written.
struct LogTarget {
    Logging::CLogger& logger;
    std::function<bool(int severity)> isEnabled;

    bool DebugEnabled() const { return isEnabled && isEnabled(Logging::Debug); }
};

// "\n<title>\n" followed by every row as "%10.6f " per element and a newline after each row.
std::wstring FormatMatrixDump(std::wstring_view title, const arma::mat& m);

// One Debug line holding FormatMatrixDump, made only when Debug lines are written.
void DumpMatrix(const LogTarget& log, std::wstring_view title, const arma::mat& m);

}  // namespace Suntrack
