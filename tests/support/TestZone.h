// Local time in a stated zone for the scope, the same way on Linux and Windows (the platform
// clock's zone, Platform::SetZoneRule), and the zone in force before restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Clock.h"

namespace QuorvelTest {

class CZoneScope {
public:
    // What a zone this system cannot apply means to the test: a failure, or a case to skip
    // (a zone database name, for a test of a zone's history, which Windows does not know).
    enum class IfMissing { Fail, Skip };

    // `zone`: a POSIX TZ rule ("CET-1CEST,M3.5.0,M10.5.0/3"); on Linux also a zone database
    // name ("Europe/Zurich"). With IfMissing::Skip the test checks Applied() and skips.
    explicit CZoneScope(const char* zone, IfMissing missing = IfMissing::Fail)
        : m_previous(Platform::InstalledZoneRule()) {
        m_applied = Platform::SetZoneRule(zone);
        if (!m_applied && missing == IfMissing::Fail) {
            ADD_FAILURE() << "the zone \"" << zone << "\" cannot be applied on this system";
        }
    }
    ~CZoneScope() {
        if (m_previous.empty()) {
            Platform::ClearZoneRule();
        } else {
            Platform::SetZoneRule(m_previous);
        }
    }
    CZoneScope(const CZoneScope&) = delete;
    CZoneScope& operator=(const CZoneScope&) = delete;

    // Whether the zone is in force (a zone this system cannot apply leaves the one before).
    bool Applied() const { return m_applied; }

private:
    std::string m_previous;
    bool m_applied = false;
};

}  // namespace QuorvelTest
