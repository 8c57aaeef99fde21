#include "TrackRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "Console.h"
#include "HeadlessPanel.h"
#include "QuorvelAppSettings.h"
#include "core/AlignmentModel.h"
#include "core/Directions.h"
#include "core/HeliostatWorkflow.h"
#include "core/Quorvel.h"
#include "core/SiteSun.h"
#include "core/TrajectoryGenerator.h"
#include "core/UnattendedRecovery.h"
#include "logging/Logger.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"
#include "settings/SettingsStorageRegistry.h"

namespace quorvelctl {

namespace {

using std::chrono::milliseconds;

const wchar_t kDeviceSettingsKey[] =
    L"Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings";

// The first plan of a day starts this far ahead (clock seconds) so that the upload and the
// ten seconds of "T!" fit before the first time stamp; it grows when a start came too late.
constexpr std::int64_t kFirstStartLeadS = Suntrack::kResumeLeadSeconds;
constexpr std::int64_t kLongestStartLeadS = 6 * 3600;
// While a start is armed the instrument is asked whether it is still there (clock seconds
// between the questions), so that a silent one is found before the start and not at "T!":
// with the reply time-out it is reported within a minute.
constexpr std::int64_t kPresenceCheckS = 50;
// Real time the instrument gets to answer its identification and first status.
constexpr milliseconds kFirstAnswer{5000};
constexpr milliseconds kStopAnswer{5000};
constexpr milliseconds kHomingLimit{300000};

constexpr const wchar_t* kLateStartBox = L"Trajectory has been aborted";

std::int64_t NowS() {
    return Suntrack::NowUtcSeconds();
}

// "YYYY-MM-DD HH:MM:SS +HH:MM": local civil time and its offset from UTC.
std::string Stamp(std::int64_t utcSeconds) {
    const SYSTEMTIME t = Platform::SecondsToLocalTime(utcSeconds);
    const int offset = Platform::UtcOffsetMinutesAt(utcSeconds);
    const int a = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u %c%02d:%02d", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, offset < 0 ? '-' : '+', a / 60, a % 60);
    return text;
}

std::string LocalText(const SYSTEMTIME& local) {
    return Stamp(Platform::LocalTimeToSeconds(local));
}

// Boxes of the driver (a vanished port, a start that came too late) arrive here on the main
// thread; a run without a screen logs them and goes on.
class CTrackBoxes final : public Platform::IMessageBoxService {
public:
    explicit CTrackBoxes(Logging::CLogger& log) : m_log(log) {}
    int Show(const std::wstring& text, const std::wstring&, UINT type) override {
        m_log.LogParts(Logging::Warning, L"Box without a screen: ", text);
        if (text.rfind(kLateStartBox, 0) == 0)
            ++lateStarts;
        return (type & 0xFu) == MB_YESNO ? IDYES : IDOK;
    }
    int lateStarts = 0;

private:
    Logging::CLogger& m_log;
};

// The workflow's device calls, on the run's device object.
class CTrackDevice final : public Suntrack::IHeliostatDevice {
public:
    CTrackDevice(CQuorvel& quorvel, std::function<void()> onStart)
        : m_quorvel(quorvel), m_onStart(std::move(onStart)) {}
    bool IsConnected() override { return m_quorvel.IsConnected() != 0; }
    unsigned Status() override { return static_cast<unsigned>(m_quorvel.GetStatus(1).to_ulong()); }
    bool IsTrajectoryUploaded() override { return m_quorvel.IsTrajectoryUploaded() != 0; }
    bool SetTrajectory(int spacing, const CArray<SYSTEMTIME>& times, const CArray<double>& az,
                       const CArray<double>& ze) override {
        return m_quorvel.SetTrajectory(spacing, times, az, ze) != 0;
    }
    void StartTrajectory() override {
        if (m_quorvel.StartTrajectory(0))
            m_onStart();
    }
    void CancelTrajectoryUpload() override { m_quorvel.CancelTrajectoryUpload(); }
    void CancelTrajectory() override { m_quorvel.CancelTrajectory(); }
    void StopAll() override { m_quorvel.Stop(QuorvelStopMode::StopAll); }

private:
    CQuorvel& m_quorvel;
    std::function<void()> m_onStart;
};

std::int32_t g_logCeiling = CQuorvelAppSettings::kDefaultLogCeiling;

}  // namespace

struct CTrackRun::Impl {
    Impl(CTrackRun& owner, const STrackOptions& o)
        : options(o),
          log("Quorvel", [](int severity) { return severity <= g_logCeiling; }),
          boxes(log),
          generator(Suntrack::LogTarget{log}, alignment) {
        log.Init();
        quorvel = std::make_unique<CQuorvel>(&owner);
        device = std::make_unique<CTrackDevice>(*quorvel, [this] { OnStartArmed(); });
    }
    ~Impl() { log.Uninit(); }

