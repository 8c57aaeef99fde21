// Folders and devices on Linux: the XDG base directories, COM port numbers mapped to tty
// devices, and xdg-open for the desktop's handler.
#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Paths.h"

namespace Platform {

namespace {

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/tmp";
}

// An XDG variable counts only when it holds an absolute path.
std::filesystem::path XdgFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return HomeFolder() / fallbackBelowHome;
}

// Full path of `program` found on PATH; empty when it is not there.
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

std::filesystem::path ConfigHome() {
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path AppDataHome() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

std::filesystem::path ComPortDevicePath(unsigned int n) {
    if (n == 0) {
        return {};
    }
    const std::filesystem::path entry = PortDirectory() / ("COM" + std::to_string(n));
    std::error_code error;
    const auto status = std::filesystem::symlink_status(entry, error);
    if (!error && std::filesystem::is_symlink(status)) {
        std::filesystem::path target = std::filesystem::read_symlink(entry, error);
        if (!error) {
            return target.is_absolute() ? target : entry.parent_path() / target;
        }
    } else if (!error && std::filesystem::exists(status)) {
        return entry;  // a device node or a bind of one placed there directly
    }
    if (n <= 32) {
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    if (n <= 64) {
        return "/dev/ttyUSB" + std::to_string(n - 33);
    }
    if (n <= 96) {
        return "/dev/ttyACM" + std::to_string(n - 65);
    }
    return {};
}

bool OpenWithDesktop(const std::filesystem::path& target) {
    std::error_code error;
    if (!std::filesystem::exists(target, error)) {
        return false;
    }
    const std::string opener = FindOnPath("xdg-open");
    if (opener.empty()) {
        return false;
    }
    // Everything the child needs is prepared before fork(): after it, in a threaded
    // process, only async-signal-safe calls are allowed.
    const std::string argument = target.string();
    char* const argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(argument.c_str()),
                          nullptr};
    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        // The intermediate child starts the opener in a new session and exits at once, so
        // the opener is never our child: no zombie, no wait, nothing blocks.
        setsid();
        if (fork() == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, STDIN_FILENO);
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            execv(argv[0], argv);
            _exit(127);
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace Platform
