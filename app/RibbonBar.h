// CRibbonBar: the main frame's ribbon (window id 59398): a tab row with the category "Home"
// and the About button on the right, and the category's panels "Settings", "Connection" and
// "Utilities" of large buttons. Tooltips carry a title and a description; pressing and
// releasing Alt shows the key tips (A, H, then the buttons' letters).
#pragma once

#include <QLabel>
#include <QMap>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "Looks.h"

class CRibbonBar : public QWidget {
    Q_OBJECT
public:
    explicit CRibbonBar(QWidget* parent);
    ~CRibbonBar() override;

    QToolButton* Button(int commandId) const { return m_buttons.value(commandId, nullptr); }
    // The enabling of every button, recomputed on the idle pass.
    void UpdateCmdUI(const std::function<bool(int commandId)>& isEnabled);
    void ApplyLook(const LookColors& colors);
    bool Windows7Look() const { return m_windows7; }

    // Key tips: 0 hidden, 1 tab row (A, H), 2 the category's buttons.
    int KeyTipLevel() const { return m_keyTipLevel; }
    void ShowKeyTips(int level);
    QString KeyTipOf(int commandId) const { return m_keyTips.value(commandId); }

signals:
    void commandTriggered(int commandId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ButtonSpec;
    QWidget* MakePanel(const QString& title, const std::vector<ButtonSpec>& buttons);
    QToolButton* MakeLargeButton(const ButtonSpec& spec);
    void Trigger(int commandId);
    void HideKeyTips();
    QLabel* MakeKeyTip(const QString& key, QWidget* anchor);

    QWidget* m_tabRow = nullptr;
    QToolButton* m_homeTab = nullptr;
    QToolButton* m_aboutButton = nullptr;
    QWidget* m_category = nullptr;
    QMap<int, QToolButton*> m_buttons;
    QMap<int, QString> m_keyTips;
    std::vector<QLabel*> m_keyTipLabels;
    int m_keyTipLevel = 0;
    bool m_altPending = false;
    bool m_windows7 = false;
};
