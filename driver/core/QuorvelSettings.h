// CQuorvelSettings: the connection to the instrument as a settings record (COM port number
// and baud rate), stored under "Quorvel Settings" by the program.
#pragma once

#include <cstdint>

#include "QuorvelExport.h"
#include "settings/Settings.h"

class QUORVELDLL_API CQuorvelSettings : public Zezezezo::CSettings {
public:
    CQuorvelSettings();
    CQuorvelSettings(const CQuorvelSettings& other);
    CQuorvelSettings& operator=(const CQuorvelSettings& other);
    ~CQuorvelSettings() override;

    // "port", then "baud", both unsigned 32-bit.
    bool InternalSaveLoad(bool continueOnFailure, Zezezezo::CSettingsStorage* storage, bool save,
                          bool reset) override;

    std::uint32_t nPort;  // COM port number; 0 = none chosen
    std::uint32_t nBaud;  // bits per second
};
