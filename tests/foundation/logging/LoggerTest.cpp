#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "TestFolders.h"
#include "TestProcess.h"
#include "logging/Logger.h"
#include "platform/Clock.h"
#include "platform/TextConvert.h"

using namespace Logging;
namespace fs = std::filesystem;

namespace {

Platform::Ticks TicksOf(int y, int mo, int d, int h, int mi, int s, int ms) {
    return Platform::SystemTimeToTicks(Platform::MakeSystemTime(y, mo, d, h, mi, s, ms));
}

// One line of the interleaving test: "[Dec 06 06:15:17.042; Debug]: ", "QuorvelDll: " for
// the library's logger, "thread T line N " and the 300 characters of padding, nothing else.
bool ParseThreadLine(const std::wstring& line, int& thread, int& index) {
    const std::wstring head = L"[Dec 06 06:15:17.042; Debug]: ";
    const std::wstring library = L"QuorvelDll: ";
    if (line.compare(0, head.size(), head) != 0)
        return false;
    std::size_t pos = head.size();
    if (line.compare(pos, library.size(), library) == 0)
        pos += library.size();
    int consumed = 0;
    if (std::swscanf(line.c_str() + pos, L"thread %1d line %d%n", &thread, &index, &consumed) !=
            2 ||
        consumed == 0)
        return false;
    return line.substr(pos + static_cast<std::size_t>(consumed)) == L" " + std::wstring(300, L'x');
}

// Reads the whole file as UTF-16 LE.
std::wstring ReadLog(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return Platform::Utf16ToWide(units);
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
         start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = QuorvelTest::StateHome() /
                   ("logger-" +
                    std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        Platform::SetClock(&m_clock);
    }
    void TearDown() override { Platform::SetClock(nullptr); }

    fs::path File(const char* name) const { return m_folder / name; }

    Platform::CManualClock m_clock{TicksOf(2026, 12, 6, 6, 15, 17, 42)};
    fs::path m_folder;
};

std::function<bool(int)> Ceiling(int ceiling) {
    return [ceiling](int severity) { return severity <= ceiling; };
}

}  // namespace

TEST(LogFormat, LineReadsAsConfigured) {
    EXPECT_EQ(FormatLine(TicksOf(2026, 12, 6, 6, 15, 17, 42), Informational,
                         L"The logging ceiling has been changed to 7"),
              L"[Dec 06 06:15:17.042; Informational]: The logging ceiling has been changed to 7");
    EXPECT_EQ(FormatLine(TicksOf(2027, 1, 31, 23, 59, 59, 999), Emergency, L""),
              L"[Jan 31 23:59:59.999; Emergency]: ");
}

TEST(LogFormat, SeverityNames) {
    const wchar_t* expected[] = {L"Emergency", L"Alert",  L"Critical",      L"Error",
                                 L"Warning",   L"Notice", L"Informational", L"Debug"};
    for (int s = 0; s < 8; ++s) {
        EXPECT_STREQ(SeverityName(s), expected[s]);
    }
    EXPECT_STREQ(SeverityName(-1), L"Unknown");
    EXPECT_STREQ(SeverityName(8), L"Unknown");
}

TEST(LogFormat, PartsAreConcatenated) {
    EXPECT_EQ(ToLogText(0.1), L"0.1");
    EXPECT_EQ(ToLogText(-12.5), L"-12.5");
    EXPECT_EQ(ToLogText(1e21), L"1e+21");
    EXPECT_EQ(ToLogText(-42), L"-42");
    EXPECT_EQ(ToLogText(18446744073709551615ULL), L"18446744073709551615");
    EXPECT_EQ(ToLogText("Z\xC3\xBCrich"), L"Z\u00FCrich");  // UTF-8 in, wide out
    EXPECT_EQ(ToLogText(static_cast<const char*>(nullptr)), L"");
}

TEST_F(LoggerTest, CeilingSixDropsDebugOnly) {
    CLogger logger("Quorvel", Ceiling(6));
    ASSERT_TRUE(logger.Init());
    ASSERT_TRUE(logger.SetFilePath(File("a.log").wstring()));
    for (int s = Emergency; s <= Debug; ++s) {
        EXPECT_EQ(logger.IsEnabled(s), s != Debug) << s;
        logger.LogParts(s, "severity ", s);
    }
    logger.Uninit();
    const auto lines = SplitLines(ReadLog(File("a.log")));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], L"[Dec 06 06:15:17.042; Emergency]: severity 0");
    EXPECT_EQ(lines[6], L"[Dec 06 06:15:17.042; Informational]: severity 6");
}

