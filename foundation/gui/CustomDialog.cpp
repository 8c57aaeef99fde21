#include "CustomDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "platform/WinTypes.h"

CCustomDialog::CCustomDialog(int templateId, QWidget* parent)
    : QDialog(parent),
      m_brBackground(m_crBackground),
      m_brControlBackground(m_crControlBackground),
      m_brFrameFill(m_crFrameFill),
      m_mapColoredControls(17),
      m_templateId(templateId),
      m_units(font()) {}

CCustomDialog::~CCustomDialog() = default;

bool CCustomDialog::Create() {
    if (m_created)
        return true;
    m_created = true;
    BuildControls();
    const bool focusDefault = OnInitDialog();
    ApplyControlColors();
    (void)focusDefault;
    return true;
}

int CCustomDialog::DoModal() {
    Create();
    return exec();
}

void CCustomDialog::EndDialog(int result) {
    done(result);
}

void CCustomDialog::SetBackgroundColor(const QColor& color) {
    m_crBackground = color;
    m_brBackground = QBrush(color);
    update();
}

void CCustomDialog::SetControlBackgroundColor(const QColor& color) {
    m_crControlBackground = color;
    m_brControlBackground = QBrush(color);
    if (m_created)
        ApplyControlColors();
}

void CCustomDialog::SetFrameFillColor(const QColor& color) {
    m_crFrameFill = color;
    m_brFrameFill = QBrush(color);
    update();
}

void CCustomDialog::UseFramedBoxLook() {
    SetBackgroundColor(QColor(240, 240, 240));
    SetControlBackgroundColor(QColor(255, 255, 255));
    SetFrameFillColor(QColor(255, 255, 255));
    m_bDrawFrame = true;
    m_nMarginLeft = m_nMarginRight = m_nMarginTop = 10;
    m_nMarginBottom = 45;
}

void CCustomDialog::AddColoredControl(int id) {
    m_mapColoredControls[id] = 0;
    if (m_created)
        ApplyControlColors();
}

QWidget* CCustomDialog::GetDlgItem(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CCustomDialog::EnableItem(int id, bool enable) {
    QWidget* control = GetDlgItem(id);
    if (!control)
        return;
    if (!enable && control->isEnabled()) {
        QWidget* focus = control->window()->focusWidget();
        if (focus && (focus == control || control->isAncestorOf(focus)))
            setFocus(Qt::OtherFocusReason);
    }
    control->setEnabled(enable);
}

void CCustomDialog::RegisterItem(int id, QWidget* control) {
    m_items[id] = control;
    control->setProperty("dlgCtrlId", id);
}

bool CCustomDialog::OnInitDialog() {
    return true;
}

void CCustomDialog::OnOK() {
    EndDialog(IDOK);
}

void CCustomDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CCustomDialog::OnCommand(int) {}

std::optional<ControlColors> CCustomDialog::OnCtlColor(int id, QWidget*) {
    if (!IsColoredControl(id))
        return std::nullopt;
    return ControlColors{m_crControlText, m_crControlBackground};
}

std::optional<ControlColors> CCustomDialog::ColorsOf(int id) {
    QWidget* control = GetDlgItem(id);
    return control ? OnCtlColor(id, control) : std::nullopt;
}

void CCustomDialog::ApplyControlColors() {
    for (const auto& [id, control] : m_items) {
        const auto colors = OnCtlColor(id, control);
        if (!colors) {
            control->setPalette(QPalette());
            control->setAutoFillBackground(false);
            continue;
        }
        QPalette pal = control->palette();
        // Enabled text takes the custom colour; a disabled control keeps the greyed text
        // so that the panels can show stale values as unavailable.
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(group, QPalette::WindowText, colors->text);
            pal.setColor(group, QPalette::Text, colors->text);
            pal.setColor(group, QPalette::ButtonText, colors->text);
        }
        pal.setColor(QPalette::Window, colors->background);
        pal.setColor(QPalette::Base, colors->background);
        pal.setColor(QPalette::Button, colors->background);
        control->setPalette(pal);
        control->setAutoFillBackground(qobject_cast<QLabel*>(control) != nullptr ||
                                       qobject_cast<QCheckBox*>(control) != nullptr);
    }
}

