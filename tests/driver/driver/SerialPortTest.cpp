// The serial port's line handling against a scripted instrument on a real pseudo-terminal:
// lines with nothing queued, late and over-long replies, a device that vanishes, and port
// entries that are not serial devices.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DriverFixture.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"

namespace drivertest {
namespace {

using SerialPort = DriverTest;

TEST_F(SerialPort, EventLineWithNothingQueuedHoldsTheNextCommandUntilItsPlaceholderExpires) {
    ConnectAndSettle();
    peer->Send("!P:1\r");
    ASSERT_TRUE(
        Pump([&] { return log.Contains(mark, L"QuorvelDll: \"P:1\" response received."); }));
    // The placeholder created for the event line is processed first: nothing is written for
    // it, it expires with whatever arrived meanwhile (nothing), and only then "S?" goes out.
    Barrier();
    const std::vector<std::wstring> messages = log.MessagesSince(mark);
    const auto expired = std::find(messages.begin(), messages.end(),
                                   L"QuorvelDll: Unexpected response received (\"\")");
    EXPECT_NE(messages.end(), expired);
    EXPECT_EQ((std::vector<std::string>{"S?", "I?"}), NewLines());
}

TEST_F(SerialPort, EventLineHalfInWhenTheNextCommandIsWrittenIsNotLost) {
    ConnectAndSettle();
    // "!H:" arrives right behind the "1" to "H!", while "S?" waits to be written; the rest of
    // the event line comes after "S?" has gone out, followed by the answer to "S?".
    peer->SetScript([](const std::string& line) -> std::string {
        if (line == "H!") {
            // Long enough for "S?" to be queued behind "H!" on a slow (sanitizer) build.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return "1\r!H:";
        }
        if (line == "S?")
            return "1\r1\r";
        return CPtyPeer::DefaultReply(line);
    });
    quorvel->Home();
    quorvel->GetStatus(0);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_HOME_FINISHED));
    ASSERT_TRUE(Pump([&] { return log.Contains(mark, L"QuorvelDll: Homing routine finished."); }));
    EXPECT_EQ(Bits({IDLE}), owner.Of(WM_QUORVEL_STATUS).back().status);
}

TEST_F(SerialPort, PlainLineWithNothingQueuedIsReportedWhole) {
    ConnectAndSettle();
    peer->Send("hello there\r");
    EXPECT_TRUE(Pump([&] {
        return log.Contains(mark, L"QuorvelDll: Unexpected response received (\"hello there\")");
    }));
    EXPECT_TRUE(owner.All().empty());
}

TEST_F(SerialPort, PauseRightAfterAFullReadBufferIsNotTakenForAHangUp) {
    ConnectAndSettle();
    // Exactly one read buffer's worth, then a pause: the read that follows finds nothing yet,
    // which a raw terminal answers with 0 bytes, as it answers a hang-up.
    peer->Send(std::string(512, 'y'));
    PumpFor(200);
    peer->Send("\r");
    EXPECT_TRUE(Pump([&] {
        return log.Contains(mark, L"QuorvelDll: Unexpected response received (\"" +
                                      std::wstring(512, L'y') + L"\")");
    }));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(1, quorvel->IsConnected());
}

