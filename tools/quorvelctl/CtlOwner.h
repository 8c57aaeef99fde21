// The owner window of quorvelctl: prints every notification of the driver as one line and
// remembers what the command waits for.
#pragma once

#include <bitset>
#include <optional>
#include <string>

#include "platform/Wnd.h"

namespace quorvelctl {

class CCtlOwner : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Counters let the command wait for "the next one after my call".
    int statusCount = 0;
    std::bitset<7> lastStatus;
    int errorCount = 0;
    std::wstring lastErrorText;
    int positionCount = 0;
    double lastPosition[2] = {0, 0};  // azimuth, zenith in degrees, from the last position reply
    int velocityCount = 0;
    int idCount = 0;
    bool idTimedOut = false;
    int homeFinishedCount = 0;
    int trajFinishedCount = 0;
    int progressEndedCount = 0;  // (100, 0): the upload thread is done, whatever the outcome
    int uploadedCount = 0;
    // Upload progress as a bar redrawn on one terminal line (run-trajectory on a terminal);
    // otherwise one line whenever the figure changes.
    bool progressBar = false;

private:
    void PrintProgress(int percent, bool ongoing);
    int m_lastPercent = -1;
    bool m_lastOngoing = false;
};

std::string StatusText(const std::bitset<7>& status);

}  // namespace quorvelctl
