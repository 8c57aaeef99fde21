#include "ManualControlsDlg.h"
#include "JogButtons.h"

#include <QFrame>
#include <QRadioButton>
#include <QSlider>
#include <bitset>
#include <cmath>

#include "MouseUpDownButton.h"
#include "NumberEdit.h"
#include "core/Directions.h"
#include "core/Quorvel.h"
#include "platform/MessageBox.h"

static_assert(CManualControlsDlg::IDC_ZENITH_PLUS == JogButtons::kZenithPlus &&
                  CManualControlsDlg::IDC_ZENITH_MINUS == JogButtons::kZenithMinus &&
                  CManualControlsDlg::IDC_AZIMUTH_PLUS == JogButtons::kAzimuthPlus &&
                  CManualControlsDlg::IDC_AZIMUTH_MINUS == JogButtons::kAzimuthMinus,
              "the jog buttons keep the shared ids");

namespace {

constexpr DlgTemplate kTemplate{CManualControlsDlg::IDD, nullptr, 340, 190, true};

// Statics, push buttons and the separator; the numeric edits, radio buttons, slider and jog
// buttons are made by BuildControls.
constexpr DlgItemTemplate kItems[] = {
    {1025, DlgKind::Static, L"Mode:", 10, 12, 40, 10},
    {1017, DlgKind::Static, L"Azimuth:", 10, 34, 45, 10},
    {1019, DlgKind::Static, L"Zenith:", 10, 54, 45, 10},
    {1021, DlgKind::Static, L"Velocity:", 10, 74, 45, 10},
    {1026, DlgKind::PushButton, L"Move", 10, 100, 55, 16},
    {1027, DlgKind::PushButton, L"Stop", 75, 100, 55, 16},
    {1036, DlgKind::EtchedLine, nullptr, 178, 90, 152, 1},
    {1034, DlgKind::Static, L"Jog Velocity:", 178, 98, 60, 10},
    {1035, DlgKind::PushButton, L"Home", 230, 150, 50, 16},
};

constexpr double kJogMinDps = 0.001;
constexpr double kJogMaxDps = 120.0;
constexpr int kSliderScale = 1000;  // slider steps per degree per second

// The slider position of a jog velocity, rounded half up.
int SliderPosition(double dps) {
    return static_cast<int>(std::floor(dps * kSliderScale + 0.5));
}

double ClampVelocity(double dps) {
    if (dps <= 0.0)
        return kJogMinDps;
    return dps > kJogMaxDps ? kJogMaxDps : dps;
}

}  // namespace

CManualControlsDlg::CManualControlsDlg(const COperatorContext& context, QWidget* parent)
    : CCustomDialog(IDD, parent), m_context(context) {
    SetBackgroundColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
}

CManualControlsDlg::~CManualControlsDlg() {
    DestroyWindow();
}

void CManualControlsDlg::BuildControls() {
    CreateFromTemplate(kTemplate, kItems);
    const CDialogUnits& u = Units();

    auto* abs = new QRadioButton(QStringLiteral("Abs"), this);
    abs->setGeometry(u.Rect(50, 10, 35, 12));
    RegisterItem(IDC_ABS, abs);
    auto* rel = new QRadioButton(QStringLiteral("Rel"), this);
    rel->setGeometry(u.Rect(90, 10, 35, 12));
    RegisterItem(IDC_REL, rel);

    auto makeEdit = [&](int id, bool digitsOnly, QRect rc) {
        auto* edit = new CNumberEdit(digitsOnly, this);
        edit->setGeometry(rc);
        RegisterItem(id, edit);
        connect(edit, &CNumberEdit::killFocus, this, [this, id] { NormaliseField(id); });
        return edit;
    };
    m_azimuth = makeEdit(IDC_AZIMUTH, true, u.Rect(60, 32, 70, 13));
    m_zenith = makeEdit(IDC_ZENITH, true, u.Rect(60, 52, 70, 13));
    m_velocity = makeEdit(IDC_VELOCITY, true, u.Rect(60, 72, 70, 13));

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_slider->setGeometry(u.Rect(178, 110, 110, 15));
    RegisterItem(IDC_JOG_SLIDER, m_slider);
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        if (!m_settingSlider)
            OnSliderMoved(position);
    });
    m_jogVelocity = makeEdit(IDC_JOG_VELOCITY, false, u.Rect(292, 110, 40, 13));

    // The jog cross: "Zenith +" above "Zenith -" in the middle, "Azimuth -" left,
    // "Azimuth +" right.
    const struct {
        int id;
        const char* text;
        QRect rc;
    } jogs[] = {
        {IDC_ZENITH_PLUS, "Zenith +", u.Rect(230, 10, 50, 20)},
        {IDC_ZENITH_MINUS, "Zenith -", u.Rect(230, 60, 50, 20)},
        {IDC_AZIMUTH_PLUS, "Azimuth +", u.Rect(282, 35, 50, 20)},
        {IDC_AZIMUTH_MINUS, "Azimuth -", u.Rect(178, 35, 50, 20)},
    };
    for (const auto& jog : jogs) {
        auto* button = new CMouseUpDownButton(jog.id, QString::fromLatin1(jog.text), this);
        button->setGeometry(jog.rc);
        RegisterItem(jog.id, button);
    }

    auto* vline = new QFrame(this);
    vline->setFrameShape(QFrame::VLine);
    vline->setFrameShadow(QFrame::Sunken);
    vline->setGeometry(u.Rect(168, 8, 2, 172));
    RegisterItem(1037, vline);
}

