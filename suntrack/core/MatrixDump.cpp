#include "MatrixDump.h"

#include <cwchar>

namespace Suntrack {

std::wstring FormatMatrixDump(std::wstring_view title, const arma::mat& m) {
    std::wstring text;
    text.reserve(title.size() + 2 + m.n_rows * (m.n_cols * 11 + 1));
    text += L'\n';
    text += title;
    text += L'\n';
    wchar_t cell[512];  // "%10.6f" of the largest double is 316 characters
    for (arma::uword r = 0; r < m.n_rows; ++r) {
        for (arma::uword c = 0; c < m.n_cols; ++c) {
            const int n = std::swprintf(cell, sizeof cell / sizeof cell[0], L"%10.6f ", m(r, c));
            if (n > 0) {
                text.append(cell, static_cast<std::size_t>(n));
            }
        }
        text += L'\n';
    }
    return text;
}

void DumpMatrix(const LogTarget& log, std::wstring_view title, const arma::mat& m) {
    if (!log.DebugEnabled()) {
        return;
    }
    try {
        log.logger.Log(Logging::Debug, FormatMatrixDump(title, m));
    } catch (...) {
        // A dump that cannot be composed is dropped like any other log statement.
    }
}

}  // namespace Suntrack
