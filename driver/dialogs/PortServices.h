// What the connection dialogs ask of the system about serial ports: what each present port
// is, a detection run that finds the instrument, and recording a port under its stable name.
// The defaults are the driver's port catalog and detector; tests hand the dialogs fakes.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/PortCatalog.h"
#include "core/PortDetector.h"

// One detection run. Run blocks on the thread that calls it (the auto-detect dialog's
// worker); Cancel comes from the GUI thread and makes Run return within milliseconds.
class IPortDetection {
public:
    virtual ~IPortDetection() = default;
    virtual QuorvelDriver::DetectReport Run(
        const std::function<void(const QuorvelDriver::DetectProgress&)>& progress) = 0;
    virtual void Cancel() = 0;
};

struct CPortServices {
    // The present ports, ascending by COM number.
    std::function<std::vector<QuorvelDriver::PortDescription>()> describePorts;
    std::function<std::unique_ptr<IPortDetection>(const QuorvelDriver::DetectOptions&)>
        makeDetection;
    // Called only when the operator has chosen to keep the port's number.
    std::function<QuorvelDriver::StableNameResult(unsigned int port)> recordStableName;
};

// `services` with every empty member filled by the driver's own.
CPortServices WithDefaultPortServices(CPortServices services);
