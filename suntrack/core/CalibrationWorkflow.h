// The alignment calibration dialog's decisions without its widgets: the data point capture
// (whole-second wait, position query, clock reading, bounded wait for the answer, the sun at
// that second, the record), the enabling of the dialog's controls, the live position poll,
// the list lines, the fit quality in words and the warning before OK. The dialog implements
// ICalibrationPanel and adapts the device object to ICalibrationDevice; tests fake both.
//
// Threads: every member is called on the GUI thread, which creates the workflow. A capture
// runs on one short worker thread at a time; the worker reaches the GUI thread only through
// synchronous messages to the workflow's own message target (so the position request, the
// boxes and the append to `points` happen there) and otherwise touches only the atomics and
// events below. Every wait of the worker is bounded and wakes on the cancel event;
// Shutdown (also run by the destructor) cancels, stops the message target receiving (a
// blocked send returns 0) and joins the worker, so it never outlives the workflow.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AlignmentModel.h"
#include "SiteSun.h"
#include "platform/Event.h"
#include "platform/Wnd.h"
#include "settings/AlignmentSettings.h"

namespace Suntrack {

// Bits of the device's status set as the calibration reads them.
namespace CalibrationStatus {
inline constexpr unsigned kJogging = 1u << 3;
inline constexpr unsigned kTrajectory = 1u << 5;
inline constexpr unsigned kUploading = 1u << 6;
}  // namespace CalibrationStatus

class ICalibrationDevice {
public:
    virtual ~ICalibrationDevice() = default;
    virtual bool IsConnected() = 0;
    // The last known status set (no query).
    virtual unsigned Status() = 0;
    // The position query aimed at the dialog: its answer or its time-out notice comes back
    // through OnPositionAnswer / OnPositionTimeOut on the GUI thread. False when refused.
    virtual bool RequestPosition() = 0;
};

class ICalibrationPanel {
public:
    virtual ~ICalibrationPanel() = default;
    // A modal box; returns the button pressed (IDOK, IDYES, ...).
    virtual int ShowMessage(const std::wstring& text, UINT type) = 0;
    // `points` has changed: rebuild the list and the fit line.
    virtual void PointsChanged() = 0;
};

// Operator texts.
inline constexpr const wchar_t* kPositionError =
    L"Error getting the current position of the Quorvel!";

// Which of the dialog's controls are enabled on an idle pass (OK and Cancel always are).
struct CalibrationEnabling {
    bool velocity;  // slider, velocity field, "Reset Azimuth and Zenith Offset"
    bool jog;       // the four jog buttons
    bool save;      // "Save Data Point"
    bool remove;    // "Delete Data Point", "Delete All Data Points"
    bool list;      // the list of saved data points
};
CalibrationEnabling ComputeCalibrationEnabling(unsigned status, bool busy, std::size_t count);

// One list line: the record's local time stamp in ISO form (a stamp before 1900 shows
// calendar time 0) with the sun's and the instrument's azimuth/zenith in degrees, e.g.
// "2026-12-06 10:03:05  Sun az/ze 123.456/45.678  Quorvel az/ze 123.501/45.702".
std::wstring CalibrationListLine(const Zezezezo::CAlignmentSettings& point);
// The fit line under the list: usable or not, and its quality in words.
std::wstring FitQualityText(const AlignmentFitAssessment& fit);
// The question before OK when the fit is not good; empty when it is.
std::wstring OkWarningText(const AlignmentFitAssessment& fit);
// The refusal of a capture whose sun position cannot be computed (`code` as SiteSun's).
std::wstring SunRefusedText(int code);

// The instrument's position as last answered to the dialog.
struct LivePosition {
    double azimuthDeg;  // instrument frame, from north towards east
    double zenithDeg;
    std::chrono::steady_clock::time_point at;  // when the answer arrived
};
// "Quorvel position: azimuth 123.456°, zenith 45.678°", with its age once it is older than
// kLiveFreshFor, or "Quorvel position: not known".
std::wstring LivePositionText(const std::optional<LivePosition>& position,
                              std::chrono::steady_clock::time_point now);

class CCalibrationWorkflow {
public:
    static constexpr std::size_t kMaxPoints = 3;
    // How long a capture waits for the position answer, in milliseconds of the program's
    // clock (the device reports its own time-out after 1000 ms; this also covers an answer
    // that cannot be parsed and never comes).
    static constexpr std::uint32_t kPositionWaitMs = 5000;
    // Live position: a query every 500 ms of real time while the dialog is open; a query
    // unanswered for 2 s (an unreadable reply brings neither answer nor time-out) is given
    // up; a position older than 2 s is shown with its age.
    static constexpr std::chrono::milliseconds kPollInterval{500};
    static constexpr std::chrono::milliseconds kPollGiveUp{2000};
    static constexpr std::chrono::milliseconds kLiveFreshFor{2000};

