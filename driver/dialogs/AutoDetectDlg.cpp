#include "AutoDetectDlg.h"

#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <array>

namespace {

using QuorvelDriver::DetectedInstrument;
using QuorvelDriver::DetectProgress;
using QuorvelDriver::DetectReport;
using QuorvelDriver::SkippedPort;

constexpr DlgTemplate kAutoDetectTemplate{CQuorvelAutoDetectDlg::IDD, L"Auto Detect Quorvel", 330,
                                          117, false};
constexpr std::array<DlgItemTemplate, 4> kAutoDetectItems{{
    {IDOK, DlgKind::DefPushButton, L"OK", 216, 96, 50, 14},
    {IDCANCEL, DlgKind::PushButton, L"Cancel", 273, 96, 50, 14},
    {CQuorvelAutoDetectDlg::IDC_STATUS, DlgKind::Static, L"", 14, 14, 302, 8},
    {CQuorvelAutoDetectDlg::IDC_PROGRESS, DlgKind::Progress, nullptr, 14, 25, 302, 8},
}};
// The result list (a control kind the templates do not have), in dialog units.
constexpr int kListX = 14, kListY = 37, kListCx = 302, kListCy = 46;

// "COM33: <what came of it> — /dev/ttyUSB0, FT232R USB UART (…)": the outcome goes first, as
// the port's description can be wider than the list.
QString Entry(const QuorvelDriver::PortDescription& port, const QString& outcome) {
    constexpr QChar kDash(0x2014);
    const QString com = QStringLiteral("COM%1").arg(port.port);
    QString details = QString::fromStdWString(QuorvelDriver::PortLabel(port));
    if (details.startsWith(com))
        details = details.mid(com.size());
    while (!details.isEmpty() && (details.front() == u' ' || details.front() == kDash))
        details.remove(0, 1);
    if (details.isEmpty())
        return com + QStringLiteral(": ") + outcome;
    return com + QStringLiteral(": ") + outcome + u' ' + kDash + u' ' + details;
}

QString FoundText(const DetectedInstrument& found) {
    QStringList fields;
    for (const std::wstring* field : {&found.leading, &found.productId, &found.trailing}) {
        if (!field->empty())
            fields << QString::fromStdWString(*field);
    }
    return Entry(
        found.port,
        QStringLiteral("%1 at %2 baud").arg(fields.join(QStringLiteral(", "))).arg(found.baud));
}

QString SkippedText(const SkippedPort& skipped) {
    return Entry(skipped.port, QString::fromStdWString(skipped.reason));
}

}  // namespace

CQuorvelAutoDetectDlg::CQuorvelAutoDetectDlg(QWidget* parent, QuorvelDriver::DetectOptions options,
                                             CPortServices services)
    : CCustomDialog(IDD, parent),
      m_options(std::move(options)),
      m_services(WithDefaultPortServices(std::move(services))) {
    UseFramedBoxLook();
}

CQuorvelAutoDetectDlg::~CQuorvelAutoDetectDlg() {
    StopProbe();
}

void CQuorvelAutoDetectDlg::BuildControls() {
    CreateFromTemplate(kAutoDetectTemplate, kAutoDetectItems);
    auto* list = new QListWidget(this);
    list->setGeometry(Units().Rect(kListX, kListY, kListCx, kListCy));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    RegisterItem(IDC_RESULTS, list);
    connect(list, &QListWidget::itemSelectionChanged, this, [this] { UpdateOkButton(); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
        if (SelectedInstrument() >= 0)
            OnOK();
    });
}

bool CQuorvelAutoDetectDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    m_brWhite = QBrush(QColor(255, 255, 255));
    StartProbe();
    return true;
}

