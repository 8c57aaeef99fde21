// quorvelctl track: the unattended heliostat cycle without a display. One CTrackRun owns the
// device object (it is its owner window), the headless panel and the heliostat workflow the
// program's panel drives, and turns the driver's notifications into the workflow's steps:
// upload complete -> timed start, trajectory finished -> home, homing finished -> next day.
// Main thread only; the run pumps the thread's message queue itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "TrackOptions.h"
#include "platform/Wnd.h"

namespace quorvelctl {

class CTrackRun final : public CWnd {
public:
    explicit CTrackRun(const STrackOptions& options);
    ~CTrackRun() override;

    // Runs until the days are done (0) or SIGTERM/Ctrl+C (0 after the trajectory has been
    // stopped); 1 when the stored settings or the log cannot be used.
    int Run();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// `args` are the words after "track"; the exit status of quorvelctl.
int RunTrackCommand(const std::vector<std::string>& args);

}  // namespace quorvelctl