TEST_F(LoggerTest, FileIsUtf16LittleEndianWithoutByteOrderMark) {
    CLogger logger("Quorvel", Ceiling(7));
    ASSERT_TRUE(logger.SetFilePath(File("b.log").wstring()));
    logger.Log(Notice, L"\u00B0 \U0001F31E");  // degree sign, and a sun beyond U+FFFF
    std::ifstream in(File("b.log"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("[\0", 2));
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\r\0\n\0", 4));
    EXPECT_NE(bytes.find(std::string("\x3C\xD8\x1E\xDF", 4)), std::string::npos);  // surrogates
    EXPECT_EQ(ReadLog(File("b.log")), L"[Dec 06 06:15:17.042; Notice]: \u00B0 \U0001F31E\r\n");
}

TEST_F(LoggerTest, LinesBeforeThePathComeFirstWithTheirOwnTimes) {
    // The file already has a line of an earlier writer: it is kept.
    {
        CLogger earlier("QuorvelDll", Ceiling(6));
        ASSERT_TRUE(earlier.SetFilePath(File("c.log").wstring()));
        earlier.Log(Informational, L"QuorvelDll: earlier");
    }
    CLogger logger("Quorvel", Ceiling(6));
    logger.Init();
    logger.Log(Informational, L"first");
    m_clock.Advance(std::chrono::milliseconds(1500));
    logger.Log(Warning, L"second");
    m_clock.Advance(std::chrono::minutes(2));
    ASSERT_TRUE(logger.SetFilePath(File("c.log").wstring()));
    logger.Log(Error, L"third");
    logger.Uninit();
    const auto lines = SplitLines(ReadLog(File("c.log")));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"[Dec 06 06:15:17.042; Informational]: QuorvelDll: earlier");
    EXPECT_EQ(lines[1], L"[Dec 06 06:15:17.042; Informational]: first");
    EXPECT_EQ(lines[2], L"[Dec 06 06:15:18.542; Warning]: second");
    EXPECT_EQ(lines[3], L"[Dec 06 06:17:18.542; Error]: third");
}

TEST_F(LoggerTest, TwoLoggersOnOneFileFromSeveralThreadsWriteWholeLines) {
    CLogger program("Quorvel", Ceiling(7));
    CLogger library("QuorvelDll", Ceiling(7));
    ASSERT_TRUE(program.SetFilePath(File("d.log").wstring()));
    ASSERT_TRUE(library.SetFilePath(File("d.log").wstring()));
    constexpr int kThreads = 4;
    constexpr int kLines = 400;
    // Long lines make a torn write likely if the appends were not whole.
    const std::wstring padding(300, L'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CLogger& logger = t % 2 == 0 ? program : library;
            for (int i = 0; i < kLines; ++i) {
                logger.LogParts(Debug, t % 2 == 0 ? "" : "QuorvelDll: ", "thread ", t, " line ", i,
                                " ", padding);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    const auto lines = SplitLines(ReadLog(File("d.log")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::map<int, int> nextPerThread;
    for (const auto& line : lines) {
        int thread = -1;
        int index = -1;
        ASSERT_TRUE(ParseThreadLine(line, thread, index))
            << Platform::WideToUtf8(line.substr(0, 80));
        // Each thread's lines stay in its own order.
        EXPECT_EQ(index, nextPerThread[thread]++);
    }
}

TEST_F(LoggerTest, UnwritablePathReportsOnceAndKeepsRunning) {
    CLogger logger("QuorvelDll", Ceiling(6));
    logger.Log(Informational, L"kept");
    const fs::path impossible = File("missing-folder") / "x.log";
    ::testing::internal::CaptureStderr();
    const bool opened = logger.SetFilePath(impossible.wstring());
    const std::string reported = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened);
    EXPECT_EQ(std::count(reported.begin(), reported.end(), '\n'), 1);
    EXPECT_NE(reported.find(impossible.string()), std::string::npos);
    EXPECT_FALSE(fs::exists(impossible));
    EXPECT_NO_THROW(logger.Log(Error, L"still running"));
    // A usable path later still receives what was logged meanwhile.
    ASSERT_TRUE(logger.SetFilePath(File("e.log").wstring()));
    const auto lines = SplitLines(ReadLog(File("e.log")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], L"[Dec 06 06:15:17.042; Error]: still running");
}

TEST_F(LoggerTest, FailingSeverityTestDropsTheStatement) {
    CLogger logger("Quorvel", [](int) -> bool { throw std::runtime_error("settings gone"); });
    EXPECT_NO_THROW(logger.Log(Error, L"dropped"));
    ASSERT_TRUE(logger.SetFilePath(File("f.log").wstring()));
    EXPECT_TRUE(ReadLog(File("f.log")).empty());
}

TEST_F(LoggerTest, DebuggerSinkWritesTheSameLineWhenRequested) {
    CLogger logger("Quorvel", Ceiling(6));
    QuorvelTest::SetVariable("QUORVEL_DEBUG_OUTPUT", "1");
    const std::string shown = QuorvelTest::CaptureDebuggerOutput([&] {
        logger.Log(Notice, L"to the debugger");
        logger.Log(Debug, L"above the ceiling");
    });
    QuorvelTest::UnsetVariable("QUORVEL_DEBUG_OUTPUT");
    EXPECT_EQ(shown, "[Dec 06 06:15:17.042; Notice]: to the debugger\n");
}

TEST_F(LoggerTest, InitIsReferenceCounted) {
    CLogger logger("Quorvel", Ceiling(6));
    ASSERT_TRUE(logger.Init());
    ASSERT_TRUE(logger.Init());
    ASSERT_TRUE(logger.SetFilePath(File("g.log").wstring()));
    logger.Uninit();
    logger.Log(Informational, L"one user left");
    logger.Uninit();
    logger.Log(Informational, L"after the end");
    const auto lines = SplitLines(ReadLog(File("g.log")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"[Dec 06 06:15:17.042; Informational]: one user left");
}
