// A device object owned by a recording window, talking to a scripted peer on COM7 through a
// real pseudo-terminal, with a recording message-box service installed on this thread.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "DriverTestSupport.h"
#include "PtyPeer.h"

namespace drivertest {

class DriverTest : public ::testing::Test {
protected:
    static constexpr unsigned kPort = 7;

    void SetUp() override {
        mark = log.Mark();
        Platform::SetMessageBoxService(&boxes);
        peer = std::make_unique<CPtyPeer>(kPort);
        quorvel = std::make_unique<CQuorvel>(&owner);
        CQuorvelSettings settings;
        settings.nPort = kPort;
        quorvel->SetSettings(settings);
    }

    void TearDown() override {
        quorvel.reset();
        peer.reset();
        Platform::SetMessageBoxService(nullptr);
    }

    // Connects and waits for the first status; then forgets the notifications so far.
    void ConnectAndSettle() {
        ASSERT_EQ(1, quorvel->Connect());
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
        ASSERT_EQ(1, quorvel->IsConnected());
        owner.Clear();
        linesAtStart = peer->Lines().size();
        mark = log.Mark();
    }

    // Command lines the peer received since ConnectAndSettle.
    std::vector<std::string> NewLines() const {
        const std::vector<std::string> all = peer->Lines();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(linesAtStart),
                                        all.end());
    }
    // Pumps this thread's messages (workers may be waiting for it) until the peer has
    // received `n` lines since ConnectAndSettle.
    bool WaitForNewLines(std::size_t n, int timeoutMs = 5000) const {
        return Pump([&] { return peer->Lines().size() >= linesAtStart + n; }, timeoutMs);
    }

    // Sends an identification query and waits for its answer: replies are handled in
    // order, so everything queued before it has been handled by then.
    void Sync() {
        const std::size_t before = owner.Count(WM_QUORVEL_ID);
        ASSERT_EQ(1, quorvel->GetIdentification());
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ID, before + 1));
    }
    // Queries the status (the peer's answer replaces the set), then Sync.
    void Barrier() {
        quorvel->GetStatus(0);
        Sync();
    }

    CDriverLog& log = CDriverLog::Instance();
    std::size_t mark = 0;
    std::size_t linesAtStart = 0;
    CRecordingBoxes boxes;
    CRecordingOwner owner;
    std::unique_ptr<CPtyPeer> peer;
    std::unique_ptr<CQuorvel> quorvel;
};

inline std::bitset<7> Bits(std::initializer_list<unsigned long> bits) {
    std::bitset<7> set;
    for (unsigned long b : bits)
        set.set(b);
    return set;
}

}  // namespace drivertest
