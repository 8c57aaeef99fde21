// The simulator's end of the serial line. On POSIX a pseudo-terminal: the driver opens the
// slave device (through the COM<n> link in the port folder) and the simulator reads and
// writes the master. On Windows the far end of a virtual null-modem pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::sim {

struct SPortWaitResult {
    bool readable = false;
    bool writable = false;
    bool hangup = false;  // the device side is gone; stop using it
};

// Owned and used by one thread, except Wake(), which any thread may call while the object
// lives. Non-copyable: it owns descriptors.
class CPseudoTerminal {
public:
    CPseudoTerminal();
    ~CPseudoTerminal();
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    // Opens the device in raw mode (the driver sees the bytes unchanged) and, if linkPath is
    // not empty, creates the link there pointing at it. An existing entry is replaced only
    // if it is a dangling link, or a link at all when replaceLink is set; anything else is
    // an error that leaves the entry untouched.
    bool Open(const std::string& linkPath, bool replaceLink, std::string& error);

    // Closes the device and removes the link if it still points at this device.
    void Close();

    bool IsOpen() const;
    const std::string& DevicePath() const { return m_devicePath; }
    const std::string& LinkPath() const { return m_linkPath; }

    // Non-blocking. Bytes transferred, 0 when nothing can be transferred now, -1 on an
    // error (text in error).
    long Read(char* buffer, std::size_t size, std::string& error);
    long Write(const char* data, std::size_t size, std::string& error);

    // Bytes written towards the peer that it has not read yet (0 where unknown).
    std::size_t UnreadByPeer() const;

    // Waits until the device is readable (or writable, if asked), Wake() is called, or the
    // timeout passes (nanoseconds; negative waits without limit).
    SPortWaitResult Wait(bool wantWrite, std::int64_t timeoutNs);

    // Ends a Wait() early; callable from any thread.
    void Wake() const;

    // Asks the system to end the calling thread's timed waits as close to their instant as
    // it can (no timer slack), for the emulated wire's byte-by-byte pace.
    static void PreferPreciseWakeups();

private:
    struct SHandles;
    SHandles* m_handles;
    std::string m_devicePath;
    std::string m_linkPath;
};

}  // namespace quorvel::sim