    // ---- set-up ----
    bool LoadSettings();
    void ChooseLogFile();
    Suntrack::TrajectorySettings CurrentTrajectorySettings() const;

    // ---- the cycle ----
    void Event(const std::string& text, int severity = Logging::Informational);
    bool PlanFrom(std::int64_t earliestUtc);
    void PlanToday();
    void OnStartArmed();
    void OnStatus(const std::bitset<7>& status);
    void OnTrajectoryFinished();
    void OnHomingFinished();
    void ContinueNextDay();

    // ---- connection ----
    bool TryConnect();
    void ConnectWithBackoff();
    void OnConnected();
    void LoseConnection(const std::string& why);
    // The position query: is the instrument where today's trajectory points now?
    bool PointsWhereTodaysTrajectoryWould();
    void CheckPresence();

    // ---- ending ----
    void StopOnSignal();

    STrackOptions options;
    Logging::CLogger log;
    CTrackBoxes boxes;
    CQuorvelAppSettings settings;
    CQuorvelSettings connection;
    Suntrack::CAlignmentModel alignment;
    Suntrack::CTrajectoryGenerator generator;
    std::unique_ptr<CQuorvel> quorvel;
    std::unique_ptr<CTrackDevice> device;
    std::unique_ptr<CHeadlessPanel> panel;
    std::unique_ptr<Suntrack::CHeliostatWorkflow> workflow;
    std::unique_ptr<Platform::CScaledClock> clock;

