#include "DialogTabCtrl.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>

#include "CommandIds.h"

CDialogTabCtrl::CDialogTabCtrl(QWidget* parent) : QWidget(parent), m_bar(new QTabBar(this)) {
    setProperty("dlgCtrlId", WndId::TabControl);
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->move(2, 0);
    connect(m_bar, &QTabBar::currentChanged, this, &CDialogTabCtrl::OnSelChange);
}

CDialogTabCtrl::~CDialogTabCtrl() {
    for (auto& page : m_pages)
        delete page.data();
}

bool CDialogTabCtrl::AddTab(QWidget* page, const QString& title) {
    if (!page)
        return false;
    m_pages.emplace_back(page);
    const QSignalBlocker quiet(m_bar);  // inserting is not a selection change
    m_bar->addTab(title);
    m_bar->adjustSize();
    return true;
}

QWidget* CDialogTabCtrl::Page(int index) const {
    return index >= 0 && index < PageCount() ? m_pages[static_cast<std::size_t>(index)].data()
                                             : nullptr;
}

void CDialogTabCtrl::Init() {
    m_initialised = true;
    for (int i = 0; i < PageCount(); ++i)
        if (QWidget* page = Page(i))
            page->setVisible(i == 0);
    LayoutPages();
}

QRect CDialogTabCtrl::DisplayRect() const {
    const int top = m_bar->sizeHint().height();
    QRect area(0, top, width(), height() - top);
    area.adjust(3, 3, -3, -3);
    return area.translated(pos());
}

void CDialogTabCtrl::LayoutPages() {
    if (!m_initialised)
        return;
    m_current = m_bar->currentIndex() < 0 ? 0 : m_bar->currentIndex();
    const QRect area = DisplayRect();
    for (int i = 0; i < PageCount(); ++i) {
        QWidget* page = Page(i);
        if (!page)
            continue;
        page->setGeometry(area);
        page->raise();
        if (i != m_current)
            page->hide();
    }
    if (QWidget* current = Page(m_current)) {
        current->setGeometry(area);
        current->setEnabled(true);
        current->show();
        current->raise();
    }
}

void CDialogTabCtrl::OnSelChange(int index) {
    if (QWidget* previous = Page(m_current); previous && index != m_current)
        previous->hide();
    LayoutPages();
    if (QWidget* page = Page(index))
        page->setFocus(Qt::MouseFocusReason);
}

void CDialogTabCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = QRect(0, m_bar->sizeHint().height() - 1, width(),
                       height() - m_bar->sizeHint().height() + 1);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->sizeHint();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

void CDialogTabCtrl::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    LayoutPages();
}

void CDialogTabCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutPages();
}
