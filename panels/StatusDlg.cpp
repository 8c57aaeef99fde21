#include "StatusDlg.h"

#include <QLabel>
#include <array>

#include "DecimalNotation.h"
#include "LampBitmaps.h"
#include "core/Directions.h"
#include "core/Quorvel.h"

namespace {

constexpr wchar_t kDash[] = L"\u2014";

// The template has no coordinates of its own for these controls beyond its size
// (378 x 159 dialog units); the places below keep the three sections apart.
constexpr DlgTemplate kTemplate{CStatusDlg::IDD, nullptr, 378, 159, true};
constexpr std::array<DlgItemTemplate, 19> kItems{{
    {1039, DlgKind::Static, L"Status", 7, 4, 120, 12},
    {1040, DlgKind::EtchedLine, nullptr, 7, 18, 364, 1},
    {1005, DlgKind::Static, L"Connection:", 7, 28, 60, 10},
    {1007, DlgKind::Bitmap, nullptr, 70, 22, 24, 24},
    {1045, DlgKind::Static, L"DISCONNECTED", 100, 27, 100, 13},
    {1006, DlgKind::Static, L"Quorvel:", 210, 28, 45, 10},
    {1008, DlgKind::Static, kDash, 258, 26, 113, 50},
    {1042, DlgKind::Static, L"Position", 7, 82, 120, 12},
    {1041, DlgKind::EtchedLine, nullptr, 7, 96, 174, 1},
    {1048, DlgKind::Static, L"Azimuth:", 7, 106, 50, 10},
    {1052, DlgKind::StaticRight, kDash, 60, 104, 115, 13},
    {1049, DlgKind::Static, L"Zenith:", 7, 128, 50, 10},
    {1053, DlgKind::StaticRight, kDash, 60, 126, 115, 13},
    {1044, DlgKind::Static, L"Velocity", 197, 82, 120, 12},
    {1043, DlgKind::EtchedLine, nullptr, 197, 96, 174, 1},
    {1046, DlgKind::Static, L"Azimuth:", 197, 106, 50, 10},
    {1050, DlgKind::StaticRight, kDash, 250, 104, 121, 13},
    {1047, DlgKind::Static, L"Zenith:", 197, 128, 50, 10},
    {1051, DlgKind::StaticRight, kDash, 250, 126, 121, 13},
}};

constexpr std::array<int, 5> kValueIds{1008, 1052, 1053, 1050, 1051};

QFont FontWithPixelHeight(const QFont& base, int pixels) {
    QFont font(base);
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

CStatusDlg::CStatusDlg(const CPanelContext& context, QWidget* parent)
    : CCustomDialog(IDD, parent), m_context(context) {
    SetBackgroundColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
}

void CStatusDlg::BuildControls() {
    CreateFromTemplate(kTemplate, kItems);
}

bool CStatusDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();

    m_headingFont = FontWithPixelHeight(font(), 18);
    m_labelFont = FontWithPixelHeight(font(), 14);
    m_valueFont = FontWithPixelHeight(font(), 20);
    for (int id : {1039, 1042, 1044})
        GetDlgItem(id)->setFont(m_headingFont);
    for (int id : {1005, 1006, 1048, 1049, 1046, 1047})
        GetDlgItem(id)->setFont(m_labelFont);
    for (int id : {1045, 1008, 1052, 1053, 1050, 1051})
        GetDlgItem(id)->setFont(m_valueFont);

    m_bmpConnected = MakeLampBitmap(QColor(40, 190, 60));
    m_bmpDisconnected = MakeLampBitmap(QColor(215, 40, 40));
    auto* lamp = Item<QLabel>(1007);
    lamp->setFixedSize(43, 43);
    lamp->setPixmap(m_bmpDisconnected);

    for (int id :
         {1005, 1006, 1008, 1039, 1042, 1044, 1045, 1048, 1049, 1046, 1047, 1052, 1053, 1050, 1051})
        AddColoredControl(id);

    connect(&m_positionTimer, &QTimer::timeout, this, [this] { OnTimer(0); });
    connect(&m_velocityTimer, &QTimer::timeout, this, [this] { OnTimer(1); });
    m_positionTimer.start(250);
    m_velocityTimer.start(250);
    return true;
}

void CStatusDlg::OnTimer(int id) {
    CQuorvel* device = m_context.Device();
    if (!device || !device->IsConnected())
        return;
    if (id == 0)
        device->GetPosition(nullptr);
    else if (id == 1)
        device->GetVelocity();
}

void CStatusDlg::UpdateConnectionIndicator() {
    CQuorvel* device = m_context.Device();
    const bool connected = device && device->IsConnected();
    auto* lamp = Item<QLabel>(1007);
    if (connected && !m_wasConnected) {
        lamp->setPixmap(m_bmpConnected);
        m_lampConnected = true;
        Item<QLabel>(1045)->setText(QStringLiteral("CONNECTED"));
        UpdateStatusText(device->GetStatus(1).to_ulong());
        m_positionTimer.start(250);
        m_velocityTimer.start(250);
    }
    if (!connected && m_wasConnected) {
        lamp->setPixmap(m_bmpDisconnected);
        m_lampConnected = false;
        Item<QLabel>(1045)->setText(QStringLiteral("DISCONNECTED"));
        for (int id : kValueIds)
            SetValueText(id, QString::fromWCharArray(kDash));
        // The polls ask nothing while disconnected; resting them keeps an idle program
        // from waking eight times a second.
        m_positionTimer.stop();
        m_velocityTimer.stop();
    }
    for (int id : kValueIds)
        GetDlgItem(id)->setEnabled(connected);
    m_wasConnected = connected;
}

QString CStatusDlg::StatusText(unsigned long flags) {
    static const char* const kWords[7] = {"IDLE,\n",     "HOMING,\n",  "MOVING,\n",
                                          "JOGGING,\n",  "WAITING,\n", "TRAJECTORY,\n",
                                          "UPLOADING,\n"};
    QString text;
    if (flags == 0)
        text += QStringLiteral("UNKNOWN,\n");
    for (int bit = 0; bit < 7; ++bit)
        if (flags & (1ul << bit))
            text += QLatin1String(kWords[bit]);
    if (text.isEmpty())
        return QStringLiteral("FUNKY");
    text.chop(2);
    return text;
}

void CStatusDlg::UpdateStatusText(unsigned long flags) {
    // Rewritten only on change: the several-line text would flicker at the polling rate.
    SetValueText(1008, StatusText(flags));
}

// In the notation of the operator fields (the desktop's decimal mark and minus sign).
QString CStatusDlg::FormatAngle(double degrees) {
    return CDecimalNotation().Format(degrees, 3) + QLatin1Char(' ') + QChar(0x00B0);
}

QString CStatusDlg::FormatRate(double degreesPerSecond) {
    return CDecimalNotation().Format(degreesPerSecond, 3) + QLatin1Char(' ') + QChar(0x00B0) +
           QStringLiteral("/sec");
}

void CStatusDlg::UpdatePosition(double azimuthDeg, double zenithDeg) {
    const Suntrack::AzZe shown =
        Suntrack::InstrumentToCelestial(m_context.AlignmentInverse(), azimuthDeg, zenithDeg);
    double az = shown.azimuthDeg;
    while (az < 0.0)
        az += 360.0;
    while (az > 360.0)
        az -= 360.0;
    double ze = shown.zenithDeg;
    while (ze < -180.0)
        ze += 360.0;
    while (ze > 180.0)
        ze -= 360.0;
    SetValueText(1052, FormatAngle(az));
    SetValueText(1053, FormatAngle(ze));
}

void CStatusDlg::UpdateVelocity(double azimuthRate, double zenithRate) {
    SetValueText(1050, FormatRate(azimuthRate));
    SetValueText(1051, FormatRate(zenithRate));
}

void CStatusDlg::SetValueText(int id, const QString& text) {
    auto* label = Item<QLabel>(id);
    if (label && label->text() != text)
        label->setText(text);
}

QString CStatusDlg::Text(int id) const {
    auto* label = Item<QLabel>(id);
    return label ? label->text() : QString();
}
