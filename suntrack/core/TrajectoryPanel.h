// What trajectory generation needs from the heliostat panel: two check boxes, the start time
// control, its message boxes and the arrays that hold the generated trajectory. The panel
// implements it; tests fake it. Called on the GUI thread only.
#pragma once

#include <string>

#include "platform/Containers.h"
#include "platform/WinTypes.h"

namespace Suntrack {

class ITrajectoryPanel {
public:
    virtual ~ITrajectoryPanel() = default;

    // "Limit maximum zenith angle" ticked.
    virtual bool IsLimitMaxZenithChecked() const = 0;
    // "Use alignment calibration" ticked.
    virtual bool IsUseAlignmentChecked() const = 0;
    // Sets the start time control (local civil time).
    virtual void SetStartTime(const SYSTEMTIME& local) = 0;
    // A modal box owned by the panel; `type` as for MessageBox (MB_YESNO | MB_ICONQUESTION,
    // MB_OK | MB_ICONERROR, MB_OK | MB_ICONINFORMATION). Returns the button pressed.
    virtual int ShowMessage(const std::wstring& text, UINT type) = 0;

    // The generated trajectory: local time stamps, azimuths (degrees from north towards
    // east) and zeniths (degrees), always of one length.
    virtual CArray<SYSTEMTIME>& TrajectoryTimes() = 0;
    virtual CArray<double>& TrajectoryAzimuths() = 0;
    virtual CArray<double>& TrajectoryZeniths() = 0;

    // The run goes on over several days: set by the window step, read by the panel's
    // next-day continuation.
    virtual void SetMultiDay(bool multiDay) = 0;
};

}  // namespace Suntrack