void CQuorvelAutoDetectDlg::StartProbe() {
    Item<QLabel>(IDC_STATUS)
        ->setText(QStringLiteral("Asking every present port for the instrument's identification…"));
    Item<QProgressBar>(IDC_PROGRESS)->setRange(0, 0);  // busy until the first port report
    UpdateOkButton();
    m_detection = m_services.makeDetection(m_options);
    // The worker only posts to this dialog; it never touches a widget. The destructor joins
    // it before the dialog (and with it every posted call) goes away.
    m_worker = std::thread([this, detection = m_detection.get()] {
        const DetectReport report = detection->Run([this](const DetectProgress& progress) {
            QMetaObject::invokeMethod(
                this, [this, progress] { OnProgress(progress); }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this, [this, report] { OnFinished(report); }, Qt::QueuedConnection);
    });
}

void CQuorvelAutoDetectDlg::StopProbe() {
    if (!m_worker.joinable())
        return;
    m_detection->Cancel();
    m_worker.join();
}

void CQuorvelAutoDetectDlg::OnProgress(const DetectProgress& progress) {
    if (!m_worker.joinable())
        return;  // a report that was still queued when the probe was stopped
    auto* bar = Item<QProgressBar>(IDC_PROGRESS);
    bar->setRange(0, static_cast<int>(progress.total));
    bar->setValue(static_cast<int>(progress.done));
    Item<QLabel>(IDC_STATUS)
        ->setText(QStringLiteral("Asking COM%1 for its identification… (%2 of %3 ports done)")
                      .arg(progress.current)
                      .arg(progress.done)
                      .arg(progress.total));
}

void CQuorvelAutoDetectDlg::OnFinished(const DetectReport& report) {
    if (!m_worker.joinable())
        return;       // stopped by Cancel: the dialog is closing
    m_worker.join();  // Run has returned: this is at once
    m_report = report;

    const int total = static_cast<int>(report.found.size() + report.skipped.size());
    auto* bar = Item<QProgressBar>(IDC_PROGRESS);
    bar->setRange(0, std::max(total, 1));
    bar->setValue(std::max(total, 1));

    auto* list = Item<QListWidget>(IDC_RESULTS);
    list->clear();
    for (std::size_t i = 0; i < report.found.size(); ++i) {
        auto* item = new QListWidgetItem(FoundText(report.found[i]), list);
        item->setToolTip(item->text());
        item->setData(Qt::UserRole, static_cast<int>(i));
    }
    for (const SkippedPort& skipped : report.skipped) {
        auto* item = new QListWidgetItem(SkippedText(skipped), list);
        item->setToolTip(item->text());  // a reason with its fix can be wider than the list
        item->setData(Qt::UserRole, -1);
        item->setFlags(Qt::NoItemFlags);  // shown greyed, never picked
    }

    QString status;
    if (!report.found.empty()) {
        status = report.found.size() == 1
                     ? QStringLiteral("Found the instrument on 1 port. Press OK to use it.")
                     : QStringLiteral("Found the instrument on %1 ports. Pick one and press OK.")
                           .arg(report.found.size());
        list->setCurrentRow(0);
    } else if (report.skipped.empty()) {
        status = QStringLiteral("No serial port is present.");
    } else {
        status = QStringLiteral(
                     "No Quorvel answered on any of the %1 ports; why each was "
                     "skipped is listed below.")
                     .arg(report.skipped.size());
    }
    Item<QLabel>(IDC_STATUS)->setText(status);
    UpdateOkButton();
}

int CQuorvelAutoDetectDlg::SelectedInstrument() const {
    const QListWidgetItem* item = Item<QListWidget>(IDC_RESULTS)->currentItem();
    if (!item || !item->isSelected())
        return -1;
    const int index = item->data(Qt::UserRole).toInt();
    return index >= 0 && index < static_cast<int>(m_report.found.size()) ? index : -1;
}

void CQuorvelAutoDetectDlg::UpdateOkButton() {
    EnableItem(IDOK, !m_worker.joinable() && SelectedInstrument() >= 0);
}

void CQuorvelAutoDetectDlg::OnOK() {
    const int index = SelectedInstrument();
    if (m_worker.joinable() || index < 0)
        return;  // nothing picked yet: OK stays the default button but does nothing
    m_chosen = m_report.found[static_cast<std::size_t>(index)];
    CCustomDialog::OnOK();
}

void CQuorvelAutoDetectDlg::OnCancel() {
    StopProbe();
    CCustomDialog::OnCancel();
}

std::optional<ControlColors> CQuorvelAutoDetectDlg::OnCtlColor(int id, QWidget*) {
    if (id == IDC_STATUS)
        return ControlColors{QColor(0, 0, 0), m_brWhite.color()};
    return std::nullopt;
}
