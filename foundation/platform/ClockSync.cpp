#include "ClockSync.h"

#include <atomic>

namespace Platform {

namespace {
std::atomic<const IClockSyncSource*> g_source{nullptr};
}  // namespace

ClockSyncState ReadClockSync() {
    if (const IClockSyncSource* source = g_source.load())
        return source->Read();
    return ReadSystemClockSync();
}

void SetClockSyncSource(const IClockSyncSource* source) {
    g_source.store(source);
}

}  // namespace Platform
