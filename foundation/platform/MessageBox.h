// Modal boxes raised by any thread. The GUI supplies a service that shows Qt boxes; tests
// supply a recording fake. A call from a thread other than the service's own is carried to
// the service's thread and blocks the caller until the box is closed.
#pragma once

#include <string>

#include "WinTypes.h"

namespace Platform {

class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    // Shows a modal box and returns the button pressed (IDOK, IDYES, ...). Runs on the
    // thread that installed the service.
    virtual int Show(const std::wstring& text, const std::wstring& caption, UINT type) = 0;
};

// Installs `service` (not owned) for the calling thread, which becomes the box thread;
// nullptr removes it.
void SetMessageBoxService(IMessageBoxService* service);

// Shows a box through the installed service, from any thread. Without a service the text
// goes to standard error and the result is IDOK (IDYES... for nothing: IDOK).
int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT type);

}  // namespace Platform
