#include "HeliostatControlsDlg.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <array>

#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

using Suntrack::SiteField;

namespace {

constexpr DlgTemplate kTemplate{CHeliostatControlsDlg::IDD, nullptr, 372, 186, true};

constexpr DlgItemTemplate kItems[] = {
    {1054, DlgKind::Static, L"Location Setup", 8, 4, 140, 12},
    {1060, DlgKind::Static, L"Longitude:", 8, 24, 48, 10},
    {1056, DlgKind::Edit, nullptr, 58, 22, 56, 13},
    {1061, DlgKind::Static, L"[\u00b0 E]", 117, 24, 30, 10},
    {1062, DlgKind::Static, L"Latitude:", 8, 40, 48, 10},
    {1055, DlgKind::Edit, nullptr, 58, 38, 56, 13},
    {1063, DlgKind::Static, L"[\u00b0 N]", 117, 40, 30, 10},
    {1064, DlgKind::Static, L"Elevation:", 8, 56, 48, 10},
    {1057, DlgKind::Edit, nullptr, 58, 54, 56, 13},
    {1065, DlgKind::Static, L"[m]", 117, 56, 30, 10},
    {1066, DlgKind::Static, L"Pressure:", 8, 72, 48, 10},
    {1058, DlgKind::Edit, nullptr, 58, 70, 56, 13},
    {1067, DlgKind::Static, L"[mb]", 117, 72, 30, 10},
    {1068, DlgKind::Static, L"Temperature:", 8, 88, 48, 10},
    {1059, DlgKind::Edit, nullptr, 58, 86, 56, 13},
    {1069, DlgKind::Static, L"[\u00b0C]", 117, 88, 30, 10},
    {1070, DlgKind::Static, L"Tracking Setup", 160, 4, 150, 12},
    {1075, DlgKind::Static, L"Start", 160, 20, 40, 10},
    {1077, DlgKind::PushButton, L"Sun Rise", 276, 31, 40, 14},
    {1079, DlgKind::PushButton, L"Now + 10 min", 318, 31, 53, 14},
    {1076, DlgKind::Static, L"Stop", 160, 49, 40, 10},
    {1078, DlgKind::PushButton, L"Sun Set", 276, 60, 40, 14},
    {1081, DlgKind::Static, L"Settings", 160, 79, 60, 10},
    {1082, DlgKind::CheckBox, L"Limit maximum zenith angle", 160, 92, 110, 10},
    {1083, DlgKind::Edit, nullptr, 272, 90, 44, 13},
    {1084, DlgKind::Static, L"[deg]", 319, 92, 25, 10},
    {1089, DlgKind::CheckBox, L"Run until manually stopped", 160, 105, 120, 10},
    {1103, DlgKind::CheckBox, L"Use alignment calibration", 160, 118, 120, 10},
    {1104, DlgKind::CheckBox, L"Auto run after upload", 160, 131, 120, 10},
    {1087, DlgKind::PushButton, L"Generate and Upload", 160, 147, 84, 16},
    {1085, DlgKind::PushButton, L"Run", 248, 147, 50, 16},
    {1027, DlgKind::PushButton, L"Stop", 302, 147, 50, 16},
    {1090, DlgKind::Progress, nullptr, 160, 168, 192, 10},
    {1106, DlgKind::PushButton, L"Secret Button", 8, 147, 60, 16},
};

struct SiteEdit {
    int id;
    SiteField field;
};
constexpr std::array<SiteEdit, 6> kSiteEdits{{
    {CHeliostatControlsDlg::IDC_LONGITUDE, SiteField::Longitude},
    {CHeliostatControlsDlg::IDC_LATITUDE, SiteField::Latitude},
    {CHeliostatControlsDlg::IDC_ELEVATION, SiteField::Elevation},
    {CHeliostatControlsDlg::IDC_PRESSURE, SiteField::Pressure},
    {CHeliostatControlsDlg::IDC_TEMPERATURE, SiteField::Temperature},
    {CHeliostatControlsDlg::IDC_MAX_ZENITH, SiteField::MaxZenith},
}};

// The date/time controls hold wall-clock fields of local civil time; Qt is told UTC so that
// it applies no daylight-saving rule of its own to them.
SYSTEMTIME ToSystemTime(const QDateTime& dt) {
    SYSTEMTIME t =
        Platform::MakeSystemTime(dt.date().year(), dt.date().month(), dt.date().day(),
                                 dt.time().hour(), dt.time().minute(), dt.time().second());
    t.wDayOfWeek = static_cast<WORD>(dt.date().dayOfWeek() % 7);
    return t;
}

QDateTime ToDateTime(const SYSTEMTIME& t) {
    return QDateTime(QDate(t.wYear, t.wMonth, t.wDay), QTime(t.wHour, t.wMinute, t.wSecond),
                     Qt::UTC);
}

}  // namespace

