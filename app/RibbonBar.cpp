#include "RibbonBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "CommandIds.h"

struct CRibbonBar::ButtonSpec {
    int id;
    QString label;
    QString prompt;  // "description\ntitle", the string of the same id
    QStyle::StandardPixmap icon;
    QString keyTip;
};

namespace {

QString TooltipFromPrompt(const QString& prompt) {
    const int newline = prompt.indexOf(QLatin1Char('\n'));
    const QString description = newline < 0 ? prompt : prompt.left(newline);
    const QString title = newline < 0 ? QString() : prompt.mid(newline + 1);
    return QStringLiteral("<b>%1</b><br>%2")
        .arg(title.toHtmlEscaped(), description.toHtmlEscaped());
}

}  // namespace

CRibbonBar::CRibbonBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ribbon"));
    setProperty("dlgCtrlId", WndId::RibbonBar);
    setAttribute(Qt::WA_StyledBackground);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_tabRow = new QWidget(this);
    m_tabRow->setObjectName(QStringLiteral("tabRow"));
    m_tabRow->setAttribute(Qt::WA_StyledBackground);
    auto* tabs = new QHBoxLayout(m_tabRow);
    tabs->setContentsMargins(6, 3, 6, 0);
    m_homeTab = new QToolButton(m_tabRow);
    m_homeTab->setObjectName(QStringLiteral("homeTab"));
    m_homeTab->setText(QStringLiteral("Home"));
    m_homeTab->setCheckable(true);
    m_homeTab->setChecked(true);
    m_homeTab->setAutoRaise(true);
    m_keyTips.insert(0, QStringLiteral("H"));
    tabs->addWidget(m_homeTab);
    tabs->addStretch(1);
    m_aboutButton = new QToolButton(m_tabRow);
    m_aboutButton->setObjectName(QStringLiteral("aboutButton"));
    m_aboutButton->setAutoRaise(true);
    m_aboutButton->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    m_aboutButton->setIconSize(QSize(16, 16));
    m_aboutButton->setToolTip(TooltipFromPrompt(
        QStringLiteral("Display program information, version number and copyright\nAbout")));
    connect(m_aboutButton, &QToolButton::clicked, this, [this] { Trigger(Cmd::About); });
    m_buttons.insert(Cmd::About, m_aboutButton);
    m_keyTips.insert(Cmd::About, QStringLiteral("A"));
    tabs->addWidget(m_aboutButton);
    outer->addWidget(m_tabRow);

    m_category = new QWidget(this);
    m_category->setObjectName(QStringLiteral("category"));
    m_category->setAttribute(Qt::WA_StyledBackground);
    auto* panels = new QHBoxLayout(m_category);
    panels->setContentsMargins(4, 4, 4, 4);
    panels->setSpacing(4);
    panels->addWidget(MakePanel(
        QStringLiteral("Settings"),
        {{Cmd::ApplicationSettings, QStringLiteral("Application"),
          QStringLiteral("Show the Application Settings dialog box.\nApplication Settings"),
          QStyle::SP_FileDialogDetailedView, QStringLiteral("S")},
         {Cmd::ConnectionSettings, QStringLiteral("Quorvel"),
          QStringLiteral(
              "Show the Quorvel Connection Settings dialog box.\nQuorvel Connection Settings"),
          QStyle::SP_DriveNetIcon, QStringLiteral("Q")}}));
    panels->addWidget(MakePanel(QStringLiteral("Connection"),
                                {{Cmd::Connect, QStringLiteral("Connect"),
                                  QStringLiteral("Connect to the Quorvel.\nConnect"),
                                  QStyle::SP_MediaPlay, QStringLiteral("C")},
                                 {Cmd::Disconnect, QStringLiteral("Disconnect"),
                                  QStringLiteral("Disconnect from the Quorvel.\nDisconnect"),
                                  QStyle::SP_MediaStop, QStringLiteral("D")}}));
    panels->addWidget(MakePanel(
        QStringLiteral("Utilities"),
        {{Cmd::AlignmentCalibration, QStringLiteral("Alignment\nCalibration"),
          QStringLiteral("Show the Alignment Calibration dialog box.\nAlignment Calibration"),
          QStyle::SP_FileDialogContentsView, QStringLiteral("L")},
         {Cmd::UpdateFirmware, QStringLiteral("Update\nFirmware"),
          QStringLiteral("Show the Update Firmware dialog box.\nUpdate Firmware"),
          QStyle::SP_ArrowUp, QStringLiteral("U")}}));
    panels->addStretch(1);
    outer->addWidget(m_category);

    qApp->installEventFilter(this);
}

CRibbonBar::~CRibbonBar() {
    qApp->removeEventFilter(this);
}

QWidget* CRibbonBar::MakePanel(const QString& title, const std::vector<ButtonSpec>& buttons) {
    auto* panel = new QWidget(m_category);
    panel->setObjectName(QStringLiteral("panel"));
    panel->setAttribute(Qt::WA_StyledBackground);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(2, 2, 2, 0);
    column->setSpacing(1);
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    for (const ButtonSpec& spec : buttons)
        row->addWidget(MakeLargeButton(spec));
    column->addLayout(row);
    auto* caption = new QLabel(title, panel);
    caption->setObjectName(QStringLiteral("panelCaption"));
    caption->setAlignment(Qt::AlignCenter);
    column->addWidget(caption);
    return panel;
}

