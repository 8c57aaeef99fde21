#include "CalibrationWorkflow.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "SunPosition.h"
#include "platform/Clock.h"

namespace Suntrack {

namespace {

// Private messages from the capture worker to the GUI thread (sent, so the worker waits).
constexpr UINT WM_CAPTURE_REQUEST = WM_APP + 0x301;  // make the position request; 1 = sent
constexpr UINT WM_CAPTURE_FAILED = WM_APP + 0x302;   // no position: tell the operator
constexpr UINT WM_CAPTURE_RESULT = WM_APP + 0x303;   // wParam = the record to append
constexpr UINT WM_CAPTURE_NO_SUN = WM_APP + 0x304;   // wParam = the sun module's code

constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;  // 1601 -> 1970

// "%.<decimals>f" with "." whatever the C library's locale: these texts are read against
// the log and the instrument's own figures.
std::wstring Fixed(double value, int decimals) {
    if (!std::isfinite(value))
        return L"nan";
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::wstring(buffer, result.ptr);
}

std::wstring AzZe(double azimuthDeg, double zenithDeg) {
    return Fixed(azimuthDeg, 3) + L"/" + Fixed(zenithDeg, 3);
}

std::wstring UnusableReason(const AlignmentFitAssessment& fit) {
    switch (fit.problem) {
        case AlignmentFitProblem::WrongCount:
            return L"3 data points are needed, " + std::to_wstring(fit.count) + L" saved";
        case AlignmentFitProblem::SunDependent:
            return L"the sun positions are too close together or on one great circle (volume "
                   L"ratio " +
                   Fixed(fit.volumeRatio, 4) + L")";
        case AlignmentFitProblem::QuorvelDependent:
            return L"the Quorvel positions are too close together or on one great circle "
                   L"(volume ratio " +
                   Fixed(fit.volumeRatio, 4) + L")";
        case AlignmentFitProblem::NotFinite:
        case AlignmentFitProblem::None:
            break;
    }
    return L"a reading is not a number";
}

}  // namespace

CalibrationEnabling ComputeCalibrationEnabling(unsigned status, bool busy, std::size_t count) {
    const bool t = (status & CalibrationStatus::kTrajectory) != 0;
    const bool j = (status & CalibrationStatus::kJogging) != 0;
    return {t, t || j, t && !busy && count < CCalibrationWorkflow::kMaxPoints,
            t && !busy && count >= 1, t && !busy};
}

std::wstring CalibrationListLine(const Zezezezo::CAlignmentSettings& point) {
    // The local time stamp as a calendar time and back (normalised by the host's rules).
    const SYSTEMTIME& t = point.timestamp.time;
    const SYSTEMTIME local = Platform::SecondsToLocalTime(
        t.wYear >= 1900 ? Platform::LocalTimeToSeconds(t) : std::int64_t{0});
    wchar_t stamp[40];
    std::swprintf(stamp, 40, L"%04u-%02u-%02u %02u:%02u:%02u", unsigned{local.wYear},
                  unsigned{local.wMonth}, unsigned{local.wDay}, unsigned{local.wHour},
                  unsigned{local.wMinute}, unsigned{local.wSecond});
    return std::wstring(stamp) + L"  Sun az/ze " + AzZe(point.dSunAzimuth, point.dSunZenith) +
           L"  Quorvel az/ze " + AzZe(point.dQuorvelAzimuth, point.dQuorvelZenith);
}

std::wstring FitQualityText(const AlignmentFitAssessment& fit) {
    switch (fit.quality) {
        case AlignmentFitQuality::Good:
            return L"Alignment fit: usable, quality good (volume ratio " +
                   Fixed(fit.volumeRatio, 4) + L")";
        case AlignmentFitQuality::Poor:
            return L"Alignment fit: usable, quality poor (volume ratio " +
                   Fixed(fit.volumeRatio, 4) + L", " + Fixed(CAlignmentModel::kGoodVolumeRatio, 2) +
                   L" is good)";
        case AlignmentFitQuality::Unusable:
            break;
    }
    return L"Alignment fit: unusable, " + UnusableReason(fit);
}

std::wstring OkWarningText(const AlignmentFitAssessment& fit) {
    switch (fit.quality) {
        case AlignmentFitQuality::Good:
            return {};
        case AlignmentFitQuality::Poor:
            return L"The data points are close together, so the alignment fit is poor: reading "
                   L"errors are magnified many times (volume ratio " +
                   Fixed(fit.volumeRatio, 4) + L", " + Fixed(CAlignmentModel::kGoodVolumeRatio, 2) +
                   L" is good).\nData points a few hours apart give a good fit.\n\nKeep these "
                   L"data points?";
        case AlignmentFitQuality::Unusable:
            break;
    }
    return L"These data points do not give a usable alignment fit: " + UnusableReason(fit) +
           L".\nThe Quorvel will be driven without alignment correction.\n\nKeep these data "
           L"points?";
}

std::wstring SunRefusedText(int code) {
    const char* reason = SunPositionCodeText(code);
    return L"The sun's position cannot be computed with the site settings (" +
           std::wstring(reason, reason + std::char_traits<char>::length(reason)) +
           L").\nThe data point has not been saved.";
}

std::wstring LivePositionText(const std::optional<LivePosition>& position,
                              std::chrono::steady_clock::time_point now) {
    if (!position)
        return L"Quorvel position: not known";
    std::wstring text = L"Quorvel position: azimuth " + Fixed(position->azimuthDeg, 3) +
                        L"\u00b0, zenith " + Fixed(position->zenithDeg, 3) + L"\u00b0";
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - position->at);
    if (now - position->at > CCalibrationWorkflow::kLiveFreshFor)
        text += L" (" + std::to_wstring(age.count()) + L" s old)";
    return text;
}

