#include "AlignmentCalibrationDlg.h"
#include "JogButtons.h"

#include <QFrame>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTimerEvent>
#include <bitset>
#include <cmath>
#include <cstdio>

#include "MouseUpDownButton.h"
#include "NumberEdit.h"
#include "core/Quorvel.h"
#include "core/SiteSun.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

static_assert(CAlignmentCalibrationDlg::IDC_ZENITH_PLUS == JogButtons::kZenithPlus &&
                  CAlignmentCalibrationDlg::IDC_ZENITH_MINUS == JogButtons::kZenithMinus &&
                  CAlignmentCalibrationDlg::IDC_AZIMUTH_PLUS == JogButtons::kAzimuthPlus &&
                  CAlignmentCalibrationDlg::IDC_AZIMUTH_MINUS == JogButtons::kAzimuthMinus,
              "the jog buttons keep the shared ids");

namespace {

constexpr DlgTemplate kTemplate{CAlignmentCalibrationDlg::IDD,
                                L"Quorvel Alignment Calibration Controls", 419, 172, false};

constexpr DlgItemTemplate kItems[] = {
    {1021, DlgKind::Static, L"Velocity:", 14, 108, 40, 10},
    {1095, DlgKind::PushButton, L"Reset\nAzimuth\nand\nZenith\nOffset", 176, 34, 50, 60},
    {1099, DlgKind::PushButton, L"Save Data Point", 246, 14, 70, 16},
    {1102, DlgKind::Static, L"Saved Data Points:", 246, 36, 80, 10},
    {1100, DlgKind::PushButton, L"Delete Data Point", 246, 118, 76, 14},
    {1101, DlgKind::PushButton, L"Delete All Data Points", 326, 118, 82, 14},
    {IDOK, DlgKind::DefPushButton, L"OK", 304, 150, 50, 14},
    {IDCANCEL, DlgKind::PushButton, L"Cancel", 358, 150, 50, 14},
};

// Private messages from the capture worker to the dialog (sent, so the worker waits).
constexpr UINT WM_CAPTURE_REQUEST = WM_APP + 0x301;  // make the position request; 1 = sent
constexpr UINT WM_CAPTURE_FAILED = WM_APP + 0x302;   // no position: tell the operator
constexpr UINT WM_CAPTURE_RESULT = WM_APP + 0x303;   // wParam = the record to append

constexpr double kMinDps = 0.001;
constexpr double kMaxDps = 10.0;
constexpr int kSliderScale = 1000;
constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;  // 1601 -> 1970

// The window that receives the device's position answers and time-out notices for every
// calibration dialog of the run; it forwards them to the dialog attached now, if any. It
// lives until the process ends, because the device keeps the target of its last position
// request and may answer after the dialog has gone.
class CPositionRelay final : public CWnd {
public:
    static CPositionRelay& Instance() {
        static CPositionRelay* relay = new CPositionRelay();  // GUI thread, never deleted
        return *relay;
    }
    void Attach(CWnd* dialog) { m_dialog = dialog; }
    void Detach(CWnd* dialog) {
        if (m_dialog == dialog)
            m_dialog = nullptr;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if ((message == WM_QUORVEL_GET_POSITION || message == WM_QUORVEL_ERROR) && m_dialog)
            return m_dialog->SendMessage(message, wParam, lParam);
        return CWnd::WindowProc(message, wParam, lParam);
    }

private:
    CWnd* m_dialog = nullptr;  // GUI thread only
};

}  // namespace

CAlignmentCalibrationDlg::CAlignmentCalibrationDlg(const COperatorContext& context, QWidget* parent)
    : CCustomDialog(IDD, parent), m_context(context) {
    m_bDrawFrame = true;
    m_nMarginLeft = 10;
    m_nMarginRight = 10;
    m_nMarginTop = 10;
    m_nMarginBottom = 45;
    SetFrameFillColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
    CPositionRelay::Instance().Attach(this);
}

CAlignmentCalibrationDlg::~CAlignmentCalibrationDlg() {
    CPositionRelay::Instance().Detach(this);
    m_cancel.Set();
    DestroyWindow();  // a worker blocked in a message to us gets 0
    JoinWorker();
}

void CAlignmentCalibrationDlg::JoinWorker() {
    if (m_worker.joinable())
        m_worker.join();
}

