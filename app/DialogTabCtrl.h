// CDialogTabCtrl: a tab control that shows one child dialog per tab. The pages are children
// of the control's parent placed over its display area; the control owns them.
#pragma once

#include <QPointer>
#include <QTabBar>
#include <QWidget>
#include <vector>

class CDialogTabCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CDialogTabCtrl(QWidget* parent);
    ~CDialogTabCtrl() override;

    // Appends a tab with `title` showing `page`; false for a null page.
    bool AddTab(QWidget* page, const QString& title);
    // Shows the first page, hides the others and lays them out.
    void Init();

    int CurrentIndex() const { return m_current; }
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    QWidget* Page(int index) const;
    QTabBar* TabBar() const { return m_bar; }
    // The display area below the tabs, in the parent's coordinates.
    QRect DisplayRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutPages();
    void OnSelChange(int index);

    QTabBar* m_bar;
    int m_current = 0;
    std::vector<QPointer<QWidget>> m_pages;
    bool m_initialised = false;
};
