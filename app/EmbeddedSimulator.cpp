#include "EmbeddedSimulator.h"

#include <QtGlobal>
#include <random>
#include <system_error>

#include "InstrumentSimulator.h"

CEmbeddedSimulator::CEmbeddedSimulator() = default;

CEmbeddedSimulator::~CEmbeddedSimulator() {
    Stop();
}

bool CEmbeddedSimulator::Start(std::string* error) {
    std::error_code ec;
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        if (error)
            *error = "no temporary folder: " + ec.message();
        return false;
    }
    for (int attempt = 0; attempt < 16 && m_folder.empty(); ++attempt) {
        auto candidate = base / ("quorvel-sim-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, ec))
            m_folder = candidate;
    }
    if (m_folder.empty()) {
        if (error)
            *error = "cannot create a private port folder in " + base.string();
        return false;
    }
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);

    quorvel::sim::SSimulatorOptions options;
    options.portDir = m_folder.string();
    options.comPort = static_cast<int>(kPort);
    m_simulator = std::make_unique<quorvel::sim::CInstrumentSimulator>();
    if (m_simulator->Start(options).empty()) {
        if (error)
            *error = m_simulator->LastError();
        Stop();
        return false;
    }
    // This run looks for its ports in the private folder only.
    m_envChanged = true;
    m_hadPortDir = qEnvironmentVariableIsSet("QUORVEL_PORT_DIR");
    m_previousPortDir = qgetenv("QUORVEL_PORT_DIR");
    qputenv("QUORVEL_PORT_DIR", QByteArray::fromStdString(m_folder.string()));
    return true;
}

void CEmbeddedSimulator::Stop() {
    if (m_simulator) {
        m_simulator->Stop();
        m_simulator.reset();
    }
    if (m_envChanged) {
        if (m_hadPortDir)
            qputenv("QUORVEL_PORT_DIR", m_previousPortDir);
        else
            qunsetenv("QUORVEL_PORT_DIR");
        m_envChanged = false;
    }
    if (!m_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        m_folder.clear();
    }
}

std::string CEmbeddedSimulator::DevicePath() const {
    return m_simulator ? m_simulator->DevicePath() : std::string();
}