// The device object as the workflow uses it.
class CHeliostatControlsDlg::CDeviceAdapter final : public Suntrack::IHeliostatDevice {
public:
    explicit CDeviceAdapter(const COperatorContext& context) : m_context(context) {}
    bool IsConnected() override {
        CQuorvel* d = m_context.Device();
        return d && d->IsConnected();
    }
    unsigned Status() override {
        CQuorvel* d = m_context.Device();
        return d ? static_cast<unsigned>(d->GetStatus(1).to_ulong()) : 0u;
    }
    bool IsTrajectoryUploaded() override {
        CQuorvel* d = m_context.Device();
        return d && d->IsTrajectoryUploaded();
    }
    bool SetTrajectory(int spacing, const CArray<SYSTEMTIME>& times, const CArray<double>& az,
                       const CArray<double>& ze) override {
        CQuorvel* d = m_context.Device();
        return d && d->SetTrajectory(spacing, times, az, ze) != 0;
    }
    void StartTrajectory() override {
        if (CQuorvel* d = m_context.Device())
            d->StartTrajectory(0);
    }
    void CancelTrajectoryUpload() override {
        if (CQuorvel* d = m_context.Device())
            d->CancelTrajectoryUpload();
    }
    void CancelTrajectory() override {
        if (CQuorvel* d = m_context.Device())
            d->CancelTrajectory();
    }
    void StopAll() override {
        if (CQuorvel* d = m_context.Device())
            d->Stop(QuorvelStopMode::StopAll);
    }

private:
    const COperatorContext& m_context;
};

CHeliostatControlsDlg::CHeliostatControlsDlg(const COperatorContext& context, QWidget* parent)
    : CCustomDialog(IDD, parent), m_context(context) {
    SetBackgroundColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
    Suntrack::LogTarget log = [this]() -> Suntrack::LogTarget {
        if (m_context.log)
            return m_context.log();
        m_ownLog = std::make_unique<Logging::CLogger>("Quorvel", [](int) { return false; });
        return {*m_ownLog};
    }();
    const Suntrack::CAlignmentModel* alignment = m_context.Alignment();
    m_device = std::make_unique<CDeviceAdapter>(m_context);
    m_generator = std::make_unique<Suntrack::CTrajectoryGenerator>(
        log, alignment ? *alignment : m_ownAlignment);
    m_workflow = std::make_unique<Suntrack::CHeliostatWorkflow>(
        *this, *m_device, *m_generator, [this] { return TrajectorySettingsOf(Settings()); });
}

CHeliostatControlsDlg::~CHeliostatControlsDlg() = default;

CQuorvelAppSettings& CHeliostatControlsDlg::Settings() {
    CQuorvelAppSettings* settings = m_context.Settings();
    return settings ? *settings : m_ownSettings;
}

QDateTimeEdit* CHeliostatControlsDlg::DateTime(int id) const {
    return Item<QDateTimeEdit>(id);
}

void CHeliostatControlsDlg::BuildControls() {
    CreateFromTemplate(kTemplate, kItems);
    const CDialogUnits& u = Units();
    const QDateTime now = ToDateTime(Platform::GetLocalTime());
    const struct {
        int id;
        bool date;
        QRect rc;
    } pickers[] = {
        {IDC_START_DATE, true, u.Rect(160, 31, 60, 14)},
        {IDC_START_TIME, false, u.Rect(222, 31, 52, 14)},
        {IDC_STOP_DATE, true, u.Rect(160, 60, 60, 14)},
        {IDC_STOP_TIME, false, u.Rect(222, 60, 52, 14)},
    };
    for (const auto& p : pickers) {
        auto* edit = new QDateTimeEdit(this);
        edit->setTimeSpec(Qt::UTC);
        edit->setDisplayFormat(p.date ? QLocale().dateFormat(QLocale::ShortFormat)
                                      : QStringLiteral("HH:mm:ss"));
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setDateTime(now);
        edit->setGeometry(p.rc);
        RegisterItem(p.id, edit);
    }
    connect(DateTime(IDC_START_DATE), &QDateTimeEdit::dateChanged, this,
            [this] { OnDateChanged(IDC_START_DATE, IDC_START_TIME); });
    connect(DateTime(IDC_STOP_DATE), &QDateTimeEdit::dateChanged, this,
            [this] { OnDateChanged(IDC_STOP_DATE, IDC_STOP_TIME); });
    for (const SiteEdit& e : kSiteEdits)
        GetDlgItem(e.id)->installEventFilter(this);
    // Both run options are stored when clicked, so a change survives the end of the run.
    for (int id : {IDC_LIMIT_ZENITH, IDC_RUN_UNTIL_STOPPED})
        connect(Item<QCheckBox>(id), &QCheckBox::clicked, this, [this] { ExchangeSettings(true); });
    GetDlgItem(IDC_SECRET)->hide();
}