void CAlignmentCalibrationDlg::BuildControls() {
    CreateFromTemplate(kTemplate, kItems);
    const CDialogUnits& u = Units();

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_slider->setGeometry(u.Rect(14, 120, 100, 15));
    RegisterItem(IDC_SLIDER, m_slider);
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        if (!m_settingSlider)
            m_velocity->SetNumber(static_cast<double>(position) / kSliderScale, 3);
    });
    m_velocity = new CNumberEdit(true, this);
    m_velocity->setGeometry(u.Rect(118, 120, 44, 13));
    RegisterItem(IDC_VELOCITY, m_velocity);
    connect(m_velocity, &CNumberEdit::killFocus, this, [this] { NormaliseVelocity(); });

    const struct {
        int id;
        const char* text;
        QRect rc;
    } jogs[] = {
        {IDC_ZENITH_PLUS, "Zenith +", u.Rect(66, 30, 46, 20)},
        {IDC_ZENITH_MINUS, "Zenith -", u.Rect(66, 82, 46, 20)},
        {IDC_AZIMUTH_PLUS, "Azimuth +", u.Rect(116, 56, 46, 20)},
        {IDC_AZIMUTH_MINUS, "Azimuth -", u.Rect(16, 56, 46, 20)},
    };
    for (const auto& jog : jogs) {
        auto* button = new CMouseUpDownButton(jog.id, QString::fromLatin1(jog.text), this);
        button->setGeometry(jog.rc);
        RegisterItem(jog.id, button);
    }

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(u.Rect(236, 12, 2, 124));

    m_list = new QListWidget(this);
    m_list->setSortingEnabled(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setGeometry(u.Rect(246, 48, 162, 66));
    RegisterItem(IDC_LIST, m_list);
}

bool CAlignmentCalibrationDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    for (int id : {1021, 1093, 1022, 1030, 1032, 1028, 1029, 1095, 1099, 1100, 1102})
        AddColoredControl(id);
    m_velocity->SetNumber(1.0, 3);
    m_settingSlider = true;
    m_slider->setRange(1, 10000);
    m_slider->setValue(1000);
    m_settingSlider = false;
    RefreshList();
    // The modal loop's idle pass: the enabling is kept current while the dialog is up.
    m_idleTimer = startTimer(100);
    OnIdleUpdateCmdUI();
    return true;
}

void CAlignmentCalibrationDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_idleTimer)
        OnIdleUpdateCmdUI();
    else
        CCustomDialog::timerEvent(event);
}

QString CAlignmentCalibrationDlg::LineOf(const Zezezezo::CAlignmentSettings& point) {
    // The local time stamp as a calendar time and back (normalised by the host's rules); a
    // stamp before 1900 shows the calendar time 0.
    const SYSTEMTIME& t = point.timestamp.time;
    const SYSTEMTIME local = Platform::SecondsToLocalTime(
        t.wYear >= 1900 ? Platform::LocalTimeToSeconds(t) : std::int64_t{0});
    // The default C locale's "%c": month/day/two-digit year and 24-hour time.
    char text[64];
    std::snprintf(text, sizeof text, "%02u/%02u/%02u %02u:%02u:%02u", unsigned{local.wMonth},
                  unsigned{local.wDay}, unsigned{local.wYear} % 100u, unsigned{local.wHour},
                  unsigned{local.wMinute}, unsigned{local.wSecond});
    return QString::fromLatin1(text);
}

void CAlignmentCalibrationDlg::RefreshList() {
    m_list->clear();
    for (const auto& point : points)
        m_list->addItem(LineOf(point));
}

void CAlignmentCalibrationDlg::NormaliseVelocity() {
    const std::optional<double> read = m_velocity->ReadNumber();
    if (!read) {
        m_velocity->SetNumber(90.0, 3);  // the slider stays where it is
        return;
    }
    double v = *read;
    if (v <= 0.0)
        v = kMinDps;
    else if (v > kMaxDps)
        v = kMaxDps;
    m_velocity->SetNumber(v, 3);
    m_settingSlider = true;
    m_slider->setValue(static_cast<int>(std::floor(v * kSliderScale + 0.5)));
    m_settingSlider = false;
}

void CAlignmentCalibrationDlg::OnCommand(int id) {
    CQuorvel* device = m_context.Device();
    switch (id) {
        case IDC_RESET_OFFSET:
            if (device)
                device->SetOffset(0.0, 0.0);
            break;
        case IDC_SAVE:
            OnSaveDataPoint();
            break;
        case IDC_DELETE:
            OnDeleteDataPoint();
            break;
        case IDC_DELETE_ALL:
            OnDeleteAllDataPoints();
            break;
        default:
            break;
    }
}

void CAlignmentCalibrationDlg::OnDeleteDataPoint() {
    if (m_busy)
        return;
    const int sel = m_list->currentRow();
    const bool selected = sel >= 0 && !m_list->selectedItems().isEmpty();
    if (selected && sel < static_cast<int>(points.size())) {
        points.erase(points.begin() + sel);
        RefreshList();
    }
    const int n = m_list->count();
    if (!selected || n == 0) {
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
        return;
    }
    m_list->setCurrentRow(sel == n ? sel - 1 : sel);
}

void CAlignmentCalibrationDlg::OnDeleteAllDataPoints() {
    if (m_busy)
        return;
    if (Platform::ShowMessageBox(L"Are you sure you want to delete all of the data points?", L"",
                                 MB_OKCANCEL) != IDOK)
        return;
    points.clear();
    RefreshList();
}

bool CAlignmentCalibrationDlg::OnSaveDataPoint() {
    if (m_busy || points.size() >= kMaxPoints)
        return false;
    JoinWorker();  // the previous capture has finished (busy is clear)
    Suntrack::SiteParameters site;
    if (const CQuorvelAppSettings* settings = m_context.Settings())
        site = SiteOf(*settings);
    m_busy = true;
    m_positionEvent.Reset();
    m_worker = std::thread([this, site] { RunCapture(site); });
    return true;
}

