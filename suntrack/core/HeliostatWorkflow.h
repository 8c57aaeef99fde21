// The heliostat panel's decisions without its widgets: what to generate and upload, when to
// start, what "Stop" cancels, the day-to-day continuation of an unattended run, the sunrise
// and sunset buttons, the range rules of the site fields and the enabling of the panel's
// controls. The panel implements IHeliostatPanel and adapts the device object to
// IHeliostatDevice; tests fake both. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "TrajectoryGenerator.h"
#include "TrajectoryPanel.h"

namespace Suntrack {

// Bits of the device's status set as the workflow reads them.
namespace HeliostatStatus {
inline constexpr unsigned kIdle = 1u << 0;
inline constexpr unsigned kWaiting = 1u << 4;
inline constexpr unsigned kTrajectory = 1u << 5;
inline constexpr unsigned kUploading = 1u << 6;
// Waiting for the start, running or uploading.
inline constexpr unsigned kBusy = kWaiting | kTrajectory | kUploading;
}  // namespace HeliostatStatus

// The device calls the workflow makes (the panel forwards them to CQuorvel).
class IHeliostatDevice {
public:
    virtual ~IHeliostatDevice() = default;
    virtual bool IsConnected() = 0;
    // The last known status set (no query).
    virtual unsigned Status() = 0;
    virtual bool IsTrajectoryUploaded() = 0;
    // Starts the upload; false when the device refuses it.
    virtual bool SetTrajectory(int spacingSeconds, const CArray<SYSTEMTIME>& times,
                               const CArray<double>& azimuths, const CArray<double>& zeniths) = 0;
    // Starts the uploaded trajectory at its first time stamp.
    virtual void StartTrajectory() = 0;
    virtual void CancelTrajectoryUpload() = 0;
    virtual void CancelTrajectory() = 0;
    // Stop mode 0: every motion and the trajectory.
    virtual void StopAll() = 0;
};

// The panel as the workflow sees it: trajectory generation's part plus the date/time
// controls and the run options. Times are local civil times.
class IHeliostatPanel : public ITrajectoryPanel {
public:
    // The start and stop date controls (only the date counts).
    virtual SYSTEMTIME StartDate() const = 0;
    virtual SYSTEMTIME StopDate() const = 0;
    // The start and stop time controls: they carry the complete instants.
    virtual SYSTEMTIME StartTime() const = 0;
    virtual SYSTEMTIME StopTime() const = 0;
    virtual void SetStopTime(const SYSTEMTIME& local) = 0;
    virtual bool IsRunUntilStoppedChecked() const = 0;
    virtual bool IsAutoRunChecked() const = 0;
};

// Operator texts.
inline constexpr const wchar_t* kUploadRefusedError = L"Error uploading trajectory!!";
inline constexpr const wchar_t* kNoSunriseNotice =
    L"There is no sunrise on this date at this site: the sun stays above or below the horizon "
    L"all day.\nThe start time has not been changed.";
inline constexpr const wchar_t* kNoSunsetNotice =
    L"There is no sunset on this date at this site: the sun stays above or below the horizon "
    L"all day.\nThe stop time has not been changed.";
// What follows the refusal text of SunRefusedNotice for each action.
inline constexpr const wchar_t* kStartUnchanged = L"The start time has not been changed.";
inline constexpr const wchar_t* kStopUnchanged = L"The stop time has not been changed.";
inline constexpr const wchar_t* kNothingUploaded = L"No trajectory has been generated.";
// The solar computation refused an input (a SunPositionCode other than 0): names the input
// and its accepted range, then `consequence`.
std::wstring SunRefusedNotice(int code, const wchar_t* consequence);
// The code the solar computation answers for the site, without computing anything: 0 when it
// accepts every site input.
int RefusedSiteInput(const SiteParameters& site);

// Which of the panel's controls are enabled on an idle pass.
struct HeliostatEnabling {
    bool locationEdits;  // the five site edits
    bool generate;       // "Generate and Upload" (and the hidden button)
    bool run;            // "Run"
    bool stop;           // "Stop"
    bool startControls;  // start date, start time, "Sun Rise", "Now + 10 min"
    bool stopControls;   // stop date, stop time, "Sun Set"
    bool runOptions;     // "Use alignment calibration", "Auto run after upload"
    bool maxZenithEdit;  // the maximum zenith edit
    bool windowOptions;  // "Limit maximum zenith angle", "Run until manually stopped"
};
HeliostatEnabling ComputeHeliostatEnabling(bool connected, unsigned status, bool uploaded,
                                           bool runUntilStopped, bool limitMaxZenith);

// The site and zenith edits: ranges strictly inside what the solar computation accepts, and
// how many decimals each field shows. The value is rounded to the field's decimals before the
// range rule, so the text shown (and read back when the settings are stored) is in range too.
enum class SiteField { Longitude, Latitude, Elevation, Pressure, Temperature, MaxZenith };
double BringIntoRange(SiteField field, double value);
int DecimalsOf(SiteField field);
// The number at the start of `text` with "." as decimal mark whatever the process locale:
// leading white space, then an optional "+" or "-", digits, an optional fraction and exponent.
// Nothing when the text does not start with a finite number.
std::optional<double> ParseLeadingNumber(const std::wstring& text);
// ParseLeadingNumber, 0 when there is none (as "%lf" leaves an initialised 0).
double ReadLeadingNumber(const std::wstring& text);
// "%.<decimals>f" with "." and "-" whatever the process locale; a value that rounds to zero
// is written without a sign.
std::wstring FormatFixed(double value, int decimals);

class CHeliostatWorkflow {
public:
    // Everything passed in must outlive the workflow. `settings` is asked afresh at every
    // step, so the panel's latest site values count.
    CHeliostatWorkflow(IHeliostatPanel& panel, IHeliostatDevice& device,
                       const CTrajectoryGenerator& generator,
                       std::function<TrajectorySettings()> settings);

