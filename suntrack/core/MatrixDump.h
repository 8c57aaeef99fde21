// The debug dump of a matrix into the program's log, shared by the alignment model and the
// trajectory generation, and the program's logger as the suntrack code sees it.
#pragma once

#include <string>
#include <string_view>

#include <armadillo>

#include "logging/Logger.h"

namespace Suntrack {

// The program's logger. Dumps of up to 700 rows are only composed when Debug lines are
// written.
struct LogTarget {
    Logging::CLogger& logger;

    bool DebugEnabled() const { return logger.IsEnabled(Logging::Debug); }
};

// "\n<title>\n" followed by every row as "%10.6f " per element and a newline after each row.
std::wstring FormatMatrixDump(std::wstring_view title, const arma::mat& m);

// One Debug line holding FormatMatrixDump, made only when Debug lines are written.
void DumpMatrix(const LogTarget& log, std::wstring_view title, const arma::mat& m);

}  // namespace Suntrack
