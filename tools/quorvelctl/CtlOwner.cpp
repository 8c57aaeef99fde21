#include "CtlOwner.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/Quorvel.h"
#include "platform/TextConvert.h"

namespace quorvelctl {

std::string StatusText(const std::bitset<7>& status) {
    static const char* const kNames[7] = {"IDLE",    "HOMING",     "MOVING",   "JOGGING",
                                          "WAITING", "TRAJECTORY", "UPLOADING"};
    std::string text;
    for (std::size_t bit = 0; bit < 7; ++bit) {
        if (!status.test(bit))
            continue;
        if (!text.empty())
            text += " ";
        text += kNames[bit];
    }
    return text.empty() ? "(none)" : text;
}

void CCtlOwner::PrintProgress(int percent, bool ongoing) {
    if (percent == m_lastPercent && ongoing == m_lastOngoing)
        return;
    m_lastPercent = percent;
    m_lastOngoing = ongoing;
    if (!progressBar) {
        std::printf("upload: %d%%%s\n", percent, ongoing ? "" : " (ended)");
        return;
    }
    constexpr int kWidth = 40;
    const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
    std::printf("\rupload [%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                std::string(static_cast<std::size_t>(kWidth - filled), ' ').c_str(), percent);
    if (!ongoing)
        std::printf("\n");
}

LRESULT CCtlOwner::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_QUORVEL_ERROR: {
            const auto* text = reinterpret_cast<const wchar_t*>(lParam);
            lastErrorText = text ? text : L"";
            ++errorCount;
            std::printf("error %d: %s\n", static_cast<int>(wParam),
                        Platform::WideToUtf8(lastErrorText).c_str());
            break;
        }
        case WM_QUORVEL_STATUS:
            lastStatus = *reinterpret_cast<const std::bitset<7>*>(wParam);
            ++statusCount;
            std::printf("status: %s\n", StatusText(lastStatus).c_str());
            break;
        case WM_QUORVEL_GET_POSITION: {
            const auto* v = reinterpret_cast<const double*>(wParam);
            ++positionCount;
            lastPosition[0] = v[0];
            lastPosition[1] = v[1];
            std::printf("position: azimuth %.3f deg, zenith %.3f deg\n", v[0], v[1]);
            break;
        }
        case WM_QUORVEL_GET_VELOCITY: {
            const auto* v = reinterpret_cast<const double*>(wParam);
            ++velocityCount;
            std::printf("velocity: azimuth %.3f deg/s, zenith %.3f deg/s\n", v[0], v[1]);
            break;
        }
        case WM_QUORVEL_ID: {
            std::unique_ptr<IdStruct> id(reinterpret_cast<IdStruct*>(wParam));
            ++idCount;
            idTimedOut = lParam != 0;
            if (idTimedOut) {
                std::printf("identification: timed out\n");
            } else {
                std::printf("identification: leading \"%s\", product \"%s\", trailing \"%s\"\n",
                            Platform::WideToUtf8(id->strLeading).c_str(),
                            Platform::WideToUtf8(id->strProductId).c_str(),
                            Platform::WideToUtf8(id->strTrailing).c_str());
            }
            break;
        }
        case WM_QUORVEL_HOME:
            std::printf("home: done\n");
            break;
        case WM_QUORVEL_HOME_FINISHED:
            ++homeFinishedCount;
            std::printf("event: homing finished\n");
            break;
        case WM_QUORVEL_TRAJ_FINISHED:
            ++trajFinishedCount;
            std::printf("event: trajectory finished\n");
            break;
        case WM_QUORVEL_TRAJ_PROGRESS:
            if (lParam == 0)
                ++progressEndedCount;
            PrintProgress(static_cast<int>(wParam), lParam != 0);
            break;
        case WM_QUORVEL_TRAJ_UPLOADED:
            ++uploadedCount;
            std::printf("upload: complete\n");
            break;
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace quorvelctl
