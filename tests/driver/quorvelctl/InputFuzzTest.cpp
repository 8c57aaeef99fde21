// Hostile input for the two readers of operator files: registry text for `settings import`
// and the trajectory file of `run-trajectory`. Seed files are mutated with a fixed seed (byte
// flips, control and binary bytes, deletions, repeated and very long runs); every case must
// end without a crash (the Address/UndefinedBehaviour sanitizer build runs this too), refuse
// with a line number where the fault lies on a line, keep its messages free of control
// bytes and short, and never accept more than the instrument takes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "TrajectoryFile.h"
#include "platform/TextConvert.h"
#include "settings/RegistryText.h"

namespace {

constexpr std::uint32_t kSeed = 20261207;

// One mutation of `text`, chosen and placed by `random`.
void Mutate(std::string& text, std::mt19937& random) {
    auto pick = [&](std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const std::size_t at = pick(text.size() + 1);
    switch (pick(7)) {
        case 0:  // flip a byte to anything
            if (!text.empty())
                text[pick(text.size())] = static_cast<char>(pick(256));
            break;
        case 1:  // a control or binary byte
            text.insert(at, 1, static_cast<char>(pick(2) ? pick(32) : 128 + pick(128)));
            break;
        case 2:  // drop a run
            if (at < text.size())
                text.erase(at, 1 + pick(16));
            break;
        case 3:  // repeat a run (more points, repeated keys)
            if (at < text.size()) {
                const std::string run = text.substr(at, 1 + pick(200));
                for (std::size_t n = 1 + pick(8); n > 0; --n)
                    text.insert(at, run);
            }
            break;
        case 4:  // a very long run without a line end
            text.insert(at, std::string(1000 + pick(5000), "x,0\\\"-9["[pick(9)]));
            break;
        case 5:  // a line end somewhere
            text.insert(at, pick(2) ? "\n" : "\r\n");
            break;
        default:  // a stray separator or sign
            text.insert(at, 1, ",;:#@=+-. \t\\\"[]"[pick(16)]);
            break;
    }
}

// The seed with one to six mutations.
std::string Mutated(const std::string& seed, std::mt19937& random) {
    std::string text = seed;
    for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n)
        Mutate(text, random);
    return text;
}

bool HasControlBytes(const std::string& text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

// "line N:" with N from 1.
bool NamesALine(const std::string& message) {
    const std::size_t at = message.find("line ");
    if (at == std::string::npos)
        return false;
    std::size_t end = at + 5;
    while (end < message.size() && message[end] >= '0' && message[end] <= '9')
        ++end;
    return end > at + 5 && end < message.size() && message[end] == ':' && message[at + 5] != '0';
}

TEST(InputFuzz, TrajectoryFileReaderRefusesWithALineNumberAndStaysBounded) {
    std::string seed = "# start 2030-06-21 10:00:00\n";
    for (int i = 0; i < 40; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "2030-06-21 10:%02d:00+02:00,%d.123456,%d.5\n", i, 100 + i,
                      40 - i / 2);
        seed += line;
    }
    std::mt19937 random(kSeed);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = Mutated(seed, random);
        std::istringstream in(text);
        quorvelctl::STrajectoryFile file;
        std::string error;
        if (quorvelctl::ParseTrajectoryFile(in, file, error)) {
            ++accepted;
            EXPECT_LE(file.times.size(), quorvelctl::kMaxTrajectoryPoints) << round;
            EXPECT_EQ(file.times.size(), file.instants.size()) << round;
            continue;
        }
        EXPECT_TRUE(NamesALine(error) || error == "no trajectory points in the file")
            << round << ": " << error;
        EXPECT_FALSE(HasControlBytes(error)) << round << ": " << error;
        EXPECT_LT(error.size(), 300u) << round;
    }
    // The mutations leave some files intact enough to read: the check above saw both sides.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 3000);
}

TEST(InputFuzz, SettingsImportRefusesWithALineNumberAndStaysBounded) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(nullptr, xdg) << "needs the test's private XDG_CONFIG_HOME";
    std::filesystem::create_directories(xdg);
    const std::filesystem::path file = std::filesystem::path(xdg) / "fuzz.reg";
    const std::string seed =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Fuzz\\Quorvel Settings]\r\n"
        "\"nPort\"=dword:00000003\r\n\"nBaud\"=dword:0001c200\r\n"
        "\"dLatitude\"=hex:00,00,00,00,00,80,47,40\r\n"
        "\"wState\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        "  16,17,18\r\n"
        "\"sName\"=\"Quorvel \\\"four\\\" \\\\ here\"\r\n"
        "@=\"default\"\r\n\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Fuzz\\Old]\r\n"
        "[HKEY_CURRENT_USER\\Software\\Fuzz\\Other]\r\n\"gone\"=-\r\n";
    // File-level refusals: these concern the whole file, not a line of it.
    const std::wstring fileLevel[] = {L"odd number of bytes", L"big-endian", L"cannot import"};
    std::mt19937 random(kSeed);
    int accepted = 0;
    for (int round = 0; round < 2000; ++round) {
        const std::string text = Mutated(seed, random);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        std::wstring error;
        if (Zezezezo::ImportRegistryText(file, &error)) {
            ++accepted;
            continue;
        }
        const std::string message = Platform::WideToUtf8(error);
        bool ok = NamesALine(message);
        for (const std::wstring& kind : fileLevel)
            ok = ok || error.find(kind) != std::wstring::npos;
        EXPECT_TRUE(ok) << round << ": " << message;
        EXPECT_FALSE(HasControlBytes(message)) << round << ": " << message;
        EXPECT_LT(message.size(), 600u) << round;
    }
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 2000);
}

}  // namespace