void CAlignmentCalibrationDlg::RunCapture(Suntrack::SiteParameters site) {
    // Wait for the next whole second of the clock.
    const Platform::Ticks now = Platform::Clock().NowUtc();
    const auto ms = static_cast<std::uint32_t>((now / Platform::kTicksPerMillisecond) % 1000);
    if (Platform::WaitForEvent(m_cancel, 1000 - ms) != Platform::kWaitTimeout) {
        m_busy = false;
        return;
    }
    if (SendMessage(WM_CAPTURE_REQUEST) != 1) {
        // Refused (no device) or the dialog is closing.
        if (!m_cancel.IsSet())
            SendMessage(WM_CAPTURE_FAILED);
        m_busy = false;
        return;
    }
    const std::int64_t t =
        static_cast<std::int64_t>(Platform::Clock().NowUtc() / Platform::kTicksPerSecond) -
        kEpochDifferenceSeconds;
    const int woke = Platform::WaitForEvents({&m_cancel, &m_positionEvent}, kPositionWaitMs);
    m_positionEvent.Reset();
    if (woke == 0) {
        m_busy = false;
        return;
    }
    if (woke != 1 || !m_positionValid) {
        SendMessage(WM_CAPTURE_FAILED);
        m_busy = false;
        return;
    }
    // The sun at the true instant of the reading (site time zone rules included).
    const Suntrack::SunSample sun = Suntrack::SunAtUtcSeconds(site, t);
    Zezezezo::CAlignmentSettings record;
    record.dSunAzimuth = sun.azimuthDeg;
    record.dSunZenith = sun.zenithDeg;
    record.dQuorvelAzimuth = m_azimuth.load();
    record.dQuorvelZenith = m_zenith.load();
    record.timestamp.time = Platform::SecondsToLocalTime(t);
    SendMessage(WM_CAPTURE_RESULT, reinterpret_cast<WPARAM>(&record));
    m_busy = false;
}

void CAlignmentCalibrationDlg::OnJogPress(int id) {
    NormaliseVelocity();
    JogButtons::Press(m_context.Device(), id,
                      static_cast<double>(m_slider->value()) / kSliderScale);
}

void CAlignmentCalibrationDlg::OnJogRelease(int id) {
    CQuorvel* device = m_context.Device();
    if (device && JogButtons::IsJogButton(id))
        device->Stop(StopMotion);  // the trajectory goes on
}

LRESULT CAlignmentCalibrationDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEUPDOWN_PRESS:
            OnJogPress(static_cast<int>(wParam));
            return 0;
        case WM_MOUSEUPDOWN_RELEASE:
            OnJogRelease(static_cast<int>(wParam));
            return 0;
        case WM_QUORVEL_GET_POSITION: {
            const auto* values = reinterpret_cast<const double*>(wParam);
            if (values) {
                m_azimuth = values[0];
                m_zenith = values[1];
                m_positionValid = true;
                m_positionEvent.Set();
            }
            return 0;
        }
        case WM_QUORVEL_ERROR:
            if (wParam == 0) {  // time-out
                m_positionValid = false;
                m_positionEvent.Set();
            }
            return 0;
        case WM_CAPTURE_REQUEST: {
            CQuorvel* device = m_context.Device();
            m_positionValid = false;
            return device && device->GetPosition(&CPositionRelay::Instance()) ? 1 : 0;
        }
        case WM_CAPTURE_FAILED:
            Platform::ShowMessageBox(L"Error getting the current position of the Quorvel!", L"",
                                     MB_OK);
            return 0;
        case WM_CAPTURE_RESULT:
            if (points.size() < kMaxPoints)
                points.push_back(*reinterpret_cast<const Zezezezo::CAlignmentSettings*>(wParam));
            RefreshList();
            return 0;
        case WM_REFRESH_LIST:
            RefreshList();
            return 0;
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CAlignmentCalibrationDlg::OnIdleUpdateCmdUI() {
    if (!IsCreated())
        return;
    CQuorvel* device = m_context.Device();
    const std::bitset<7> flags = device ? device->GetStatus(1) : std::bitset<7>();
    const bool t = flags.test(TRAJECTORY);
    const bool j = flags.test(JOGGING);
    const bool busy = m_busy;
    const std::size_t n = points.size();
    for (int id : {IDC_SLIDER, IDC_VELOCITY, IDC_RESET_OFFSET})
        EnableItem(id, t);
    for (int id : {IDC_ZENITH_PLUS, IDC_ZENITH_MINUS, IDC_AZIMUTH_PLUS, IDC_AZIMUTH_MINUS})
        EnableItem(id, t || j);
    EnableItem(IDC_SAVE, t && !busy && n < kMaxPoints);
    EnableItem(IDC_DELETE, t && !busy && n >= 1);
    EnableItem(IDC_DELETE_ALL, t && !busy && n >= 1);
    EnableItem(IDC_LIST, t && !busy);
}
