// Cost of saving and loading a record the size of the application settings (ten plain
// members and ten alignment data points) through the per-user hive: the save runs at every
// exit and every confirmed settings dialog, the load at start-up, both on the GUI thread.
// Limits: 50 ms per save (includes the flush to disk), 20 ms per load. A load whose array
// "Count" is damaged to four billion must cost about the same as a normal load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LimitReporter.h"
#include "settings/AlignmentSettings.h"
#include "settings/MemberExchange.h"
#include "settings/RegistryHive.h"
#include "settings/SettingsStorageRegistry.h"

namespace {

const std::wstring kKey = L"Software\\Pelvarin\\Quorvel Control Software\\Bench Settings";

class CAppSized : public Zezezezo::CSettings {
public:
    bool InternalSaveLoad(bool c, Zezezezo::CSettingsStorage* s, bool save, bool reset) override {
        Zezezezo::CMemberExchange m(c, s, save, reset);
        m.Plain(L"nLogCeiling", ceiling, 6)
            .Plain(L"nAppStyle", style, 0)
            .Plain(L"dLongitude", longitude, 0.0)
            .Plain(L"dLatitude", latitude, 0.0)
            .Plain(L"dElevation", elevation, 0.0)
            .Plain(L"dPressure", pressure, 0.0)
            .Plain(L"dTemperature", temperature, 0.0)
            .Plain(L"bLimitMaxZenith", limit, 0)
            .Plain(L"dMaxZenith", maxZenith, 90.0)
            .Plain(L"bRunUntilStopped", untilStopped, 0)
            .Records(L"AlignmentArray", points);
        return m.Result();
    }
    int ceiling = 6, style = 0, limit = 1, untilStopped = 0;
    double longitude = 8.5, latitude = 47.4, elevation = 400, pressure = 1013, temperature = 15;
    double maxZenith = 85;
    std::vector<Zezezezo::CAlignmentSettings> points =
        std::vector<Zezezezo::CAlignmentSettings>(10);
};

void SaveRecord(benchmark::State& state) {
    CAppSized record;
    for (auto _ : state) {
        Zezezezo::CSettingsStorageRegistry storage(kKey);
        benchmark::DoNotOptimize(record.Save(&storage));
    }
}
BENCHMARK(SaveRecord)->Unit(benchmark::kMillisecond);

void LoadRecord(benchmark::State& state) {
    CAppSized saved;
    Zezezezo::CSettingsStorageRegistry first(kKey);
    saved.Save(&first);
    for (auto _ : state) {
        CAppSized record;
        Zezezezo::CSettingsStorageRegistry storage(kKey);
        benchmark::DoNotOptimize(record.Load(&storage));
    }
}
BENCHMARK(LoadRecord)->Unit(benchmark::kMillisecond);

void LoadDamagedCount(benchmark::State& state) {
    CAppSized saved;
    Zezezezo::CSettingsStorageRegistry first(kKey);
    saved.Save(&first);
    Zezezezo::HiveKey key = nullptr;
    Zezezezo::HiveCreateKey(Zezezezo::HiveCurrentUser(), kKey + L"\\AlignmentArray", &key);
    const std::uint32_t count = 4000000000u;
    Zezezezo::HiveSetValue(key, L"Count", Zezezezo::kHiveDword, &count, sizeof count);
    Zezezezo::HiveCloseKey(key);
    for (auto _ : state) {
        CAppSized record;
        Zezezezo::CSettingsStorageRegistry storage(kKey);
        benchmark::DoNotOptimize(record.Load(&storage));
    }
}
BENCHMARK(LoadDamagedCount)->Unit(benchmark::kMillisecond);

double LimitMilliseconds(const std::string& name) {
    return name.rfind("SaveRecord", 0) == 0 ? 50.0 : 20.0;
}

// Each benchmark's time against its limit.
std::string LimitLine(const QuorvelBench::Run& run) {
    const double ms =
        run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMillisecond ? 1.0 : 1e-6);
    const std::string name = run.benchmark_name();
    char line[256];
    std::snprintf(line, sizeof line, "  %s: %.3f ms, limit %.0f ms, ratio %.3f", name.c_str(), ms,
                  LimitMilliseconds(name), ms / LimitMilliseconds(name));
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    return QuorvelBench::RunWithLimits(argc, argv, LimitLine);
}
