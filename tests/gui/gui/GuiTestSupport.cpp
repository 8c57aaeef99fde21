#include "GuiTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/TextConvert.h"

namespace GuiTest {

namespace {

// The QApplication of the test program, made before the first test on the main thread.
class CQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "quorvel-gui-test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            m_app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

const bool g_registered = (::testing::AddGlobalTestEnvironment(new CQtEnvironment), true);

std::string Get(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

void RunLoopFor(int ms) {
    (void)g_registered;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

CPrivateFolders::CPrivateFolders() {
    static std::atomic<int> counter{0};
    const char* names[3] = {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "QUORVEL_PORT_DIR"};
    std::filesystem::path base = Get("XDG_CONFIG_HOME").empty()
                                     ? std::filesystem::temp_directory_path()
                                     : std::filesystem::path(Get("XDG_CONFIG_HOME")).parent_path();
    m_root = base / ("case-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root);
    const char* folders[3] = {"config", "state", "ports"};
    for (int i = 0; i < 3; ++i) {
        m_saved[i] = Get(names[i]);
        std::filesystem::create_directories(m_root / folders[i]);
        ::setenv(names[i], (m_root / folders[i]).c_str(), 1);
    }
}

CPrivateFolders::~CPrivateFolders() {
    const char* names[3] = {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "QUORVEL_PORT_DIR"};
    for (int i = 0; i < 3; ++i) {
        if (m_saved[i].empty())
            ::unsetenv(names[i]);
        else
            ::setenv(names[i], m_saved[i].c_str(), 1);
    }
}

std::filesystem::path CPrivateFolders::LogFolder() const {
    return m_root / "state" / "Pelvarin" / "Quorvel Control Software" / "logs";
}

int CRecordingBoxes::Show(const std::wstring& text, const std::wstring& caption, UINT type) {
    boxes.push_back({text, caption, type});
    if (duringShow)
        duringShow();
    return answer;
}

std::vector<std::wstring> ReadLogLines(const std::filesystem::path& folder) {
    std::vector<std::wstring> lines;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        std::u16string units;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        const std::wstring text = Platform::Utf16ToWide(units);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find(L"\r\n", start);
            if (end == std::wstring::npos)
                end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
    }
    return lines;
}

bool LogHas(const std::vector<std::wstring>& lines, const std::wstring& message) {
    for (const std::wstring& line : lines) {
        const auto cut = line.find(L"]: ");
        if (cut != std::wstring::npos && line.substr(cut + 3) == message)
            return true;
    }
    return false;
}

}  // namespace GuiTest
