// The program's built-in instrument (`quorvel --simulator`): the simulator on a private
// port directory, so the operator can rehearse without hardware. The port directory of this
// run is pointed at it; the operator's saved connection settings are not touched.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <QByteArray>

namespace quorvel::sim {
class CInstrumentSimulator;
}

class CEmbeddedSimulator {
public:
    // The COM port number under which the simulated instrument appears.
    static constexpr unsigned kPort = 99;

    CEmbeddedSimulator();
    ~CEmbeddedSimulator();  // stops the instrument and removes the private folder
    CEmbeddedSimulator(const CEmbeddedSimulator&) = delete;
    CEmbeddedSimulator& operator=(const CEmbeddedSimulator&) = delete;

    // Starts the instrument; false with the reason in `error`.
    bool Start(std::string* error);
    void Stop();
    std::string DevicePath() const;
    quorvel::sim::CInstrumentSimulator* Instrument() const { return m_simulator.get(); }

private:
    std::unique_ptr<quorvel::sim::CInstrumentSimulator> m_simulator;
    std::filesystem::path m_folder;
    QByteArray m_previousPortDir;
    bool m_hadPortDir = false;
    bool m_envChanged = false;
};