QRect CCustomDialog::FrameRectFor(const QSize& client) const {
    return QRect(
        QPoint(m_nMarginLeft, m_nMarginTop),
        QPoint(client.width() - m_nMarginRight - 1, client.height() - m_nMarginBottom - 1));
}

void CCustomDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_brBackground);
    if (m_bDrawFrame) {
        m_rcFrame = FrameRectFor(size());
        painter.fillRect(m_rcFrame, m_brFrameFill);
        painter.setPen(QPen(m_crFrameBorder, 1));
        painter.setBrush(m_brFrameFill);
        painter.drawRect(m_rcFrame.adjusted(0, 0, -1, -1));
    }
}

void CCustomDialog::showEvent(QShowEvent* event) {
    Create();
    QDialog::showEvent(event);
}

void CCustomDialog::CreateFromTemplate(const DlgTemplate& tmpl,
                                       std::span<const DlgItemTemplate> items) {
    m_units = CDialogUnits(font());
    if (tmpl.caption)
        setWindowTitle(QString::fromWCharArray(tmpl.caption));
    if (tmpl.child) {
        setWindowFlags(Qt::Widget);
        resize(m_units.Size(tmpl.cx, tmpl.cy));
    } else {
        // A modal frame with caption and system menu, not resizable.
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
        setFixedSize(m_units.Size(tmpl.cx, tmpl.cy));
    }
    for (const DlgItemTemplate& item : items) {
        const QString text = item.text ? QString::fromWCharArray(item.text) : QString();
        QRect rc = m_units.Rect(item.x, item.y, item.cx, item.cy);
        QWidget* control = nullptr;
        switch (item.kind) {
            case DlgKind::Static:
            case DlgKind::StaticCenter:
            case DlgKind::StaticRight: {
                auto* label = new QLabel(text, this);
                label->setAlignment((item.kind == DlgKind::Static         ? Qt::AlignLeft
                                     : item.kind == DlgKind::StaticCenter ? Qt::AlignHCenter
                                                                          : Qt::AlignRight) |
                                    Qt::AlignTop);
                label->setTextFormat(Qt::PlainText);
                control = label;
                break;
            }
            case DlgKind::EtchedLine: {
                auto* line = new QFrame(this);
                line->setFrameShape(QFrame::HLine);
                line->setFrameShadow(QFrame::Sunken);
                rc.setHeight(2);
                control = line;
                break;
            }
            case DlgKind::Bitmap: {
                auto* picture = new QLabel(this);
                picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                control = picture;
                break;
            }
            case DlgKind::PushButton:
            case DlgKind::DefPushButton: {
                auto* button = new QPushButton(text, this);
                button->setAutoDefault(false);
                button->setDefault(item.kind == DlgKind::DefPushButton);
                const int id = item.id;
                connect(button, &QPushButton::clicked, this, [this, id] {
                    if (id == IDOK)
                        OnOK();
                    else if (id == IDCANCEL)
                        OnCancel();
                    else
                        OnCommand(id);
                });
                control = button;
                break;
            }
            case DlgKind::DropList: {
                auto* combo = new QComboBox(this);
                combo->setEditable(false);
                // The template's height is that of the open list; closed, the box keeps
                // its natural height.
                rc.setHeight(combo->sizeHint().height());
                control = combo;
                break;
            }
            case DlgKind::CheckBox:
                control = new QCheckBox(text, this);
                break;
            case DlgKind::Edit:
                control = new QLineEdit(text, this);
                break;
            case DlgKind::GroupBox:
                control = new QGroupBox(text, this);
                break;
            case DlgKind::Progress:
                control = new QProgressBar(this);
                break;
            case DlgKind::Tab:
                control = new QWidget(this);
                break;
        }
        control->setGeometry(rc);
        RegisterItem(item.id, control);
    }
}
