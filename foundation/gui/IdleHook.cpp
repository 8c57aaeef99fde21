#include "IdleHook.h"

#include <QAbstractEventDispatcher>
#include <QThread>

CIdleHook::CIdleHook(std::function<void()> onIdle, QObject* parent)
    : QObject(parent), m_onIdle(std::move(onIdle)) {
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CIdleHook::RunIdlePass);
}

void CIdleHook::RunIdlePass() {
    // A handler that opens a modal box would re-enter through the nested loop.
    if (m_running || !m_onIdle)
        return;
    m_running = true;
    ++m_passes;
    m_onIdle();
    m_running = false;
}