// Carries the worker's requests to the GUI thread, which creates it.
class CCalibrationWorkflow::CMessageTarget final : public CWnd {
public:
    explicit CMessageTarget(CCalibrationWorkflow& owner) : m_owner(owner) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message >= WM_CAPTURE_REQUEST && message <= WM_CAPTURE_NO_SUN)
            return m_owner.OnWorkerMessage(message, wParam);
        return CWnd::WindowProc(message, wParam, lParam);
    }

private:
    CCalibrationWorkflow& m_owner;
};

CCalibrationWorkflow::CCalibrationWorkflow(
    std::vector<Zezezezo::CAlignmentSettings>& points, ICalibrationPanel& panel,
    ICalibrationDevice& device, std::function<SiteParameters()> site,
    std::function<std::chrono::steady_clock::time_point()> now)
    : m_points(points),
      m_panel(panel),
      m_device(device),
      m_site(std::move(site)),
      m_now(now ? std::move(now) : [] { return std::chrono::steady_clock::now(); }),
      m_target(new CMessageTarget(*this)) {}

CCalibrationWorkflow::~CCalibrationWorkflow() {
    Shutdown();
    delete m_target;
}

void CCalibrationWorkflow::Shutdown() {
    m_cancel.Set();
    m_target->DestroyWindow();  // a worker blocked in a message to us gets 0
    if (m_worker.joinable())
        m_worker.join();
}

bool CCalibrationWorkflow::SaveDataPoint() {
    if (m_busy || m_points.size() >= kMaxPoints || m_cancel.IsSet())
        return false;
    if (m_worker.joinable())
        m_worker.join();  // the previous capture has finished (busy is clear)
    const SiteParameters site = m_site ? m_site() : SiteParameters{};
    m_busy = true;
    m_positionEvent.Reset();
    m_worker = std::thread([this, site] { RunCapture(site); });
    return true;
}

void CCalibrationWorkflow::RunCapture(SiteParameters site) {
    // Wait for the next whole second of the clock.
    const Platform::Ticks now = Platform::Clock().NowUtc();
    const auto ms = static_cast<std::uint32_t>((now / Platform::kTicksPerMillisecond) % 1000);
    if (Platform::WaitForEvent(m_cancel, 1000 - ms) != Platform::kWaitTimeout) {
        m_busy = false;
        return;
    }
    if (m_target->SendMessage(WM_CAPTURE_REQUEST) != 1) {
        // Refused (no device) or the dialog is closing.
        if (!m_cancel.IsSet())
            m_target->SendMessage(WM_CAPTURE_FAILED);
        m_busy = false;
        return;
    }
    const std::int64_t t =
        static_cast<std::int64_t>(Platform::Clock().NowUtc() / Platform::kTicksPerSecond) -
        kEpochDifferenceSeconds;
    const int woke = Platform::WaitForEvents({&m_cancel, &m_positionEvent}, kPositionWaitMs);
    if (woke == 0) {
        m_busy = false;
        return;
    }
    if (woke != 1 || !m_positionValid) {
        m_target->SendMessage(WM_CAPTURE_FAILED);
        m_busy = false;
        return;
    }
    // The sun at the true instant of the reading (site time zone rules included). A site the
    // sun module refuses saves nothing: a record of azimuth 0, zenith 0 would tilt M wildly.
    const SunSample sun = SunAtUtcSeconds(site, t);
    if (!sun.Valid()) {
        m_target->SendMessage(WM_CAPTURE_NO_SUN, static_cast<WPARAM>(sun.errorCode));
        m_busy = false;
        return;
    }
    Zezezezo::CAlignmentSettings record;
    record.dSunAzimuth = sun.azimuthDeg;
    record.dSunZenith = sun.zenithDeg;
    record.dQuorvelAzimuth = m_azimuth.load();
    record.dQuorvelZenith = m_zenith.load();
    record.timestamp.time = Platform::SecondsToLocalTime(t);
    m_target->SendMessage(WM_CAPTURE_RESULT, reinterpret_cast<WPARAM>(&record));
    m_busy = false;
}