bool CHeliostatControlsDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    for (int id :
         {1054, 1060, 1061, 1062, 1063, 1064, 1065, 1066, 1067, 1068, 1069, 1070, 1075, 1076, 1071,
          1072, 1077, 1079, 1073, 1074, 1078, 1081, 1082, 1084, 1089, 1087, 1085, 1027, 1103, 1104})
        AddColoredControl(id);
    ExchangeSettings(false);

    QFont heading = font();
    heading.setPixelSize(18);
    heading.setWeight(QFont::Normal);
    for (int id : {1054, 1070})
        GetDlgItem(id)->setFont(heading);
    QFont sub = font();
    sub.setPixelSize(14);
    for (int id : {1075, 1076, 1081})
        GetDlgItem(id)->setFont(sub);

    auto* progress = Item<QProgressBar>(IDC_PROGRESS);
    progress->setRange(0, 100);
    progress->hide();

    Item<QCheckBox>(IDC_USE_ALIGNMENT)->setChecked(true);
    Item<QCheckBox>(IDC_AUTO_RUN)->setChecked(true);
    return true;
}

void CHeliostatControlsDlg::ExchangeSettings(bool bSave) {
    CQuorvelAppSettings& s = Settings();
    double* values[] = {&s.dLongitude, &s.dLatitude,    &s.dElevation,
                        &s.dPressure,  &s.dTemperature, &s.dMaxZenith};
    for (std::size_t i = 0; i < kSiteEdits.size(); ++i) {
        auto* edit = Item<QLineEdit>(kSiteEdits[i].id);
        if (bSave) {
            *values[i] = m_notation.Read(edit->text()).value_or(0.0);
        } else {
            edit->setText(m_notation.Format(*values[i], Suntrack::DecimalsOf(kSiteEdits[i].field)));
        }
    }
    auto* limit = Item<QCheckBox>(IDC_LIMIT_ZENITH);
    auto* untilStopped = Item<QCheckBox>(IDC_RUN_UNTIL_STOPPED);
    if (bSave) {
        s.bLimitMaxZenith = limit->isChecked() ? 1 : 0;
        s.bRunUntilStopped = untilStopped->isChecked() ? 1 : 0;
    } else {
        limit->setChecked(s.bLimitMaxZenith != 0);
        untilStopped->setChecked(s.bRunUntilStopped != 0);
    }
}

bool CHeliostatControlsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (const SiteEdit& e : kSiteEdits) {
            if (watched == GetDlgItem(e.id))
                OnEditKillFocus(e.id);
        }
    }
    return CCustomDialog::eventFilter(watched, event);
}

void CHeliostatControlsDlg::OnEditKillFocus(int id) {
    for (const SiteEdit& e : kSiteEdits) {
        if (e.id != id)
            continue;
        auto* edit = Item<QLineEdit>(id);
        const double value =
            Suntrack::BringIntoRange(e.field, m_notation.Read(edit->text()).value_or(0.0));
        edit->setText(m_notation.Format(value, Suntrack::DecimalsOf(e.field)));
    }
    ExchangeSettings(true);
}

void CHeliostatControlsDlg::OnDateChanged(int dateId, int timeId) {
    QDateTimeEdit* time = DateTime(timeId);
    QDateTime dt = time->dateTime();
    dt.setDate(DateTime(dateId)->date());
    time->setDateTime(dt);
}

