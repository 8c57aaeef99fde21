// The idle pass of the GUI: runs a callback each time the GUI thread's Qt event loop has
// handled everything and is about to wait (QAbstractEventDispatcher::aboutToBlock), which is
// where the enabling of commands and the panels' connection indicators are recomputed.
#pragma once

#include <QObject>
#include <functional>

class CIdleHook : public QObject {
    Q_OBJECT
public:
    explicit CIdleHook(std::function<void()> onIdle, QObject* parent = nullptr);
    // Runs the callback now (tests, and code that wants the state painted at once).
    void RunIdlePass();
    long long Passes() const { return m_passes; }

private:
    std::function<void()> m_onIdle;
    long long m_passes = 0;
    bool m_running = false;
};
