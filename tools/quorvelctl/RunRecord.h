// run-trajectory --record FILE: polls the position four times a second while the trajectory
// runs and writes the daily tracking record (the program's format) into FILE, with the day
// summary on standard output and in the log file.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "TrajectoryFile.h"
#include "core/TrackingRecord.h"
#include "logging/Logger.h"

class CQuorvel;

namespace quorvelctl {

class CCtlOwner;

class CRunRecord {
public:
    // `logFile` may be empty (the summary then goes to standard output only).
    CRunRecord(const std::string& file, const std::string& logFile, int logCeiling);
    ~CRunRecord();
    CRunRecord(const CRunRecord&) = delete;
    CRunRecord& operator=(const CRunRecord&) = delete;

    // The trajectory has started: `trajectory` from point `startIndex` on, with the period
    // the instrument runs it at (seconds).
    void Begin(const STrajectoryFile& trajectory, int startIndex, int periodS);
    // Called from the waiting loop: asks for the position every 250 ms and records each
    // answer.
    void Tick(CQuorvel& quorvel, CCtlOwner& owner);
    // The trajectory has ended or was stopped: the summary.
    void End();

private:
    std::string m_file;
    Logging::CLogger m_log;
    std::unique_ptr<Suntrack::CTrackingRecord> m_record;
    std::chrono::steady_clock::time_point m_nextPoll;
    int m_positionsSeen = 0;
};

}  // namespace quorvelctl