    bool connected = false;  // the run's view: the instrument has answered and not been lost
    bool lost = false;       // the link went down or the instrument fell silent
    bool done = false;       // the days asked for are tracked
    int statusCount = 0;
    int errorCount = 0;
    int homedCount = 0;
    int positionCount = 0;
    double lastPosition[2] = {0, 0};  // azimuth, zenith (degrees, instrument frame)
    std::bitset<7> lastStatus;
    bool running = false;            // TRAJECTORY seen for the current trajectory
    bool homingAfterFinish = false;  // homing ordered after the end of a trajectory
    int daysTracked = 0;
    int lateStartsSeen = 0;
    std::int64_t startLeadS = kFirstStartLeadS;
    std::int64_t uploadStartedS = 0;       // clock seconds when the last upload began
    std::int64_t nextPresenceS = 0;        // clock seconds of the next presence query while armed
    bool uploadRefused = false;            // the device refused the last upload call
    std::optional<SYSTEMTIME> plannedDay;  // local date of the trajectory planned last
};

bool CTrackRun::Impl::LoadSettings() {
    settings.LoadFromRegistry();
    if (options.logCeiling)
        settings.nLogCeiling = *options.logCeiling;
    g_logCeiling = settings.nLogCeiling;
    CQuorvel::SetLogCeiling(settings.nLogCeiling);
    if (options.longitudeEastDeg)
        settings.dLongitude = *options.longitudeEastDeg;
    if (options.latitudeDeg)
        settings.dLatitude = *options.latitudeDeg;
    if (options.elevationM)
        settings.dElevation = *options.elevationM;
    if (options.pressureMb)
        settings.dPressure = *options.pressureMb;
    if (options.temperatureC)
        settings.dTemperature = *options.temperatureC;
    if (options.limitZenithDeg) {
        settings.bLimitMaxZenith = 1;
        settings.dMaxZenith = *options.limitZenithDeg;
    }
    {
        Zezezezo::CSettingsStorageRegistry storage(kDeviceSettingsKey);
        quorvel->LoadSettings(storage);
    }
    connection = quorvel->GetSettings();
    if (options.port)
        connection.nPort = *options.port;
    if (options.baud)
        connection.nBaud = *options.baud;
    quorvel->SetSettings(connection);
    if (connection.nPort == 0) {
        std::fprintf(stderr,
                     "quorvelctl track: no COM port is stored; choose one in the program or give "
                     "--port N\n");
        return false;
    }
    alignment.Calculate(settings.AlignmentArray, Suntrack::LogTarget{log});
    panel = std::make_unique<CHeadlessPanel>(
        settings.bLimitMaxZenith != 0, !options.noAlignment,
        [this](const std::wstring& text) {
            log.LogParts(Logging::Informational, L"Heliostat notice: ", text);
            if (text == Suntrack::kUploadRefusedError)
                uploadRefused = true;
        },
        [this](bool multiDay) { workflow->SetMultiDay(multiDay); });
    workflow = std::make_unique<Suntrack::CHeliostatWorkflow>(
        *panel, *device, generator, [this] { return CurrentTrajectorySettings(); });
    return true;
}

Suntrack::TrajectorySettings CTrackRun::Impl::CurrentTrajectorySettings() const {
    return TrajectorySettingsOf(settings);
}

void CTrackRun::Impl::ChooseLogFile() {
    const std::filesystem::path folder = Platform::LogFolder();
    if (!Platform::CreateFolders(folder)) {
        std::fprintf(stderr, "quorvelctl track: cannot create the log folder %s\n",
                     folder.string().c_str());
        return;
    }
    const SYSTEMTIME utc = Platform::GetSystemTimeUtc();
    wchar_t name[64];
    std::swprintf(name, 64, L"%04d-%02d-%02d_%02d-%02d-%02d_SystemLog.log", utc.wYear, utc.wMonth,
                  utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    const std::wstring path = (folder / name).wstring();
    log.SetFilePath(path);
    quorvel->SetLogfilePath(path.c_str());
}

void CTrackRun::Impl::Event(const std::string& text, int severity) {
    std::printf("%s  %s\n", Stamp(NowS()).c_str(), text.c_str());
    std::fflush(stdout);
    log.LogParts(severity, text);
}

// Generates and uploads the trajectory of the first day whose window is still ahead of
// `earliestUtc`: today's rest, or a later day when today's window is over or empty.
bool CTrackRun::Impl::PlanFrom(std::int64_t earliestUtc) {
    SYSTEMTIME start = Platform::SecondsToLocalTime(earliestUtc);
    for (int day = 0, refusals = 0; day < 3;) {
        uploadStartedS = NowS();
        running = false;
        uploadRefused = false;
        if (workflow->PlanUnattendedFrom(start, startLeadS)) {
            plannedDay = workflow->LastTrajectoryDay();
            return true;
        }
        if (!quorvel->IsConnected())
            return false;
        if (uploadRefused && ++refusals < 5) {
            // The device is still winding down the start thread it had; give it a moment.
            Platform::CMessageLoop::RunFor(milliseconds(200));
            continue;
        }
        start = Suntrack::StartOfNextLocalDay(start);
        ++day;
    }
    Event("no trajectory could be generated for the next three days; see the log",
          Logging::Warning);
    return false;
}

void CTrackRun::Impl::PlanToday() {
    PlanFrom(NowS() + startLeadS);
}

void CTrackRun::Impl::OnStartArmed() {
    const CArray<SYSTEMTIME>& times = panel->TrajectoryTimes();
    if (times.IsEmpty())
        return;
    Event("starts at " + LocalText(times[0]));
    nextPresenceS = NowS() + kPresenceCheckS;
}

void CTrackRun::Impl::OnStatus(const std::bitset<7>& status) {
    const bool wasRunning = running;
    lastStatus = status;
    ++statusCount;
    if (connected && status.test(TRAJECTORY) && !wasRunning) {
        running = true;
        Event("started");
    }
}

void CTrackRun::Impl::OnTrajectoryFinished() {
    running = false;
    ++daysTracked;
    Event("finished (day " + std::to_string(daysTracked) + ")");
    workflow->OnTrajectoryFinished();
    homingAfterFinish = true;
    quorvel->Home();
}

void CTrackRun::Impl::OnHomingFinished() {
    ++homedCount;
    if (!homingAfterFinish)
        return;
    homingAfterFinish = false;
    Event("homed");
    if (options.days > 0 && daysTracked >= options.days) {
        Event("done: " + std::to_string(daysTracked) + " day(s) tracked");
        done = true;
        return;
    }
    ContinueNextDay();
}

void CTrackRun::Impl::ContinueNextDay() {
    uploadStartedS = NowS();
    running = false;
    workflow->SetMultiDay(true);
    if (workflow->UploadNextDayTrajectory()) {
        plannedDay = workflow->LastTrajectoryDay();
        Event("next day: " + LocalText(*plannedDay).substr(0, 10));
        return;
    }
    // The next day has no window the workflow could use: look further from tomorrow.
    const SYSTEMTIME ranOn = plannedDay ? *plannedDay : Platform::GetLocalTime();
    if (PlanFrom(Platform::LocalTimeToSeconds(Suntrack::StartOfNextLocalDay(ranOn))))
        Event("next day: " + LocalText(*plannedDay).substr(0, 10));
}

bool CTrackRun::Impl::TryConnect() {
    const int statusBefore = statusCount;
    const int errorsBefore = errorCount;
    if (!quorvel->Connect())
        return false;
    Platform::CMessageLoop::RunUntil(
        [&] { return statusCount != statusBefore || errorCount != errorsBefore || Interrupted(); },
        kFirstAnswer);
    if (statusCount != statusBefore && quorvel->IsConnected())
        return true;
    quorvel->Disconnect();
    return false;
}

void CTrackRun::Impl::ConnectWithBackoff() {
    Suntrack::CReconnectBackoff backoff;
    while (!Interrupted()) {
        const int attempt = backoff.BeginAttempt();
        Suntrack::CReconnectBackoff::LogAttempt(log, connection.nPort, attempt);
        if (TryConnect()) {
            if (attempt > 1)
                Suntrack::CReconnectBackoff::LogReconnected(log, attempt);
            OnConnected();
            return;
        }
        const std::int64_t delay = backoff.NextDelaySeconds();
        Suntrack::CReconnectBackoff::LogFailure(log, connection.nPort, delay);
        if (attempt == 1) {
            Event("reconnecting: no answer on COM" + std::to_string(connection.nPort) +
                      "; trying again after 1 s, doubling to 60 s",
                  Logging::Warning);
        }
        const std::int64_t until = NowS() + delay;
        Platform::CMessageLoop::RunUntil([&] { return NowS() >= until || Interrupted(); },
                                         std::chrono::hours(2));
    }
}

void CTrackRun::Impl::OnConnected() {
    connected = true;
    lost = false;
    Event("connected to COM" + std::to_string(connection.nPort));
    const std::bitset<7> status = quorvel->GetStatus(1);
    const Suntrack::EResumeAction action = Suntrack::DecideAfterReconnect(
        static_cast<unsigned>(status.to_ulong()),
        status.test(TRAJECTORY) && PointsWhereTodaysTrajectoryWould());
    if (action == Suntrack::EResumeAction::LeaveRunning) {
        // A run killed in the middle of a day, or a link that dropped while the instrument
        // went on: the trajectory it runs is the one this run would upload.
        Event("the instrument is running today's trajectory; left undisturbed");
        running = true;
        panel->SetStartTime(Platform::GetLocalTime());
        plannedDay = Platform::GetLocalTime();
        workflow->SetMultiDay(true);
        return;
    }
    if (action == Suntrack::EResumeAction::StopThenPlan) {
        // Some other trajectory, or a start armed by a run that is gone: stop it and plan the
        // rest of the day afresh from what is stored now.
        Event("the instrument is still running a trajectory; stopping it to re-plan the day");
        const int before = statusCount;
        quorvel->Stop(StopTrajectory);
        Platform::CMessageLoop::RunUntil(
            [&] { return statusCount != before && !lastStatus.test(TRAJECTORY); }, kStopAnswer);
    }
    running = false;
    PlanToday();
}

bool CTrackRun::Impl::PointsWhereTodaysTrajectoryWould() {
    const int before = positionCount;
    if (!quorvel->GetPosition(nullptr))
        return false;
    Platform::CMessageLoop::RunUntil([&] { return positionCount != before; }, kFirstAnswer);
    if (positionCount == before)
        return false;
    return Suntrack::PointsAtTodaysTrajectory(SiteOf(settings),
                                              options.noAlignment ? nullptr : &alignment.Matrix(),
                                              NowS(), lastPosition[0], lastPosition[1], log);
}

void CTrackRun::Impl::LoseConnection(const std::string& why) {
    if (!connected)
        return;
    connected = false;
    running = false;
    homingAfterFinish = false;
    Event("reconnecting: " + why, Logging::Warning);
    quorvel->Disconnect();
}

void CTrackRun::Impl::CheckPresence() {
    if (!connected || !lastStatus.test(WAITING) || NowS() < nextPresenceS)
        return;
    // A status query: the instrument answers it while it waits for its start (it may not
    // answer position then), the driver keeps WAITING through the reply while the start is
    // pending, and a time-out (an instrument gone silent) marks the link as lost.
    quorvel->GetStatus(0);
    nextPresenceS = NowS() + kPresenceCheckS;
}

void CTrackRun::Impl::StopOnSignal() {
    Event("stopping on request");
    const int before = statusCount;
    workflow->Stop();
    Platform::CMessageLoop::RunUntil(
        [&] {
            return (lastStatus & std::bitset<7>(Suntrack::HeliostatStatus::kBusy)).none() ||
                   (statusCount != before && !lastStatus.test(TRAJECTORY) &&
                    !lastStatus.test(WAITING));
        },
        kStopAnswer);
    if (options.homeOnExit && quorvel->IsConnected()) {
        const int homedBefore = homedCount;
        quorvel->Home();
        Platform::CMessageLoop::RunUntil([&] { return homedCount != homedBefore; }, kHomingLimit);
        Event(homedCount != homedBefore ? "homed" : "homing did not finish in time");
    }
    Event("stopped");
}

CTrackRun::CTrackRun(const STrackOptions& options)
    : m_impl(std::make_unique<Impl>(*this, options)) {}

CTrackRun::~CTrackRun() {
    m_impl.reset();
}

int CTrackRun::Run() {
    Impl& r = *m_impl;
    if (r.options.clockStart || r.options.timeScale != 1.0) {
        const Platform::Ticks start =
            r.options.clockStart
                ? Platform::SystemTimeToTicks(Platform::LocalToUtc(*r.options.clockStart))
                : Platform::Clock().NowUtc();
        r.clock = std::make_unique<Platform::CScaledClock>(start, r.options.timeScale);
    }
    r.ChooseLogFile();
    if (!r.LoadSettings())
        return 1;
    if (r.clock)
        Platform::SetClock(r.clock.get());
    Platform::SetMessageBoxService(&r.boxes);
    const Suntrack::SiteParameters site = SiteOf(r.settings);
    char text[200];
    std::snprintf(
        text, sizeof text, "tracking at %.4f deg east, %.4f deg north, %.1f m; %s, until %s",
        site.longitudeEastDeg, site.latitudeDeg, site.elevationM,
        r.options.noAlignment ? "no alignment" : "alignment calibration",
        r.options.days > 0 ? (std::to_string(r.options.days) + " day(s)").c_str() : "stopped");
    r.Event(text);

    while (!Interrupted() && !r.done) {
        if (!r.connected) {
            r.ConnectWithBackoff();
            continue;
        }
        Platform::CMessageLoop::RunUntil(
            [&] {
                return Interrupted() || r.done || r.lost || !r.quorvel->IsConnected() ||
                       r.boxes.lateStarts != r.lateStartsSeen ||
                       (r.lastStatus.test(WAITING) && NowS() >= r.nextPresenceS);
            },
            milliseconds(1000));
        if (Interrupted() || r.done)
            break;
        if (!r.quorvel->IsConnected()) {
            r.LoseConnection("the instrument's port has gone");
            continue;
        }
        if (r.boxes.lateStarts != r.lateStartsSeen) {
            r.lateStartsSeen = r.boxes.lateStarts;
            // The start thread clears WAITING once the box is answered.
            Platform::CMessageLoop::RunUntil([&] { return !r.quorvel->GetStatus(1).test(WAITING); },
                                             kStopAnswer);
            r.startLeadS = std::min(r.startLeadS * 4, kLongestStartLeadS);
            r.Event("the upload ended too close to the start; re-planning with " +
                        std::to_string(r.startLeadS) + " s of lead",
                    Logging::Warning);
            r.PlanToday();
            continue;
        }
        r.CheckPresence();
        if (r.lost)
            r.LoseConnection("the instrument does not answer");
    }
    if (Interrupted() && r.connected)
        r.StopOnSignal();
    r.quorvel->Disconnect();
    Platform::SetMessageBoxService(nullptr);
    if (r.clock)
        Platform::SetClock(nullptr);
    return 0;
}

LRESULT CTrackRun::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    Impl& r = *m_impl;
    switch (message) {
        case WM_QUORVEL_ERROR: {
            const auto* text = reinterpret_cast<const wchar_t*>(lParam);
            ++r.errorCount;
            r.Event("instrument error " + std::to_string(static_cast<int>(wParam)) + ": " +
                        Platform::WideToUtf8(text ? text : L""),
                    Logging::Warning);
            // A time-out: the instrument has stopped answering.
            if (wParam == 0 && r.connected)
                r.lost = true;
            break;
        }
        case WM_QUORVEL_STATUS:
            r.OnStatus(*reinterpret_cast<const std::bitset<7>*>(wParam));
            break;
        case WM_QUORVEL_GET_POSITION: {
            const auto* v = reinterpret_cast<const double*>(wParam);
            r.lastPosition[0] = v[0];
            r.lastPosition[1] = v[1];
            ++r.positionCount;
            break;
        }
        case WM_QUORVEL_ID: {
            std::unique_ptr<IdStruct> id(reinterpret_cast<IdStruct*>(wParam));
            break;
        }
        case WM_QUORVEL_TRAJ_UPLOADED:
            r.Event("uploaded " + std::to_string(r.panel->TrajectoryTimes().GetSize()) + " points");
            r.workflow->OnUploadComplete();
            break;
        case WM_QUORVEL_TRAJ_FINISHED:
            r.OnTrajectoryFinished();
            break;
        case WM_QUORVEL_HOME_FINISHED:
            r.OnHomingFinished();
            break;
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
    return 0;
}

int RunTrackCommand(const std::vector<std::string>& args) {
    STrackOptions options;
    std::string error;
    switch (ParseTrackArguments(args, options, error)) {
        case ETrackParse::Help:
            std::fputs(TrackUsage().c_str(), stdout);
            return 0;
        case ETrackParse::Error:
            std::fprintf(stderr, "quorvelctl track: %s\n\n%s", error.c_str(), TrackUsage().c_str());
            return 2;
        case ETrackParse::Run:
            break;
    }
    CatchInterrupt();
    CTrackRun run(options);
    const int result = run.Run();
    run.DestroyWindow();
    return result;
}

}  // namespace quorvelctl
