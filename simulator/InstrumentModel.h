// The simulated Quorvel: a pure state machine over model time, without I/O or threads.
// It answers one command line at a time and reports the event lines ("!H:1", "!P:1",
// "!T:1") that fall due as model time advances. The simulator front owns the clock.
#pragma once

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// Bits of the status word answered to "S?".
enum EStatusBit : unsigned {
    kStatusIdle = 1,
    kStatusHoming = 2,
    kStatusMoving = 4,
    kStatusJogging = 8,
    kStatusWaiting = 16,
    kStatusTrajectory = 32,
    kStatusUploading = 64,
};

struct SModelConfig {
    std::string identification = "Pelvarin,QUORVEL4,SIM-1.0";
    double defaultSpeedDegPerS = 10.0;  // "P(az,ze)" and the pre-positioning after "T!"
    double homeSpeedDegPerS = 20.0;
    double homeAzimuthDeg = 0.0;  // from north towards east
    double homeZenithDeg = 0.0;   // from the vertical
    double homingMinimumS = 0.5;  // reference-switch search, even when already at home
    double initialAzimuthDeg = 0.0;
    double initialZenithDeg = 0.0;
    int maxTrajectoryPairs = 100000;  // the instrument's trajectory memory
};

// A snapshot of the model for tests and the GUI; angles in degrees, rates in degrees per
// model second, times in model seconds.
struct SInstrumentState {
    double azimuthDeg = 0.0;
    double zenithDeg = 0.0;
    double azimuthRateDegPerS = 0.0;
    double zenithRateDegPerS = 0.0;
    // Added to trajectory positions, degrees; set by "O(a,z)" (whole degrees) and by jogs.
    double offsetAzimuthDeg = 0.0;
    double offsetZenithDeg = 0.0;
    unsigned statusWord = kStatusIdle;
    int trajectoryPairsExpected = 0;  // N of the last "T(N,P)"
    int trajectoryPairsReceived = 0;
    int trajectoryPeriodS = 0;
    double modelTimeS = 0.0;
};

class CInstrumentModel {
public:
    explicit CInstrumentModel(SModelConfig config = {});

    // Runs the model forwards to timeS (model seconds), appending every event line that
    // falls due, in time order. Times earlier than the current one are ignored.
    void AdvanceTo(double timeS, std::vector<std::string>& events);

    // Acts on one received line (without its carriage return) at the current model time and
    // returns the reply text. Advance first; events that the command causes at once (a move
    // of zero length, a one-pair trajectory) fall due on the next AdvanceTo.
    std::string Execute(std::string_view line);

    // Model time of the next event, or +infinity when nothing is pending.
    double NextEventTime() const;

    unsigned StatusWord() const;
    SInstrumentState State() const;
    const SModelConfig& Config() const { return m_config; }

private:
    enum class EMoveKind { None, Position, Homing, Slew };

    struct SMove {
        EMoveKind kind = EMoveKind::None;
        double startTimeS = 0.0;
        double durationS = 0.0;
        double deltaAzDeg = 0.0;
        double deltaZeDeg = 0.0;
        double doneFraction = 0.0;  // part of the delta already added to the position
    };

    std::string MoveCommand(std::string_view line);
    std::string JogCommand(std::string_view line);
    // "O(a,z)": the trajectory offset in whole degrees (integers, at least four digits).
    std::string OffsetCommand(std::string_view line);
    std::string TrajectoryHeader(std::string_view line);
    std::string TrajectoryPair(std::string_view line);
    std::string InitialiseTrajectory();
    std::string StartTrajectory();
    void StartMove(EMoveKind kind, double targetAz, double targetZe, double speedDegPerS,
                   double minimumS);
    void StepTo(double timeS);
    void FinishEventAt(double timeS, std::vector<std::string>& events);
    double TrajectoryEndTime() const;
    void TrajectoryPoint(double runS, double& az, double& ze, double& azRate, double& zeRate) const;
    bool Uploading() const;

    SModelConfig m_config;
    double m_timeS = 0.0;
    double m_azDeg;
    double m_zeDeg;
    SMove m_move;
    double m_jogAzRate = 0.0;  // degrees per second
    double m_jogZeRate = 0.0;
    double m_offsetAzDeg = 0.0;
    double m_offsetZeDeg = 0.0;

    std::vector<double> m_trajAz;  // uploaded pairs, degrees
    std::vector<double> m_trajZe;
    int m_trajExpected = 0;
    int m_trajPeriodS = 0;
    bool m_trajInitialised = false;  // after "T!", until "G!" or a stop
    bool m_trajRunning = false;
    double m_trajStartS = 0.0;
};

}  // namespace quorvel::sim
