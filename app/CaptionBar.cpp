#include "CaptionBar.h"

#include <QHBoxLayout>
#include <QStyle>

#include "CommandIds.h"

CCaptionBar::CCaptionBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("captionBar"));
    setProperty("dlgCtrlId", WndId::CaptionBar);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 4, 3);
    row->setSpacing(8);

    m_openLog = new QPushButton(QStringLiteral("Open Log File..."), this);
    m_openLog->setProperty("commandId", 220);
    m_openLog->setToolTip(QStringLiteral("Click here to open the log file"));
    connect(m_openLog, &QPushButton::clicked, this, &CCaptionBar::openLogFile);
    row->addWidget(m_openLog);

    m_icon = new QLabel(this);
    m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    row->addWidget(m_icon);

    m_text = new QLabel(QStringLiteral("Errors encountered! See log file for details."), this);
    row->addWidget(m_text);
    row->addStretch(1);

    m_close = new QToolButton(this);
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(QStringLiteral("Close"));
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
    row->addWidget(m_close);
}

void CCaptionBar::ApplyLook(const QColor& background, const QColor& border) {
    setStyleSheet(QStringLiteral("#captionBar { background: %1; border-bottom: 1px solid %2; }")
                      .arg(background.name(), border.name()));
}
