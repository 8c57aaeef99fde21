// SIGINT and SIGTERM reach the GUI thread through a socket pair: the handler only writes one
// byte (async-signal-safe), a QSocketNotifier reads it in the event loop.
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>

#include "DesktopSession.h"

namespace {
int g_signalFd[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    const auto written = ::write(g_signalFd[0], &byte, 1);
    (void)written;
}

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}
}  // namespace

bool Desktop::HasDisplay(std::string* reason) {
    if (Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY"))
        return true;
    if (reason)
        *reason = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    return false;
}

struct CShutdownRequests::Impl {
    QSocketNotifier* notifier = nullptr;
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
};

CShutdownRequests::CShutdownRequests(std::function<void()> onRequest, QObject* parent)
    : QObject(parent), m_impl(new Impl) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFd) != 0)
        return;
    m_impl->notifier = new QSocketNotifier(g_signalFd[1], QSocketNotifier::Read, this);
    connect(m_impl->notifier, &QSocketNotifier::activated, this,
            [onRequest = std::move(onRequest)] {
                char byte;
                const auto got = ::read(g_signalFd[1], &byte, 1);
                (void)got;
                onRequest();
            });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_impl->oldInt);
    sigaction(SIGTERM, &action, &m_impl->oldTerm);
}

CShutdownRequests::~CShutdownRequests() {
    if (g_signalFd[0] >= 0) {
        sigaction(SIGINT, &m_impl->oldInt, nullptr);
        sigaction(SIGTERM, &m_impl->oldTerm, nullptr);
        delete m_impl->notifier;
        ::close(g_signalFd[0]);
        ::close(g_signalFd[1]);
        g_signalFd[0] = g_signalFd[1] = -1;
    }
    delete m_impl;
}