LRESULT CCalibrationWorkflow::OnWorkerMessage(UINT message, WPARAM wParam) {
    switch (message) {
        case WM_CAPTURE_REQUEST: {
            // A live query sent before this one is answered first; one that has gone unanswered
            // for long is lost (an unreadable reply) and owns no answer.
            if (m_pollAnswerDue && m_pollSent && m_now() - *m_pollSent > kPollGiveUp)
                m_pollAnswerDue = false;
            m_positionValid = false;
            m_positionEvent.Reset();
            m_captureAnswerDue = m_device.RequestPosition();
            return m_captureAnswerDue ? 1 : 0;
        }
        case WM_CAPTURE_FAILED:
            m_captureAnswerDue = false;
            m_panel.ShowMessage(kPositionError, MB_OK);
            return 0;
        case WM_CAPTURE_NO_SUN:
            m_panel.ShowMessage(SunRefusedText(static_cast<int>(wParam)), MB_OK | MB_ICONERROR);
            return 0;
        case WM_CAPTURE_RESULT:
            if (m_points.size() < kMaxPoints)
                m_points.push_back(*reinterpret_cast<const Zezezezo::CAlignmentSettings*>(wParam));
            m_panel.PointsChanged();
            return 0;
        default:
            return 0;
    }
}

bool CCalibrationWorkflow::TakeCaptureAnswer() {
    // Answers come in the order the queries were made: a live query made before the
    // capture's owns the first one.
    if (m_pollAnswerDue) {
        m_pollAnswerDue = false;
        return false;
    }
    const bool capture = m_captureAnswerDue;
    m_captureAnswerDue = false;
    return capture;
}

void CCalibrationWorkflow::OnPositionAnswer(double azimuthDeg, double zenithDeg) {
    m_live = LivePosition{azimuthDeg, zenithDeg, m_now()};
    if (!TakeCaptureAnswer())
        return;
    m_azimuth = azimuthDeg;
    m_zenith = zenithDeg;
    m_positionValid = true;
    m_positionEvent.Set();
}

void CCalibrationWorkflow::OnPositionTimeOut() {
    if (!TakeCaptureAnswer())
        return;
    m_positionValid = false;
    m_positionEvent.Set();
}

void CCalibrationWorkflow::Poll() {
    const auto now = m_now();
    if (m_pollAnswerDue && m_pollSent && now - *m_pollSent > kPollGiveUp)
        m_pollAnswerDue = false;
    if (m_busy || m_captureAnswerDue || m_pollAnswerDue || m_cancel.IsSet())
        return;
    if (m_pollSent && now - *m_pollSent < kPollInterval)
        return;
    if (!m_device.IsConnected())
        return;
    // Only while the dialog's controls are live (a trajectory runs or the instrument jogs):
    // then the operator steers by it. The device refuses queries while it uploads.
    const unsigned status = m_device.Status();
    if ((status & (CalibrationStatus::kTrajectory | CalibrationStatus::kJogging)) == 0 ||
        (status & CalibrationStatus::kUploading) != 0)
        return;
    m_pollSent = now;
    m_pollAnswerDue = m_device.RequestPosition();
}

CalibrationEnabling CCalibrationWorkflow::Enabling() {
    return ComputeCalibrationEnabling(m_device.Status(), m_busy, m_points.size());
}

AlignmentFitAssessment CCalibrationWorkflow::Fit() const {
    return AssessAlignmentFit(ToObservations(m_points));
}

bool CCalibrationWorkflow::ConfirmOk() {
    const std::wstring warning = OkWarningText(Fit());
    return warning.empty() || m_panel.ShowMessage(warning, MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace Suntrack
