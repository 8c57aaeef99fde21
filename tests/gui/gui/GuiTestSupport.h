// Shared pieces of the GUI tests: the QApplication of the test program, private settings
// and log folders per test, a recording message-box service, event-loop helpers and the
// log file reader.
#pragma once

#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace GuiTest {

// Runs Qt's event loop (so the idle pass happens) for `ms` milliseconds.
void RunLoopFor(int ms);
// Runs the event loop until `done` answers true or `timeoutMs` passes; the last answer.
bool RunLoopUntil(const std::function<bool()>& done, int timeoutMs);

// Points XDG_CONFIG_HOME, XDG_STATE_HOME and QUORVEL_PORT_DIR at fresh folders below the
// test's sandbox for its lifetime.
class CPrivateFolders {
public:
    CPrivateFolders();
    ~CPrivateFolders();
    std::filesystem::path Root() const { return m_root; }
    std::filesystem::path LogFolder() const;

private:
    std::filesystem::path m_root;
    std::string m_saved[3];
};

struct RecordedBox {
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// Answers every box with IDOK (or `answer`) and records it; `duringShow` runs while the
// box is "open", as the operator's reaction time would let other events in.
class CRecordingBoxes : public Platform::IMessageBoxService {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override;
    std::vector<RecordedBox> boxes;
    std::function<void()> duringShow;
    int answer = IDOK;
};

// The lines of the one log file in `folder` (UTF-16 LE decoded), without line ends.
std::vector<std::wstring> ReadLogLines(const std::filesystem::path& folder);
// Whether any line ends with `message` after its "]: " prefix.
bool LogHas(const std::vector<std::wstring>& lines, const std::wstring& message);

}  // namespace GuiTest
