#include "DriverTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/Paths.h"
#include "platform/TextConvert.h"

namespace drivertest {

LRESULT CRecordingOwner::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    SNotification n;
    n.message = message;
    n.wParam = wParam;
    n.lParam = lParam;
    switch (message) {
        case WM_QUORVEL_ERROR:
            n.text = reinterpret_cast<const wchar_t*>(lParam);
            break;
        case WM_QUORVEL_STATUS:
            n.status = *reinterpret_cast<const std::bitset<7>*>(wParam);
            break;
        case WM_QUORVEL_GET_POSITION:
        case WM_QUORVEL_GET_VELOCITY: {
            const auto* v = reinterpret_cast<const double*>(wParam);
            n.values[0] = v[0];
            n.values[1] = v[1];
            break;
        }
        case WM_QUORVEL_ID: {
            auto* id = reinterpret_cast<IdStruct*>(wParam);
            n.id = *id;
            delete id;  // the receiver owns the record
            break;
        }
        default:
            break;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_log.push_back(n);
    }
    if (onNotification)
        onNotification(n);
    return 0;
}

std::vector<SNotification> CRecordingOwner::All() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_log;
}

std::vector<SNotification> CRecordingOwner::Of(UINT message) const {
    std::vector<SNotification> result;
    for (const SNotification& n : All()) {
        if (n.message == message)
            result.push_back(n);
    }
    return result;
}

std::size_t CRecordingOwner::Count(UINT message) const {
    return Of(message).size();
}

bool CRecordingOwner::SawStatus(const std::bitset<7>& status) const {
    for (const SNotification& n : Of(WM_QUORVEL_STATUS)) {
        if (n.status == status)
            return true;
    }
    return false;
}

std::vector<UINT> CRecordingOwner::Messages() const {
    std::vector<UINT> result;
    for (const SNotification& n : All())
        result.push_back(n.message);
    return result;
}

void CRecordingOwner::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_log.clear();
}

bool CRecordingOwner::WaitFor(UINT message, std::size_t count, int timeoutMs) const {
    return Pump([&] { return Count(message) >= count; }, timeoutMs);
}

int CRecordingBoxes::Show(const std::wstring& text, const std::wstring& caption, UINT type) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_boxes.push_back({text, caption, type});
    return IDOK;
}

std::vector<SBox> CRecordingBoxes::Boxes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_boxes;
}

CDriverLog& CDriverLog::Instance() {
    static CDriverLog log;
    return log;
}

CDriverLog::CDriverLog() {
    const std::filesystem::path folder = Platform::AppDataHome();
    std::filesystem::create_directories(folder);
    m_path = (folder / "driver-test.log").string();
    std::filesystem::remove(m_path);
    CQuorvel::SetLogCeiling(7);
    CQuorvel logOwner(nullptr);
    logOwner.SetLogfilePath(Platform::Utf8ToWide(m_path).c_str());
}

std::vector<std::wstring> CDriverLog::AllLines() const {
    std::ifstream in(m_path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    const std::wstring text = Platform::Utf16ToWide(units);
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::size_t CDriverLog::Mark() const {
    return AllLines().size();
}

std::vector<std::wstring> CDriverLog::LinesSince(std::size_t mark) const {
    std::vector<std::wstring> lines = AllLines();
    if (mark >= lines.size())
        return {};
    return std::vector<std::wstring>(lines.begin() + static_cast<std::ptrdiff_t>(mark),
                                     lines.end());
}

std::vector<std::wstring> CDriverLog::MessagesSince(std::size_t mark) const {
    std::vector<std::wstring> messages;
    for (const std::wstring& line : LinesSince(mark)) {
        const std::size_t at = line.find(L"]: ");
        messages.push_back(at == std::wstring::npos ? line : line.substr(at + 3));
    }
    return messages;
}

bool CDriverLog::Contains(std::size_t mark, const std::wstring& message) const {
    for (const std::wstring& m : MessagesSince(mark)) {
        if (m == message)
            return true;
    }
    return false;
}

std::wstring CDriverLog::SeverityOf(std::size_t mark, const std::wstring& message) const {
    for (const std::wstring& line : LinesSince(mark)) {
        const std::size_t at = line.find(L"]: ");
        if (at == std::wstring::npos || line.substr(at + 3) != message)
            continue;
        const std::size_t semi = line.find(L"; ");
        return line.substr(semi + 2, at - semi - 2);
    }
    return L"";
}

CHangWatch::CHangWatch(std::string what, std::chrono::milliseconds limit) {
    m_thread = std::thread([this, what = std::move(what), limit] {
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_left.wait_for(lock, limit, [this] { return m_done; }))
            return;
        std::fprintf(stderr, "FAILED: %s did not return within %lld ms; the GUI thread hangs\n",
                     what.c_str(), static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
    });
}

CHangWatch::~CHangWatch() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_done = true;
    }
    m_left.notify_all();
    m_thread.join();
}

bool Pump(const std::function<bool()>& done, int timeoutMs) {
    return Platform::CMessageLoop::RunUntil(done, std::chrono::milliseconds(timeoutMs));
}

void PumpFor(int ms) {
    Platform::CMessageLoop::RunFor(std::chrono::milliseconds(ms));
}

SYSTEMTIME LocalTimeIn(std::chrono::milliseconds offset) {
    const SYSTEMTIME now = Platform::GetLocalTime();
    const Platform::Ticks ticks =
        Platform::SystemTimeToTicks(now) +
        static_cast<Platform::Ticks>(offset.count()) * Platform::kTicksPerMillisecond;
    return Platform::TicksToSystemTime(ticks);
}

int SetTestTrajectory(CQuorvel& quorvel, int n) {
    CArray<SYSTEMTIME> times;
    CArray<double> az;
    CArray<double> ze;
    for (int i = 0; i < n; ++i) {
        times.Add(LocalTimeIn(std::chrono::seconds(10 + i)));
        az.Add(100.0 + i);
        ze.Add(40.0 - i * 0.5);
    }
    return quorvel.SetTrajectory(1, times, az, ze);
}

}  // namespace drivertest
