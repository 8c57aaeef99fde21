#include "AlignmentCalibrationDlg.h"
#include "JogButtons.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTimerEvent>
#include <bitset>
#include <cmath>

#include "MouseUpDownButton.h"
#include "NumberEdit.h"
#include "core/Quorvel.h"
#include "core/SiteSun.h"
#include "platform/MessageBox.h"

static_assert(CAlignmentCalibrationDlg::IDC_ZENITH_PLUS == JogButtons::kZenithPlus &&
                  CAlignmentCalibrationDlg::IDC_ZENITH_MINUS == JogButtons::kZenithMinus &&
                  CAlignmentCalibrationDlg::IDC_AZIMUTH_PLUS == JogButtons::kAzimuthPlus &&
                  CAlignmentCalibrationDlg::IDC_AZIMUTH_MINUS == JogButtons::kAzimuthMinus,
              "the jog buttons keep the shared ids");

namespace {

constexpr DlgTemplate kTemplate{CAlignmentCalibrationDlg::IDD,
                                L"Quorvel Alignment Calibration Controls", 559, 172, false};

constexpr DlgItemTemplate kItems[] = {
    {1021, DlgKind::Static, L"Velocity:", 14, 108, 40, 10},
    {1095, DlgKind::PushButton, L"Reset\nAzimuth\nand\nZenith\nOffset", 176, 34, 50, 60},
    {1099, DlgKind::PushButton, L"Save Data Point", 246, 14, 70, 16},
    {1102, DlgKind::Static, L"Saved Data Points:", 246, 36, 80, 10},
    {1100, DlgKind::PushButton, L"Delete Data Point", 246, 118, 76, 14},
    {1101, DlgKind::PushButton, L"Delete All Data Points", 326, 118, 82, 14},
    {CAlignmentCalibrationDlg::IDC_FIT, DlgKind::Static, L"", 246, 106, 302, 10},
    {CAlignmentCalibrationDlg::IDC_LIVE_POSITION, DlgKind::Static, L"", 14, 14, 216, 10},
    {IDOK, DlgKind::DefPushButton, L"OK", 444, 150, 50, 14},
    {IDCANCEL, DlgKind::PushButton, L"Cancel", 498, 150, 50, 14},
};

constexpr double kMinDps = 0.001;
constexpr double kMaxDps = 10.0;
constexpr int kSliderScale = 1000;

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
    : CCustomDialog(IDD, parent), m_context(context), m_workflow(points, *this, *this, [this] {
          const CQuorvelAppSettings* settings = m_context.Settings();
          return settings ? SiteOf(*settings) : Suntrack::SiteParameters{};
      }) {
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
    m_workflow.Shutdown();  // the capture worker shows its boxes through this dialog
    DestroyWindow();
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
    m_list->setGeometry(u.Rect(246, 48, 302, 56));
    RegisterItem(IDC_LIST, m_list);
    m_fit = Item<QLabel>(IDC_FIT);
    m_livePosition = Item<QLabel>(IDC_LIVE_POSITION);
}

bool CAlignmentCalibrationDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    for (int id : {1021, 1093, 1022, 1030, 1032, 1028, 1029, 1095, 1099, 1100, 1102, int{IDC_FIT},
                   int{IDC_LIVE_POSITION}})
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
    return QString::fromStdWString(Suntrack::CalibrationListLine(point));
}

void CAlignmentCalibrationDlg::RefreshList() {
    m_list->clear();
    for (const auto& point : points)
        m_list->addItem(LineOf(point));
    const Suntrack::AlignmentFitAssessment fit = m_workflow.Fit();
    m_fit->setText(QString::fromStdWString(Suntrack::FitQualityText(fit)));
    m_fitQuality = fit.quality;
    ApplyControlColors();
}

std::optional<ControlColors> CAlignmentCalibrationDlg::OnCtlColor(int id, QWidget* control) {
    std::optional<ControlColors> colors = CCustomDialog::OnCtlColor(id, control);
    if (id == IDC_FIT && colors) {
        // Dark enough to read on white: red for unusable, amber for poor, green for good.
        switch (m_fitQuality) {
            case Suntrack::AlignmentFitQuality::Unusable:
                colors->text = QColor(176, 0, 0);
                break;
            case Suntrack::AlignmentFitQuality::Poor:
                colors->text = QColor(150, 90, 0);
                break;
            case Suntrack::AlignmentFitQuality::Good:
                colors->text = QColor(0, 120, 0);
                break;
        }
    }
    return colors;
}

void CAlignmentCalibrationDlg::ShowLivePosition() {
    if (!IsCreated())
        return;
    const auto& live = m_workflow.Live();
    m_livePosition->setText(QString::fromStdWString(m_workflow.LiveText()));
    // A position that is not being refreshed is greyed, never shown as current.
    m_livePosition->setEnabled(live && std::chrono::steady_clock::now() - live->at <=
                                           Suntrack::CCalibrationWorkflow::kLiveFreshFor);
}

void CAlignmentCalibrationDlg::OnOK() {
    if (m_workflow.ConfirmOk())
        CCustomDialog::OnOK();
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
    if (m_workflow.IsBusy())
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
    if (m_workflow.IsBusy())
        return;
    if (Platform::ShowMessageBox(L"Are you sure you want to delete all of the data points?", L"",
                                 MB_OKCANCEL) != IDOK)
        return;
    points.clear();
    RefreshList();
}

bool CAlignmentCalibrationDlg::OnSaveDataPoint() {
    return m_workflow.SaveDataPoint();
}

int CAlignmentCalibrationDlg::ShowMessage(const std::wstring& text, UINT type) {
    return Platform::ShowMessageBox(text, L"", type);
}

bool CAlignmentCalibrationDlg::IsConnected() {
    CQuorvel* device = m_context.Device();
    return device && device->IsConnected();
}

unsigned CAlignmentCalibrationDlg::Status() {
    CQuorvel* device = m_context.Device();
    return device ? static_cast<unsigned>(device->GetStatus(1).to_ulong()) : 0u;
}

bool CAlignmentCalibrationDlg::RequestPosition() {
    CQuorvel* device = m_context.Device();
    return device && device->GetPosition(&CPositionRelay::Instance());
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
                m_workflow.OnPositionAnswer(values[0], values[1]);
                ShowLivePosition();
            }
            return 0;
        }
        case WM_QUORVEL_ERROR:
            if (wParam == 0)  // time-out
                m_workflow.OnPositionTimeOut();
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
    const Suntrack::CalibrationEnabling e = m_workflow.Enabling();
    for (int id : {IDC_SLIDER, IDC_VELOCITY, IDC_RESET_OFFSET})
        EnableItem(id, e.velocity);
    for (int id : {IDC_ZENITH_PLUS, IDC_ZENITH_MINUS, IDC_AZIMUTH_PLUS, IDC_AZIMUTH_MINUS})
        EnableItem(id, e.jog);
    EnableItem(IDC_SAVE, e.save);
    EnableItem(IDC_DELETE, e.remove);
    EnableItem(IDC_DELETE_ALL, e.remove);
    EnableItem(IDC_LIST, e.list);
    m_workflow.Poll();
    ShowLivePosition();
}
