// What the log and the owner are told when a command that the instrument must answer "1" is
// not answered, or answered otherwise. One record per command; the reply handlers pick theirs.
#pragma once

namespace QuorvelDriver {

struct SAckTexts {
    const wchar_t* timedOutLog;    // warning logged on a time-out
    const wchar_t* timedOutError;  // error text to the owner, code 0
    const wchar_t* invalidLog;     // warning logged for another reply: this, the reply, "\")."
    int invalidCode;               // error code to the owner for another reply
    const wchar_t* invalidError;   // error text to the owner
};

inline constexpr SAckTexts kHomeAck{L"Timed out starting homing command.",
                                    L"Homing command timed out.",
                                    L"Homing command returned an invalid response (\"", 2,
                                    L"Homing command returned an invalid response."};

// "S!", "S1!" and "S2!" alike.
inline constexpr SAckTexts kStopAck{L"Timed out stopping the Quorvel.", L"Stop command timed out.",
                                    L"Stop command returned an invalid response (\"", 2,
                                    L"Stop command returned an invalid response."};

inline constexpr SAckTexts kSetOffsetAck{L"Timed out setting the offset.",
                                         L"Set offset command timed out.",
                                         L"Set offset command returned an invalid response (\"", 5,
                                         L"Set offset command returned an invalid response."};

inline constexpr SAckTexts kTrajectoryLoadAck{
    L"Timed out starting a trajectory load.", L"Trajectory load command timed out.",
    L"Trajectory load command returned an invalid response (\"", 2,
    L"Trajectory load command returned an invalid response."};

inline constexpr SAckTexts kTrajectoryPairAck{
    L"Timed out loading a trajectory pair.", L"Trajectory pair loading command timed out.",
    L"Trajectory load pair command returned an invalid response (\"", 3,
    L"Trajectory load pair command returned an invalid response."};

inline constexpr SAckTexts kTrajectoryInitAck{
    L"Timed out initializing a trajectory.", L"Trajectory initialization command timed out.",
    L"Trajectory initialization command returned an invalid response (\"", 4,
    L"Trajectory initialization command returned an invalid response."};

inline constexpr SAckTexts kTrajectoryGoAck{
    L"Timed out starting a trajectory.", L"Trajectory start command timed out.",
    L"Trajectory start command returned an invalid response (\"", 2,
    L"Trajectory start command returned an invalid response."};

}  // namespace QuorvelDriver