QToolButton* CRibbonBar::MakeLargeButton(const ButtonSpec& spec) {
    auto* button = new QToolButton(m_category);
    button->setObjectName(QStringLiteral("largeButton"));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setText(spec.label);
    button->setIcon(style()->standardIcon(spec.icon));
    button->setIconSize(QSize(32, 32));
    button->setMinimumSize(QSize(64, 66));
    button->setToolTip(TooltipFromPrompt(spec.prompt));
    button->setProperty("commandId", spec.id);
    const int id = spec.id;
    connect(button, &QToolButton::clicked, this, [this, id] { Trigger(id); });
    m_buttons.insert(spec.id, button);
    m_keyTips.insert(spec.id, spec.keyTip);
    return button;
}

void CRibbonBar::Trigger(int commandId) {
    HideKeyTips();
    QToolButton* button = Button(commandId);
    if (button && !button->isEnabled())
        return;
    emit commandTriggered(commandId);
}

void CRibbonBar::UpdateCmdUI(const std::function<bool(int)>& isEnabled) {
    for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it) {
        const bool enabled = isEnabled(it.key());
        if (it.value()->isEnabled() != enabled)
            it.value()->setEnabled(enabled);
    }
}

void CRibbonBar::ApplyLook(const LookColors& c) {
    m_windows7 = c.windows7Ribbon;
    const QString radius = m_windows7 ? QStringLiteral("0px") : QStringLiteral("3px");
    setStyleSheet(
        QStringLiteral(
            "#ribbon { background: %1; }"
            "#tabRow { background: %1; }"
            "#homeTab { color: %2; padding: 3px 14px; border: 1px solid transparent; }"
            "#homeTab:checked { background: %3; color: %10; border: 1px solid %6;"
            " border-bottom: none; border-top-left-radius: %11; border-top-right-radius: %11; }"
            "#category { background: %3; border-top: 1px solid %6; border-bottom: 1px solid %6; }"
            "#panel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %4, stop:1 %5);"
            " border: 1px solid %6; border-radius: %11; }"
            "#panelCaption { background: %7; color: %8; padding: 1px 6px; }"
            "#largeButton { color: %10; border: 1px solid transparent; border-radius: %11; }"
            "#largeButton:hover { background: %9; border: 1px solid %6; }"
            "#largeButton:disabled { color: gray; }"
            "#aboutButton:hover { background: %9; }")
            .arg(c.tabRow.name(), c.tabRowText.name(), c.activeTab.name(), c.panelTop.name(),
                 c.panelBottom.name(), c.panelBorder.name(), c.panelCaption.name(),
                 c.panelCaptionText.name(), c.hover.name())
            .arg(c.buttonText.name(), radius));
    for (QLabel* tip : m_keyTipLabels)
        tip->raise();
}

QLabel* CRibbonBar::MakeKeyTip(const QString& key, QWidget* anchor) {
    auto* tip = new QLabel(key, window());
    tip->setObjectName(QStringLiteral("keyTip"));
    tip->setStyleSheet(
        QStringLiteral("QLabel { background: #fffbe6; color: black; border: 1px solid #767676;"
                       " padding: 0px 3px; font-size: 8pt; }"));
    tip->adjustSize();
    const QPoint bottomCentre =
        anchor->mapTo(window(), QPoint(anchor->width() / 2, anchor->height() - tip->height() / 2));
    tip->move(bottomCentre - QPoint(tip->width() / 2, 0));
    tip->show();
    tip->raise();
    m_keyTipLabels.push_back(tip);
    return tip;
}

void CRibbonBar::HideKeyTips() {
    for (QLabel* tip : m_keyTipLabels)
        tip->deleteLater();
    m_keyTipLabels.clear();
    m_keyTipLevel = 0;
}

void CRibbonBar::ShowKeyTips(int level) {
    HideKeyTips();
    m_keyTipLevel = level;
    if (level == 1) {
        MakeKeyTip(m_keyTips.value(0), m_homeTab);
        MakeKeyTip(m_keyTips.value(Cmd::About), m_aboutButton);
    } else if (level == 2) {
        for (auto it = m_buttons.cbegin(); it != m_buttons.cend(); ++it)
            if (it.key() != Cmd::About)
                MakeKeyTip(m_keyTips.value(it.key()), it.value());
    }
}

bool CRibbonBar::eventFilter(QObject* watched, QEvent* event) {
    if (!window()->isActiveWindow() || QApplication::activeModalWidget()) {
        m_altPending = false;
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Alt && !key->isAutoRepeat()) {
            m_altPending = true;
            return false;
        }
        m_altPending = false;
        if (m_keyTipLevel == 0)
            return false;
        if (key->key() == Qt::Key_Escape) {
            ShowKeyTips(m_keyTipLevel - 1);
            return true;
        }
        const QString typed = key->text().toUpper();
        if (typed.isEmpty())
            return true;
        if (m_keyTipLevel == 1) {
            if (typed == m_keyTips.value(0)) {
                ShowKeyTips(2);
            } else if (typed == m_keyTips.value(Cmd::About)) {
                Trigger(Cmd::About);
            }
            return true;
        }
        for (auto it = m_keyTips.cbegin(); it != m_keyTips.cend(); ++it) {
            if (it.key() != 0 && it.key() != Cmd::About && it.value() == typed) {
                Trigger(it.key());
                return true;
            }
        }
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Alt && m_altPending && !key->isAutoRepeat()) {
            m_altPending = false;
            ShowKeyTips(m_keyTipLevel == 0 ? 1 : 0);
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress && m_keyTipLevel != 0)
        HideKeyTips();
    return QWidget::eventFilter(watched, event);
}
