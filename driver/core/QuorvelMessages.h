// Window message ids of the driver library and the small types carried by them. The ids are
// the interface between the library and the program and never change.
//
// 0x8100..0x8114 are both the reply ids under which the serial port delivers replies to the
// device window and the ids of the notifications to the owner window. A reply message
// carries wParam = CStringW* (new; the handler frees it) and lParam = 1 on time-out, else 0.
#pragma once

#include "platform/Containers.h"
#include "platform/WinTypes.h"

constexpr UINT WM_QUORVEL_ERROR = WM_APP + 0x100;                // 0x8100
constexpr UINT WM_QUORVEL_HOME = WM_APP + 0x101;                 // 0x8101
constexpr UINT WM_QUORVEL_ID = WM_APP + 0x102;                   // 0x8102
constexpr UINT WM_QUORVEL_ID_CONNECT = WM_APP + 0x103;           // 0x8103
constexpr UINT WM_QUORVEL_MOVE = WM_APP + 0x104;                 // 0x8104
constexpr UINT WM_QUORVEL_STATUS = WM_APP + 0x105;               // 0x8105
constexpr UINT WM_QUORVEL_GET_POSITION = WM_APP + 0x106;         // 0x8106
constexpr UINT WM_QUORVEL_GET_VELOCITY = WM_APP + 0x107;         // 0x8107
constexpr UINT WM_QUORVEL_STOP = WM_APP + 0x108;                 // 0x8108
constexpr UINT WM_QUORVEL_TRAJ_LOAD = WM_APP + 0x109;            // 0x8109
constexpr UINT WM_QUORVEL_TRAJ_PAIR = WM_APP + 0x10A;            // 0x810A
constexpr UINT WM_QUORVEL_TRAJ_PROGRESS = WM_APP + 0x10B;        // 0x810B
constexpr UINT WM_QUORVEL_TRAJECTORY = WM_APP + 0x10C;           // 0x810C
constexpr UINT WM_QUORVEL_TRAJECTORY_GO = WM_APP + 0x10D;        // 0x810D
constexpr UINT WM_QUORVEL_SET_OFFSET = WM_APP + 0x10E;           // 0x810E
constexpr UINT WM_QUORVEL_GET_POSITION_CUSTOM = WM_APP + 0x10F;  // 0x810F
constexpr UINT WM_QUORVEL_STOP_TRAJ1 = WM_APP + 0x110;           // 0x8110
constexpr UINT WM_QUORVEL_STOP_TRAJ2 = WM_APP + 0x111;           // 0x8111
constexpr UINT WM_QUORVEL_TRAJ_UPLOADED = WM_APP + 0x112;        // 0x8112
constexpr UINT WM_QUORVEL_TRAJ_FINISHED = WM_APP + 0x113;        // 0x8113
constexpr UINT WM_QUORVEL_HOME_FINISHED = WM_APP + 0x114;        // 0x8114

// Unsolicited line from the instrument (text after the leading "!").
constexpr UINT WM_COMM_RXSTRING = WM_USER + 10;  // 0x040A
// Private to the device window: the serial port reports a failed port operation; wParam =
// CStringW* box text (the handler frees it), lParam = 1 when the device has gone and the
// monitor thread has stopped.
constexpr UINT WM_COMM_PORT_FAILURE = WM_USER + 11;  // 0x040B

// Bits of the status set (std::bitset<7>).
enum QuorvelStatusBit : unsigned long {
    IDLE = 0,
    HOMING = 1,
    MOVING = 2,
    JOGGING = 3,
    WAITING = 4,
    TRAJECTORY = 5,
    UPLOADING = 6,
};

enum QuorvelStopMode : int {
    StopAll = 0,
    StopMotion = 1,
    StopTrajectory = 2,
};

// Identification reply "<leading>,<product>,<trailing...>".
struct IdStruct {
    CStringW strLeading;
    CStringW strProductId;
    CStringW strTrailing;
};
