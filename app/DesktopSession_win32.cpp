// Console close, Ctrl+C and logoff reach the GUI thread as a queued call; the handler
// thread waits until the program has closed, as Windows expects of a console handler.
#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "DesktopSession.h"

namespace {
CShutdownRequests* g_owner = nullptr;
std::function<void()> g_onRequest;

BOOL WINAPI OnConsoleEvent(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            if (g_owner)
                QMetaObject::invokeMethod(
                    g_owner, [] { g_onRequest(); }, Qt::QueuedConnection);
            return TRUE;
        default:
            return FALSE;
    }
}
}  // namespace

bool Desktop::HasDisplay(std::string*) {
    return true;
}

struct CShutdownRequests::Impl {};

CShutdownRequests::CShutdownRequests(std::function<void()> onRequest, QObject* parent)
    : QObject(parent), m_impl(new Impl) {
    g_owner = this;
    g_onRequest = std::move(onRequest);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

CShutdownRequests::~CShutdownRequests() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_owner = nullptr;
    delete m_impl;
}
