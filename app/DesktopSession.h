// What the program needs from the desktop session it runs in: whether there is a display to
// open windows on, and the session's request to end the program (logout, `kill`, Ctrl+C),
// which closes the program exactly as closing the main window does.
#pragma once

#include <QObject>
#include <functional>
#include <string>

namespace Desktop {
// False, with the reason, when no window can be shown (no display server and no Qt
// platform chosen by the caller).
bool HasDisplay(std::string* reason);
}  // namespace Desktop

class CShutdownRequests : public QObject {
    Q_OBJECT
public:
    // `onRequest` runs on the GUI thread, once per request.
    explicit CShutdownRequests(std::function<void()> onRequest, QObject* parent = nullptr);
    ~CShutdownRequests() override;
    CShutdownRequests(const CShutdownRequests&) = delete;
    CShutdownRequests& operator=(const CShutdownRequests&) = delete;

    struct Impl;

private:
    Impl* m_impl;
};
