// Drives the GUI thread's window-message queue from Qt's event loop: a message posted to a
// target of the GUI thread (from any thread) wakes the loop, which then handles every queued
// message on the GUI thread. Works in nested loops too (modal dialogs and boxes), so a worker
// thread blocked in a SendMessage to the main window is always served.
#pragma once

#include <QObject>
#include <memory>

class CQtMessagePump : public QObject {
    Q_OBJECT
public:
    // Installs itself as the wake handler of the calling thread's queue (the GUI thread)
    // and handles what is already queued.
    explicit CQtMessagePump(QObject* parent = nullptr);
    // Removes the wake handler; a worker thread posting afterwards no longer wakes Qt.
    ~CQtMessagePump() override;
    CQtMessagePump(const CQtMessagePump&) = delete;
    CQtMessagePump& operator=(const CQtMessagePump&) = delete;

    // Messages handled so far (for tests and benchmarks).
    long long Dispatched() const { return m_dispatched; }

protected:
    bool event(QEvent* event) override;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    long long m_dispatched = 0;
};
