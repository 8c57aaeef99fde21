// The four jog buttons that the manual controls panel and the alignment calibration dialog
// share: the same control ids in both templates, the same direction per button.
#pragma once

#include "core/Quorvel.h"

namespace JogButtons {

constexpr int kZenithPlus = 1028;
constexpr int kZenithMinus = 1029;
constexpr int kAzimuthPlus = 1030;
constexpr int kAzimuthMinus = 1032;

inline bool IsJogButton(int id) {
    return id == kZenithPlus || id == kZenithMinus || id == kAzimuthPlus || id == kAzimuthMinus;
}

// The rates (degrees per second, azimuth and zenith) that holding button `id` asks for at jog
// velocity `velocity`; false for any other control.
inline bool RatesFor(int id, double velocity, double& azimuthRate, double& zenithRate) {
    azimuthRate = 0.0;
    zenithRate = 0.0;
    switch (id) {
        case kZenithPlus:
            zenithRate = velocity;
            return true;
        case kZenithMinus:
            zenithRate = -velocity;
            return true;
        case kAzimuthPlus:
            azimuthRate = velocity;
            return true;
        case kAzimuthMinus:
            azimuthRate = -velocity;
            return true;
        default:
            return false;
    }
}

// Pressing button `id`: the device jogs at `velocity` degrees per second in the button's
// direction. Nothing for another control or without a device.
inline void Press(CQuorvel* device, int id, double velocity) {
    double azimuthRate = 0.0;
    double zenithRate = 0.0;
    if (device != nullptr && RatesFor(id, velocity, azimuthRate, zenithRate))
        device->MoveVel(azimuthRate, zenithRate);
}

}  // namespace JogButtons
