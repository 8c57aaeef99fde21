#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "TestProcess.h"

namespace QuorvelTest {

long CurrentProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

// No mkdtemp here: the process id and the tick count name a candidate, and creating it fails
// when the name is taken, so the first one made is ours alone.
bool MakeFreshFolder(const std::filesystem::path& parent, const char* prefix,
                     std::filesystem::path& made) {
    const std::string stem = prefix + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = parent / (stem + std::to_string(GetTickCount64() + attempt));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            made = candidate;
            return true;
        }
    }
    return false;
}

namespace {
constexpr char kVariable[] = "QUORVEL_REGISTRY_ROOT";
constexpr char kTestsKey[] = "Software\\QuorvelTests";
}  // namespace

// The key is new when RegCreateKeyEx says it created it, so the first one made is ours alone.
bool MakePrivateSettingsRoot(std::string& made) {
    const std::string stem =
        std::string(kTestsKey) + "\\" + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = stem + std::to_string(GetTickCount64() + attempt);
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, candidate.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        if (disposition == REG_CREATED_NEW_KEY) {
            made = candidate;
            SetVariable(kVariable, made.c_str());
            return true;
        }
    }
    return false;
}

void RemovePrivateSettingsRoot(const std::string& made) {
    if (made.empty()) {
        return;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, made.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, made.c_str());
    // The common parent goes with the last test program that used it.
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);
}

void EmptyPrivateSettingsRoot(const std::string& made) {
    HKEY key = nullptr;
    if (!made.empty() && RegOpenKeyExA(HKEY_CURRENT_USER, made.c_str(), 0, KEY_READ | KEY_WRITE,
                                       &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
    }
}

// Checked as the hive reads it: the process environment, not the C runtime's copy.
std::string PrivateSettingsRootProblem(const std::string& made) {
    char value[512] = {};
    const DWORD n = GetEnvironmentVariableA(kVariable, value, sizeof value);
    if (made.empty() || n == 0 || n >= sizeof value || made != value) {
        return std::string(kVariable) + " is \"" + (n > 0 && n < sizeof value ? value : "") +
               "\", not the private key \"" + made + "\"";
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, made.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "the private key HKEY_CURRENT_USER\\" + made + " does not exist";
    }
    RegCloseKey(key);
    return {};
}

// The debug-output protocol: OutputDebugString waits (a few seconds at most) for the reader's
// "buffer ready" event, writes its process id and the text into the 4 KiB shared buffer and
// sets "data ready". The reader hands the buffer back after each text.
std::string CaptureDebuggerOutput(const std::function<void()>& action) {
    constexpr DWORD kBufferSize = 4096;
    HANDLE bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    HANDLE dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        kBufferSize, L"DBWIN_BUFFER");
    // A debug viewer that already reads the buffer would take texts away from this reader.
    const bool otherReader = mapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    const void* view =
        mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kBufferSize) : nullptr;
    std::string captured;
    if (otherReader) {
        captured = "(another program, a debugger or debug viewer, reads the debug output)";
    } else if (bufferReady != nullptr && dataReady != nullptr && view != nullptr) {
        std::atomic<bool> done{false};
        std::thread reader([&] {
            const DWORD self = GetCurrentProcessId();
            const auto* block = static_cast<const char*>(view);
            SetEvent(bufferReady);
            for (;;) {
                if (WaitForSingleObject(dataReady, 50) == WAIT_OBJECT_0) {
                    DWORD writer = 0;
                    std::memcpy(&writer, block, sizeof writer);
                    if (writer == self) {
                        const char* text = block + sizeof writer;
                        captured.append(text, strnlen(text, kBufferSize - sizeof writer));
                    }
                    SetEvent(bufferReady);
                } else if (done.load()) {
                    // A text written before `action` returned has set "data ready" already.
                    return;
                }
            }
        });
        action();
        done.store(true);
        reader.join();
    } else {
        captured = "(no debug-output buffer: error " + std::to_string(GetLastError()) + ")";
    }
    if (view != nullptr) {
        UnmapViewOfFile(view);
    }
    for (HANDLE h : {mapping, dataReady, bufferReady}) {
        if (h != nullptr) {
            CloseHandle(h);
        }
    }
    return captured;
}

// _putenv_s changes the C runtime's copy and the process environment both; an empty value
// removes the variable.
void SetVariable(const char* name, const char* value) {
    _putenv_s(name, value);
}

void UnsetVariable(const char* name) {
    _putenv_s(name, "");
}

}  // namespace QuorvelTest
