#include "PortServices.h"

namespace {

class CDriverDetection : public IPortDetection {
public:
    explicit CDriverDetection(const QuorvelDriver::DetectOptions& options) : m_detector(options) {}
    QuorvelDriver::DetectReport Run(
        const std::function<void(const QuorvelDriver::DetectProgress&)>& progress) override {
        return m_detector.Run(progress);
    }
    void Cancel() override { m_detector.Cancel(); }

private:
    QuorvelDriver::CPortDetector m_detector;
};

}  // namespace

CPortServices WithDefaultPortServices(CPortServices services) {
    if (!services.describePorts)
        services.describePorts = [] { return QuorvelDriver::DescribePresentPorts(); };
    if (!services.makeDetection) {
        services.makeDetection = [](const QuorvelDriver::DetectOptions& options) {
            return std::unique_ptr<IPortDetection>(new CDriverDetection(options));
        };
    }
    if (!services.recordStableName) {
        services.recordStableName = [](unsigned int port) {
            return QuorvelDriver::RecordStableName(port);
        };
    }
    return services;
}
