// Boxes from any thread reach the service through a hidden window that belongs to the
// service's thread: a SendMessage to it blocks the caller until the box is answered while
// that thread keeps pumping (Qt's loop in the program, CMessageLoop in tests).
#include "platform/MessageBox.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/TextConvert.h"
#include "platform/Wnd.h"

namespace Platform {

namespace {

constexpr UINT kShowBox = WM_APP + 0x3F0;  // private to the hidden window

struct BoxRequest {
    const std::wstring& text;
    const std::wstring& caption;
    UINT type;
    bool shown = false;
};

class CMessageBoxWnd final : public CWnd {
public:
    explicit CMessageBoxWnd(IMessageBoxService* service) : m_service(service) {}

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        if (message != kShowBox) {
            return 0;
        }
        auto* request = reinterpret_cast<BoxRequest*>(wParam);
        const int result = m_service->Show(request->text, request->caption, request->type);
        request->shown = true;
        return result;
    }

private:
    IMessageBoxService* m_service;
};

std::mutex g_lock;
std::shared_ptr<CMessageBoxWnd> g_window;  // guarded by g_lock

int ShowOnStandardError(const std::wstring& text, const std::wstring& caption) {
    const std::string line = WideToUtf8(caption) + ": " + WideToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return IDOK;
}

}  // namespace

void SetMessageBoxService(IMessageBoxService* service) {
    std::shared_ptr<CMessageBoxWnd> previous;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        previous = std::move(g_window);
        g_window.reset();
        if (service != nullptr) {
            g_window = std::make_shared<CMessageBoxWnd>(service);
        }
    }
    if (previous) {
        // Callers still blocked on the old service get 0 and fall back to standard error.
        previous->DestroyWindow();
    }
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    std::shared_ptr<CMessageBoxWnd> window;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        window = g_window;
    }
    if (window) {
        BoxRequest request{text, caption, type};
        const LRESULT result = window->SendMessage(kShowBox, reinterpret_cast<WPARAM>(&request), 0);
        if (request.shown) {
            return static_cast<int>(result);
        }
    }
    return ShowOnStandardError(text, caption);
}

}  // namespace Platform