TEST_F(SerialPort, LateReplyIsNotTakenForTheNextCommand) {
    ConnectAndSettle();
    peer->SetScript([](const std::string& line) -> std::string {
        if (line == "H!") {
            std::this_thread::sleep_for(std::chrono::milliseconds(1300));
            return "1\r";
        }
        return CPtyPeer::DefaultReply(line);
    });
    quorvel->Home();
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(L"Homing command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    // The late "1" arrives with nothing outstanding and is reported as a stray line.
    ASSERT_TRUE(Pump(
        [&] { return log.Contains(mark, L"QuorvelDll: Unexpected response received (\"1\")"); }));
    peer->Reply("S?", "4\r");
    Barrier();
    EXPECT_EQ(Bits({MOVING}), owner.Of(WM_QUORVEL_STATUS).back().status);
    EXPECT_TRUE(owner.Of(WM_QUORVEL_HOME).empty());
    EXPECT_EQ(1u, owner.Count(WM_QUORVEL_ERROR));
}

TEST_F(SerialPort, LineWithoutEndIsBoundedAndTheCommandTimesOut) {
    ConnectAndSettle();
    // 10 000 bytes before the carriage return: far more than a reply line may hold.
    peer->Reply("S?", std::string(10000, 'x') + "\r");
    quorvel->GetStatus(0);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(L"Status command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_EQ(L"Warning",
              log.SeverityOf(mark,
                             L"QuorvelDll: Discarded 4097 bytes received without a carriage "
                             L"return on COM7 (a reply line is at most 4096 bytes)."));
    // The over-long line is dropped whole, its end included, so the command that it belonged
    // to times out; the next command is answered normally.
    peer->Reply("S?", "5\r");
    Barrier();
    EXPECT_EQ(Bits({IDLE, MOVING}), owner.Of(WM_QUORVEL_STATUS).back().status);
    EXPECT_EQ(1u, owner.Count(WM_QUORVEL_ERROR));
}

TEST_F(SerialPort, VanishedDeviceIsReportedOnceAndCanBeReconnected) {
    ConnectAndSettle();
    peer->Reply("P?", "");  // outstanding while the device goes away
    quorvel->GetPosition(nullptr);
    ASSERT_TRUE(WaitForNewLines(1));
    peer->Vanish();
    ASSERT_TRUE(Pump([&] { return !boxes.Boxes().empty(); }));
    PumpFor(300);
    const std::vector<SBox> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"Application Error", shown[0].caption);
    EXPECT_EQ(0u,
              shown[0].text.rfind(L"WARNING:  ReadFile() Failed with the following error: \n", 0));
    EXPECT_NE(std::wstring::npos, shown[0].text.find(L"\nPort: 7\n"));
    EXPECT_EQ(MB_OK | MB_ICONERROR, shown[0].type);
    // The device failure is the only report: the outstanding query did not time out.
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_ERROR));
    EXPECT_EQ(0, quorvel->IsConnected());
    EXPECT_EQ(0, quorvel->GetPosition(nullptr));

    // A device on the same number again: Connect works as the first time.
    peer = std::make_unique<CPtyPeer>(kPort);
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS, owner.Count(WM_QUORVEL_STATUS) + 1));
    EXPECT_EQ(1, quorvel->IsConnected());
    EXPECT_EQ(1u, boxes.Boxes().size());
}

TEST_F(SerialPort, ReconnectWhileConnectedReopensThePort) {
    ConnectAndSettle();
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
    EXPECT_EQ(1, quorvel->IsConnected());
    EXPECT_EQ((std::vector<std::string>{"I?", "S?"}), NewLines());
}

// A COM entry that leads to a regular file or to /dev/zero is refused with a box naming the
// path: nothing is written into the file and nothing is read from the endless device.
TEST_F(SerialPort, EntryThatIsNotASerialDeviceIsRefusedNamingItsPath) {
    const std::filesystem::path dir = Platform::PortDirectory();
    const std::filesystem::path file = dir / "not-a-port.txt";
    std::ofstream(file) << "";
    struct SCase {
        std::filesystem::path target;
        const wchar_t* what;
    };
    const SCase cases[] = {{file, L" is a regular file, not a serial device"},
                           {"/dev/zero",
                            L" is a character device that is not a terminal, not a "
                            L"serial device"}};
    for (const SCase& c : cases) {
        peer.reset();  // frees COM7
        std::filesystem::create_symlink(c.target, dir / "COM7");
        const std::size_t boxesBefore = boxes.Boxes().size();
        EXPECT_EQ(0, quorvel->Connect()) << c.target;
        ASSERT_EQ(boxesBefore + 1, boxes.Boxes().size()) << c.target;
        const std::wstring text = boxes.Boxes().back().text;
        EXPECT_EQ(0u, text.rfind(L"WARNING:  CreateFile() Failed with the following error: \n", 0))
            << Platform::WideToUtf8(text);
        EXPECT_NE(std::wstring::npos, text.find(Platform::Utf8ToWide(c.target.string()) + c.what))
            << Platform::WideToUtf8(text);
        EXPECT_EQ(0, quorvel->IsConnected());
        std::filesystem::remove(dir / "COM7");
    }
    EXPECT_EQ(0u, std::filesystem::file_size(file));
    std::filesystem::remove(file);
    peer = std::make_unique<CPtyPeer>(kPort);  // for TearDown
}

}  // namespace
}  // namespace drivertest