    // "Generate and Upload": the window from the start and stop time controls (an open-ended
    // stop with "Run until manually stopped"). True when the upload has started.
    bool GenerateAndUpload();
    // "Run": the device waits for the first time stamp.
    void Run();
    // "Stop": cancels the upload, the waiting start or the running trajectory, whichever is
    // under way, and ends an unattended run in every case.
    void Stop();
    // The upload has completed: start it when "Auto run after upload" is ticked. Its duration
    // is kept to know how early the next day's upload must begin.
    void OnUploadComplete();
    // The instrument reported the end of a trajectory (it is then sent home); only a homing
    // that follows this continues an unattended run.
    void OnTrajectoryFinished();
    // The homing has finished: upload the next day's trajectory when an unattended run is
    // on. The next day is the sun's day at the site that follows the end of the trajectory
    // that has just run, so the cycle goes on for as many days as the run lasts, also where
    // the daylight crosses the computer's midnight. Never asks: a day that has already begun
    // starts at its first point that can still be reached. True when an upload has started.
    bool UploadNextDayTrajectory();
    // An unattended run picked up again (after a reconnection or a restart): the rest of the
    // sun's day from `leadSeconds` after now on (or the next day's when today's is over),
    // open-ended so that the day-to-day continuation follows, and never asking - the start
    // control shows where it begins. True when an upload has started.
    bool ResumeUnattendedRun(std::int64_t leadSeconds);
    // The same from a given local start on (a later day's when today has nothing left); no
    // point is planned earlier than `leadSeconds` after now.
    bool PlanUnattendedFrom(SYSTEMTIME start, std::int64_t leadSeconds);

    // "Sun Rise" / "Sun Set": the start (stop) time control := sunrise (sunset) on the start
    // (stop) date at the standard zenith limit; unchanged, with a notice, on a date without
    // one. True when the control was set.
    bool SetStartToSunrise();
    bool SetStopToSunset();
    // "Now + 10 min": the local time 600 s from now, whole seconds.
    SYSTEMTIME NowPlusTenMinutes() const;

    bool MultiDay() const { return m_multiDay; }
    void SetMultiDay(bool multiDay) { m_multiDay = multiDay; }
    // Local date of the first time stamp of the trajectory uploaded last.
    std::optional<SYSTEMTIME> LastTrajectoryDay() const { return m_lastTrajectoryDay; }

private:
    // Window step, generation and upload for [start, stop].
    bool UploadWindow(SYSTEMTIME start, SYSTEMTIME stop,
                      std::optional<UnattendedStart> unattended = std::nullopt);
    // How long before its first point the next day's upload must begin, seconds.
    std::int64_t NextDayLeadSeconds() const;
    SYSTEMTIME OpenEndedOr(const SYSTEMTIME& start) const;

    IHeliostatPanel& m_panel;
    IHeliostatDevice& m_device;
    const CTrajectoryGenerator& m_generator;
    std::function<TrajectorySettings()> m_settings;
    bool m_multiDay = false;
    bool m_trajectoryFinished = false;  // a trajectory ended; the next homing continues
    std::optional<SYSTEMTIME> m_lastTrajectoryDay;
    std::optional<SYSTEMTIME> m_lastTrajectoryEnd;  // last time stamp uploaded (local)
    std::int64_t m_uploadStartTicks = 0;            // UTC clock ticks when the upload began
    std::size_t m_uploadPairs = 0;                  // pairs of the upload under way
    double m_secondsPerPair = -1.0;                 // measured on the last upload; < 0 unknown
};

// Local midnight at the start of the day after the local date of `day`.
SYSTEMTIME StartOfNextLocalDay(const SYSTEMTIME& day);

}  // namespace Suntrack
