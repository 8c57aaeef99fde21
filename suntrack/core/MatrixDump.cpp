#include "MatrixDump.h"

#include <algorithm>
#include <charconv>

namespace Suntrack {

std::wstring FormatMatrixDump(std::wstring_view title, const arma::mat& m) {
    std::wstring text;
    text.reserve(title.size() + 2 + m.n_rows * (m.n_cols * 11 + 1));
    text += L'\n';
    text += title;
    text += L'\n';
    // "%10.6f " by hand: printf would write the process locale's decimal mark, and the log
    // always uses ".".
    char cell[400];  // "%.6f" of the largest double is 316 characters
    constexpr std::ptrdiff_t kWidth = 10;
    for (arma::uword r = 0; r < m.n_rows; ++r) {
        for (arma::uword c = 0; c < m.n_cols; ++c) {
            const auto result =
                std::to_chars(cell, cell + sizeof cell, m(r, c), std::chars_format::fixed, 6);
            if (result.ec != std::errc()) {
                continue;
            }
            const std::ptrdiff_t n = result.ptr - cell;
            text.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(kWidth - n, 0)), L' ');
            text.append(cell, result.ptr);
            text += L' ';
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