    // `points` (the dialog's list), `panel` and `device` must outlive the workflow. `site`
    // is asked at each capture; `now` is the real-time clock of the poll (tests pass their
    // own).
    CCalibrationWorkflow(std::vector<Zezezezo::CAlignmentSettings>& points,
                         ICalibrationPanel& panel, ICalibrationDevice& device,
                         std::function<SiteParameters()> site,
                         std::function<std::chrono::steady_clock::time_point()> now = nullptr);
    ~CCalibrationWorkflow();
    CCalibrationWorkflow(const CCalibrationWorkflow&) = delete;
    CCalibrationWorkflow& operator=(const CCalibrationWorkflow&) = delete;

    // "Save Data Point": starts a capture; false when refused (one under way, or the list
    // is full).
    bool SaveDataPoint();
    bool IsBusy() const { return m_busy.load(); }
    // Cancels a capture under way and waits for its worker; later captures are refused.
    void Shutdown();

    // The device's answers to RequestPosition, in the order the queries were made.
    void OnPositionAnswer(double azimuthDeg, double zenithDeg);
    void OnPositionTimeOut();

    // The idle pass: asks for the live position when it is due (connected, a trajectory
    // running or the instrument jogging, not uploading, no capture under way, no query
    // outstanding).
    void Poll();
    const std::optional<LivePosition>& Live() const { return m_live; }
    std::wstring LiveText() const { return LivePositionText(m_live, m_now()); }

    CalibrationEnabling Enabling();
    AlignmentFitAssessment Fit() const;
    // OK: true when the dialog may close with the points, i.e. the fit is good or the
    // operator chose to keep the points after the warning.
    bool ConfirmOk();

private:
    class CMessageTarget;
    void RunCapture(SiteParameters site);
    LRESULT OnWorkerMessage(UINT message, WPARAM wParam);
    // Whether the answer (or time-out) now arriving is the capture's; settles it either way.
    bool TakeCaptureAnswer();

    std::vector<Zezezezo::CAlignmentSettings>& m_points;  // GUI thread only
    ICalibrationPanel& m_panel;
    ICalibrationDevice& m_device;
    std::function<SiteParameters()> m_site;
    std::function<std::chrono::steady_clock::time_point()> m_now;
    CMessageTarget* m_target;  // owned; GUI thread

    // GUI thread: the live poll, and which of the answers still due belong to it.
    std::optional<LivePosition> m_live;
    std::optional<std::chrono::steady_clock::time_point> m_pollSent;
    bool m_pollAnswerDue = false;
    bool m_captureAnswerDue = false;

    // Hand-over between the GUI thread's answer handlers and the worker.
    Platform::CEvent m_positionEvent{true, false};
    Platform::CEvent m_cancel{true, false};
    std::atomic<bool> m_positionValid{false};
    std::atomic<double> m_azimuth{0.0};  // degrees, the capture's answer
    std::atomic<double> m_zenith{0.0};   // degrees, the capture's answer
    std::atomic<bool> m_busy{false};
    std::thread m_worker;
};

}  // namespace Suntrack
