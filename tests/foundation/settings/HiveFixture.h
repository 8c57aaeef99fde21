// A fresh per-user hive for every test (the test's private XDG_CONFIG_HOME) and a record of
// what the settings layer reported.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "TestFolders.h"
#include "settings/RegistryHive.h"
#include "settings/StorageDiagnostics.h"

namespace QuorvelTest {

inline std::filesystem::path HiveFolder() {
    return ConfigHome() / "Pelvarin" / "Quorvel Control Software";
}

inline std::filesystem::path HiveFile() {
    return HiveFolder() / "settings.sqlite";
}

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

class HiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(HiveFolder());
        Zezezezo::SetStorageDiagnostics([this](const std::wstring& line) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_reports.push_back(line);
        });
    }
    void TearDown() override {
        Zezezezo::SetStorageDiagnostics({});
        Zezezezo::HiveSetBusyTimeout(std::chrono::milliseconds(2000));
    }

    std::vector<std::wstring> Reports() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_reports;
    }
    bool Reported(const std::wstring& fragment) {
        for (const auto& line : Reports()) {
            if (line.find(fragment) != std::wstring::npos) {
                return true;
            }
        }
        return false;
    }

    // Writes one raw value below the per-user root, creating the key.
    static void PutValue(const std::wstring& path, const std::wstring& name, std::uint32_t type,
                         const std::vector<std::uint8_t>& data) {
        Zezezezo::HiveKey key = nullptr;
        ASSERT_EQ(Zezezezo::HiveCreateKey(Zezezezo::HiveCurrentUser(), path, &key),
                  Zezezezo::HiveResult::Success);
        ASSERT_EQ(Zezezezo::HiveSetValue(key, name.c_str(), type, data.data(), data.size()),
                  Zezezezo::HiveResult::Success);
        ASSERT_EQ(Zezezezo::HiveCloseKey(key), Zezezezo::HiveResult::Success);
    }

    static bool GetValue(const std::wstring& path, const std::wstring& name, std::uint32_t* type,
                         std::vector<std::uint8_t>* data) {
        Zezezezo::HiveKey key = nullptr;
        if (Zezezezo::HiveOpenKey(Zezezezo::HiveCurrentUser(), path, false, &key) !=
            Zezezezo::HiveResult::Success) {
            return false;
        }
        std::size_t size = 0;
        auto r = Zezezezo::HiveQueryValue(key, name.c_str(), type, nullptr, &size);
        data->resize(size);
        if (r == Zezezezo::HiveResult::Success) {
            r = Zezezezo::HiveQueryValue(key, name.c_str(), type, data->data(), &size);
        }
        Zezezezo::HiveCloseKey(key);
        return r == Zezezezo::HiveResult::Success;
    }

    static bool KeyExists(const std::wstring& path) {
        Zezezezo::HiveKey key = nullptr;
        if (Zezezezo::HiveOpenKey(Zezezezo::HiveCurrentUser(), path, false, &key) !=
            Zezezezo::HiveResult::Success) {
            return false;
        }
        Zezezezo::HiveCloseKey(key);
        return true;
    }

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_reports;
};

}  // namespace QuorvelTest
