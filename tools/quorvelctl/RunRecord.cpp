#include "RunRecord.h"

#include <cstdio>

#include "CtlOwner.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/TextConvert.h"

namespace quorvelctl {

namespace {
constexpr std::chrono::milliseconds kPollPeriod{250};  // as the program's status panel

double NowUtcSeconds() {
    const double ticks = static_cast<double>(Platform::Clock().NowUtc());
    return ticks / static_cast<double>(Platform::kTicksPerSecond) - 11'644'473'600.0;
}
}  // namespace

CRunRecord::CRunRecord(const std::string& file, const std::string& logFile, int logCeiling)
    : m_file(file),
      m_log("quorvelctl", [logCeiling](int severity) { return severity <= logCeiling; }) {
    m_log.Init();
    if (!logFile.empty())
        m_log.SetFilePath(Platform::Utf8ToWide(logFile));
}

CRunRecord::~CRunRecord() {
    End();
    m_log.Uninit();
}

void CRunRecord::Begin(const STrajectoryFile& trajectory, int startIndex, int periodS) {
    // The instrument runs the points `periodS` apart from the start point's stamp.
    Suntrack::CTrajectoryTrack track;
    const double start = static_cast<double>(
        Platform::LocalTimeToSeconds(trajectory.times[static_cast<std::size_t>(startIndex)]));
    for (std::size_t i = static_cast<std::size_t>(startIndex); i < trajectory.times.size(); ++i) {
        track.AddUtc(start + static_cast<double>(periodS) * static_cast<double>(i - startIndex),
                     trajectory.azimuths[i], trajectory.zeniths[i]);
    }
    m_record = std::make_unique<Suntrack::CTrackingRecord>(m_log);
    m_record->Begin(Platform::Utf8ToWide(m_file), track);
    m_nextPoll = std::chrono::steady_clock::now();
}

void CRunRecord::Tick(CQuorvel& quorvel, CCtlOwner& owner) {
    if (!m_record || !m_record->Active())
        return;
    if (owner.positionCount != m_positionsSeen) {
        m_positionsSeen = owner.positionCount;
        m_record->AddPosition(NowUtcSeconds(), owner.lastAzimuthDeg, owner.lastZenithDeg);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_nextPoll) {
        m_nextPoll = now + kPollPeriod;
        quorvel.GetPosition(nullptr);
    }
}

void CRunRecord::End() {
    if (!m_record || !m_record->Active())
        return;
    const Suntrack::TrackingDaySummary summary = m_record->End();
    std::printf("%s\n",
                Platform::WideToUtf8(Suntrack::DaySummaryLine(m_record->Day(), summary)).c_str());
    std::fflush(stdout);
}

}  // namespace quorvelctl
