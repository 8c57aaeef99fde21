#include "QuorvelSettings.h"

#include "settings/MemberExchange.h"

namespace {
constexpr std::uint32_t kDefaultPort = 0;
constexpr std::uint32_t kDefaultBaud = 115200;
}  // namespace

CQuorvelSettings::CQuorvelSettings() : nPort(kDefaultPort), nBaud(kDefaultBaud) {}

CQuorvelSettings::CQuorvelSettings(const CQuorvelSettings& other)
    : Zezezezo::CSettings(other), nPort(other.nPort), nBaud(other.nBaud) {}

CQuorvelSettings& CQuorvelSettings::operator=(const CQuorvelSettings& other) {
    nPort = other.nPort;
    nBaud = other.nBaud;
    return *this;
}

CQuorvelSettings::~CQuorvelSettings() = default;

bool CQuorvelSettings::InternalSaveLoad(bool continueOnFailure, Zezezezo::CSettingsStorage* storage,
                                        bool save, bool reset) {
    Zezezezo::CMemberExchange m(continueOnFailure, storage, save, reset);
    m.Plain(L"port", nPort, kDefaultPort).Plain(L"baud", nBaud, kDefaultBaud);
    return m.Result();
}