void CHeliostatControlsDlg::OnCommand(int id) {
    switch (id) {
        case IDC_SUNRISE:
            ExchangeSettings(true);
            m_workflow->SetStartToSunrise();
            break;
        case IDC_SUNSET:
            ExchangeSettings(true);
            m_workflow->SetStopToSunset();
            break;
        case IDC_NOW_PLUS_10:
            SetStartTime(m_workflow->NowPlusTenMinutes());
            break;
        case IDC_GENERATE:
        case IDC_SECRET:
            m_workflow->GenerateAndUpload();
            break;
        case IDC_RUN:
            m_workflow->Run();
            break;
        case IDC_STOP:
            m_workflow->Stop();
            break;
        default:
            break;
    }
}

void CHeliostatControlsDlg::OnUploadProgress(int percent, bool uploading) {
    auto* progress = Item<QProgressBar>(IDC_PROGRESS);
    progress->setValue(percent);
    progress->setVisible(uploading);
}

void CHeliostatControlsDlg::OnUploadComplete() {
    m_workflow->OnUploadComplete();
}

void CHeliostatControlsDlg::OnTrajectoryFinished() {
    m_workflow->OnTrajectoryFinished();
}

void CHeliostatControlsDlg::UploadNextDayTrajectory() {
    m_workflow->UploadNextDayTrajectory();
}

void CHeliostatControlsDlg::OnIdleUpdateCmdUI() {
    if (!IsCreated())
        return;
    const Suntrack::HeliostatEnabling e = Suntrack::ComputeHeliostatEnabling(
        m_device->IsConnected(), m_device->Status(), m_device->IsTrajectoryUploaded(),
        IsRunUntilStoppedChecked(), IsLimitMaxZenithChecked());
    for (int id : {IDC_LONGITUDE, IDC_LATITUDE, IDC_ELEVATION, IDC_PRESSURE, IDC_TEMPERATURE})
        EnableItem(id, e.locationEdits);
    EnableItem(IDC_GENERATE, e.generate);
    EnableItem(IDC_SECRET, e.generate);
    EnableItem(IDC_RUN, e.run);
    EnableItem(IDC_STOP, e.stop);
    for (int id : {IDC_START_DATE, IDC_START_TIME, IDC_SUNRISE, IDC_NOW_PLUS_10})
        EnableItem(id, e.startControls);
    for (int id : {IDC_STOP_DATE, IDC_STOP_TIME, IDC_SUNSET})
        EnableItem(id, e.stopControls);
    for (int id : {IDC_USE_ALIGNMENT, IDC_AUTO_RUN})
        EnableItem(id, e.runOptions);
    EnableItem(IDC_MAX_ZENITH, e.maxZenithEdit);
    for (int id : {IDC_LIMIT_ZENITH, IDC_RUN_UNTIL_STOPPED})
        EnableItem(id, e.windowOptions);
}

bool CHeliostatControlsDlg::IsLimitMaxZenithChecked() const {
    return Item<QCheckBox>(IDC_LIMIT_ZENITH)->isChecked();
}
bool CHeliostatControlsDlg::IsUseAlignmentChecked() const {
    return Item<QCheckBox>(IDC_USE_ALIGNMENT)->isChecked();
}
bool CHeliostatControlsDlg::IsRunUntilStoppedChecked() const {
    return Item<QCheckBox>(IDC_RUN_UNTIL_STOPPED)->isChecked();
}
bool CHeliostatControlsDlg::IsAutoRunChecked() const {
    return Item<QCheckBox>(IDC_AUTO_RUN)->isChecked();
}

void CHeliostatControlsDlg::SetStartTime(const SYSTEMTIME& local) {
    DateTime(IDC_START_TIME)->setDateTime(ToDateTime(local));
}
void CHeliostatControlsDlg::SetStopTime(const SYSTEMTIME& local) {
    DateTime(IDC_STOP_TIME)->setDateTime(ToDateTime(local));
}
SYSTEMTIME CHeliostatControlsDlg::StartDate() const {
    return ToSystemTime(DateTime(IDC_START_DATE)->dateTime());
}
SYSTEMTIME CHeliostatControlsDlg::StopDate() const {
    return ToSystemTime(DateTime(IDC_STOP_DATE)->dateTime());
}
SYSTEMTIME CHeliostatControlsDlg::StartTime() const {
    return ToSystemTime(DateTime(IDC_START_TIME)->dateTime());
}
SYSTEMTIME CHeliostatControlsDlg::StopTime() const {
    return ToSystemTime(DateTime(IDC_STOP_TIME)->dateTime());
}

int CHeliostatControlsDlg::ShowMessage(const std::wstring& text, UINT type) {
    return Platform::ShowMessageBox(text, L"", type);
}