bool CManualControlsDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    Item<QRadioButton>(IDC_ABS)->setChecked(true);
    m_azimuth->SetNumber(0.0, 3);
    m_zenith->SetNumber(0.0, 3);
    m_velocity->SetNumber(10.0, 3);
    m_settingSlider = true;
    m_slider->setRange(1, 120000);
    m_slider->setValue(10000);
    m_settingSlider = false;
    m_jogVelocity->SetNumber(10.0, 3);
    for (int id :
         {1017, 1019, 1021, 1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1031, 1032, 1034, 1035})
        AddColoredControl(id);
    return true;
}

bool CManualControlsDlg::IsAbsMode() const {
    return Item<QRadioButton>(IDC_ABS)->isChecked();
}

void CManualControlsDlg::NormaliseField(int id) {
    auto* edit = Item<CNumberEdit>(id);
    if (!edit)
        return;
    const std::optional<double> read = edit->ReadNumber();
    // Text without a number counts as empty.
    if (!read) {
        edit->SetNumber(id == IDC_AZIMUTH || id == IDC_ZENITH ? 0.0 : 90.0, 3);
        return;
    }
    double v = *read;
    switch (id) {
        case IDC_AZIMUTH:
            if (IsAbsMode()) {  // [0, 360)
                v = std::fmod(v, 360.0);
                if (v < 0.0)
                    v += 360.0;
                if (v >= 360.0)
                    v -= 360.0;
            }
            break;
        case IDC_ZENITH:
            if (IsAbsMode()) {  // (-180, 180]
                v = std::fmod(v, 360.0);
                if (v <= -180.0)
                    v += 360.0;
                if (v > 180.0)
                    v -= 360.0;
            }
            break;
        case IDC_VELOCITY:
        case IDC_JOG_VELOCITY:
            v = ClampVelocity(v);
            break;
        default:
            return;
    }
    edit->SetNumber(v, 3);
    if (id == IDC_JOG_VELOCITY) {
        m_settingSlider = true;
        m_slider->setValue(SliderPosition(v));
        m_settingSlider = false;
    }
}

void CManualControlsDlg::OnSliderMoved(int position) {
    m_jogVelocity->SetNumber(static_cast<double>(position) / kSliderScale, 3);
}

void CManualControlsDlg::OnCommand(int id) {
    switch (id) {
        case IDC_MOVE:
            OnMove();
            break;
        case IDC_STOP:
            OnStop();
            break;
        case IDC_HOME:
            OnHome();
            break;
        default:
            break;
    }
}

void CManualControlsDlg::OnMove() {
    CQuorvel* device = m_context.Device();
    if (!device)
        return;
    const double azimuth = m_azimuth->ReadNumber().value_or(0.0);
    const double zenith = m_zenith->ReadNumber().value_or(0.0);
    const double velocity = m_velocity->ReadNumber().value_or(0.0);
    if (IsAbsMode()) {
        // The entered direction is celestial; the instrument is sent its own.
        const Suntrack::AzZe target =
            Suntrack::CelestialToInstrument(m_context.AlignmentMatrix(), azimuth, zenith);
        device->MoveAbs(target.azimuthDeg, target.zenithDeg, velocity);
    } else if (Item<QRadioButton>(IDC_REL)->isChecked()) {
        device->MoveRel(azimuth, zenith, velocity);
    } else {
        Platform::ShowMessageBox(L"Please select a mode.", L"", MB_OK);
    }
}

void CManualControlsDlg::OnStop() {
    CQuorvel* device = m_context.Device();
    if (device && device->IsConnected() && !device->GetStatus(1).test(IDLE))
        device->Stop(StopAll);
}

void CManualControlsDlg::OnHome() {
    CQuorvel* device = m_context.Device();
    if (device && device->IsConnected() && device->GetStatus(1).test(IDLE))
        device->Home();
}

void CManualControlsDlg::OnJogPress(int id) {
    NormaliseField(IDC_JOG_VELOCITY);
    JogButtons::Press(m_context.Device(), id,
                      static_cast<double>(m_slider->value()) / kSliderScale);
}

void CManualControlsDlg::OnJogRelease(int id) {
    CQuorvel* device = m_context.Device();
    if (!device)
        return;
    if (JogButtons::IsJogButton(id))
        device->Stop(StopAll);
}

LRESULT CManualControlsDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEUPDOWN_PRESS:
            OnJogPress(static_cast<int>(wParam));
            return 0;
        case WM_MOUSEUPDOWN_RELEASE:
            OnJogRelease(static_cast<int>(wParam));
            return 0;
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CManualControlsDlg::OnIdleUpdateCmdUI() {
    if (!IsCreated())
        return;
    CQuorvel* device = m_context.Device();
    const bool connected = device && device->IsConnected();
    const std::bitset<7> flags = device ? device->GetStatus(1) : std::bitset<7>();
    const bool idle = connected && flags.test(IDLE);
    const bool moving = connected && flags.test(MOVING);
    const bool jogOk = connected && (flags.test(IDLE) || flags.test(JOGGING));
    for (int id : {IDC_AZIMUTH, IDC_ZENITH, IDC_VELOCITY, IDC_ABS, IDC_REL, IDC_MOVE, IDC_HOME})
        EnableItem(id, idle);
    EnableItem(IDC_STOP, moving);
    for (int id : {IDC_JOG_SLIDER, IDC_JOG_VELOCITY, IDC_ZENITH_PLUS, IDC_ZENITH_MINUS,
                   IDC_AZIMUTH_PLUS, IDC_AZIMUTH_MINUS})
        EnableItem(id, jogOk);
}
