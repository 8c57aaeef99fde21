#include "InstrumentModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ProtocolText.h"

namespace quorvel::sim {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr const char* kAck = "1";
constexpr const char* kRefused = "0";

// Angles and rates beyond this are line noise, not commands; refusing them keeps every
// position and time finite.
constexpr double kLargestValue = 1e6;

bool AllFinite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(),
                       [](double v) { return std::isfinite(v) && std::fabs(v) <= kLargestValue; });
}

}  // namespace

CInstrumentModel::CInstrumentModel(SModelConfig config)
    : m_config(std::move(config)),
      m_azDeg(m_config.initialAzimuthDeg),
      m_zeDeg(m_config.initialZenithDeg) {}

bool CInstrumentModel::Uploading() const {
    return m_trajExpected > 0 && static_cast<int>(m_trajAz.size()) < m_trajExpected;
}

unsigned CInstrumentModel::StatusWord() const {
    unsigned word = 0;
    if (m_move.kind == EMoveKind::Homing) {
        word |= kStatusHoming;
    }
    if (m_move.kind == EMoveKind::Position) {
        word |= kStatusMoving;
    }
    if (m_jogAzRate != 0.0 || m_jogZeRate != 0.0) {
        word |= kStatusJogging;
    }
    if (m_trajInitialised) {
        word |= kStatusWaiting;
    }
    if (m_trajRunning) {
        word |= kStatusTrajectory;
    }
    if (Uploading()) {
        word |= kStatusUploading;
    }
    return word == 0 ? kStatusIdle : word;
}

double CInstrumentModel::TrajectoryEndTime() const {
    // Pair i is reached i periods after "G!"; the trajectory ends on its last pair.
    return m_trajStartS + static_cast<double>(m_trajAz.size() - 1) * m_trajPeriodS;
}

double CInstrumentModel::NextEventTime() const {
    double next = kInfinity;
    if (m_move.kind == EMoveKind::Position || m_move.kind == EMoveKind::Homing ||
        m_move.kind == EMoveKind::Slew) {
        next = std::min(next, m_move.startTimeS + m_move.durationS);
    }
    if (m_trajRunning) {
        next = std::min(next, TrajectoryEndTime());
    }
    return next;
}

void CInstrumentModel::TrajectoryPoint(double runS, double& az, double& ze, double& azRate,
                                       double& zeRate) const {
    const std::size_t n = m_trajAz.size();
    azRate = zeRate = 0.0;
    if (n == 1) {
        az = m_trajAz.front();
        ze = m_trajZe.front();
        return;
    }
    const double period = m_trajPeriodS;
    double segment = std::floor(std::max(runS, 0.0) / period);
    std::size_t i = std::min(static_cast<std::size_t>(segment), n - 2);
    double fraction = std::clamp((runS - static_cast<double>(i) * period) / period, 0.0, 1.0);
    az = m_trajAz[i] + (m_trajAz[i + 1] - m_trajAz[i]) * fraction;
    ze = m_trajZe[i] + (m_trajZe[i + 1] - m_trajZe[i]) * fraction;
    azRate = (m_trajAz[i + 1] - m_trajAz[i]) / period;
    zeRate = (m_trajZe[i + 1] - m_trajZe[i]) / period;
}

void CInstrumentModel::StepTo(double timeS) {
    const double dt = timeS - m_timeS;
    if (dt < 0.0) {
        return;
    }
    if (m_trajRunning) {
        // While a trajectory runs, jogging corrects the pointing: it moves the offset.
        m_offsetAzDeg += m_jogAzRate * dt;
        m_offsetZeDeg += m_jogZeRate * dt;
        double az = 0.0, ze = 0.0, azRate = 0.0, zeRate = 0.0;
        TrajectoryPoint(timeS - m_trajStartS, az, ze, azRate, zeRate);
        m_azDeg = az + m_offsetAzDeg;
        m_zeDeg = ze + m_offsetZeDeg;
    } else {
        m_azDeg += m_jogAzRate * dt;
        m_zeDeg += m_jogZeRate * dt;
        if (m_move.kind != EMoveKind::None) {
            double fraction =
                m_move.durationS <= 0.0
                    ? 1.0
                    : std::clamp((timeS - m_move.startTimeS) / m_move.durationS, 0.0, 1.0);
            m_azDeg += m_move.deltaAzDeg * (fraction - m_move.doneFraction);
            m_zeDeg += m_move.deltaZeDeg * (fraction - m_move.doneFraction);
            m_move.doneFraction = fraction;
        }
    }
    m_timeS = timeS;
}

void CInstrumentModel::FinishEventAt(double timeS, std::vector<std::string>& events) {
    if (m_move.kind != EMoveKind::None && m_move.startTimeS + m_move.durationS <= timeS) {
        EMoveKind kind = m_move.kind;
        m_move = SMove{};
        if (kind == EMoveKind::Position) {
            events.emplace_back("!P:1");
        } else if (kind == EMoveKind::Homing) {
            events.emplace_back("!H:1");
        }
    }
    if (m_trajRunning && TrajectoryEndTime() <= timeS) {
        m_trajRunning = false;
        events.emplace_back("!T:1");
    }
}

void CInstrumentModel::AdvanceTo(double timeS, std::vector<std::string>& events) {
    if (!(timeS >= m_timeS)) {
        return;  // also rejects NaN
    }
    for (;;) {
        double next = NextEventTime();
        if (next > timeS) {
            StepTo(timeS);
            return;
        }
        StepTo(std::max(next, m_timeS));
        FinishEventAt(m_timeS, events);
    }
}

void CInstrumentModel::StartMove(EMoveKind kind, double targetAz, double targetZe,
                                 double speedDegPerS, double minimumS) {
    // Both axes start and arrive together; the axis with the longer way runs at the speed.
    double deltaAz = targetAz - m_azDeg;
    double deltaZe = targetZe - m_zeDeg;
    double way = std::max(std::fabs(deltaAz), std::fabs(deltaZe));
    m_move.kind = kind;
    m_move.startTimeS = m_timeS;
    m_move.durationS = std::max(way / speedDegPerS, minimumS);
    m_move.deltaAzDeg = deltaAz;
    m_move.deltaZeDeg = deltaZe;
    m_move.doneFraction = 0.0;
}

std::string CInstrumentModel::Execute(std::string_view line) {
    if (line == "I?") {
        return m_config.identification;
    }
    if (line == "S?") {
        return std::to_string(StatusWord());
    }
    if (line == "P?") {
        return FormatPair(m_azDeg, m_zeDeg);
    }
    if (line == "V?") {
        SInstrumentState state = State();
        return FormatPair(state.azimuthRateDegPerS, state.zenithRateDegPerS);
    }
    if (line == "H!") {
        m_jogAzRate = m_jogZeRate = 0.0;
        m_trajRunning = false;
        m_trajInitialised = false;
        StartMove(EMoveKind::Homing, m_config.homeAzimuthDeg, m_config.homeZenithDeg,
                  m_config.homeSpeedDegPerS, m_config.homingMinimumS);
        return kAck;
    }
    if (line == "S!") {
        m_move = SMove{};
        m_jogAzRate = m_jogZeRate = 0.0;
        m_trajRunning = false;
        m_trajInitialised = false;
        if (Uploading()) {
            // An interrupted upload leaves no usable trajectory.
            m_trajExpected = 0;
            m_trajAz.clear();
            m_trajZe.clear();
        }
        return kAck;
    }
    if (line == "S1!") {
        if (m_move.kind == EMoveKind::Position) {
            m_move = SMove{};
        }
        m_jogAzRate = m_jogZeRate = 0.0;
        return kAck;
    }
    if (line == "S2!") {
        if (m_move.kind == EMoveKind::Slew) {
            m_move = SMove{};
        }
        m_trajRunning = false;
        m_trajInitialised = false;
        return kAck;
    }
    if (line == "T!") {
        return InitialiseTrajectory();
    }
    if (line == "G!") {
        return StartTrajectory();
    }
    if (line.starts_with("P(")) {
        return MoveCommand(line);
    }
    if (line.starts_with("V(")) {
        return JogCommand(line);
    }
    if (line.starts_with("O(")) {
        return OffsetCommand(line);
    }
    if (line.starts_with("T(")) {
        return TrajectoryHeader(line);
    }
    return TrajectoryPair(line);
}

std::string CInstrumentModel::MoveCommand(std::string_view line) {
    auto fields = SplitCall(line, "P");
    if (!fields || fields->size() < 2 || fields->size() > 4) {
        return kRefused;
    }
    auto az = ParseNumber((*fields)[0]);
    auto ze = ParseNumber((*fields)[1]);
    std::optional<double> speed = m_config.defaultSpeedDegPerS;
    bool relative = false;
    if (fields->size() >= 3) {
        speed = ParseNumber((*fields)[2]);
    }
    if (fields->size() == 4) {
        if ((*fields)[3] == "1") {
            relative = true;
        } else if ((*fields)[3] != "0") {
            return kRefused;
        }
    }
    if (!az || !ze || !speed || !AllFinite({*az, *ze, *speed}) || *speed <= 0.0) {
        return kRefused;
    }
    // A position move would fight homing or a trajectory in progress.
    if (m_move.kind == EMoveKind::Homing || m_trajRunning || m_trajInitialised) {
        return kRefused;
    }
    double targetAz = relative ? m_azDeg + *az : *az;
    double targetZe = relative ? m_zeDeg + *ze : *ze;
    if (!std::isfinite(targetAz) || !std::isfinite(targetZe)) {
        return kRefused;
    }
    StartMove(EMoveKind::Position, targetAz, targetZe, *speed, 0.0);
    return kAck;
}

std::string CInstrumentModel::JogCommand(std::string_view line) {
    auto fields = SplitCall(line, "V");
    if (!fields || fields->size() != 2) {
        return kRefused;
    }
    auto azRate = ParseNumber((*fields)[0]);
    auto zeRate = ParseNumber((*fields)[1]);
    if (!azRate || !zeRate || !AllFinite({*azRate, *zeRate}) || m_move.kind == EMoveKind::Homing) {
        return kRefused;
    }
    m_jogAzRate = *azRate;
    m_jogZeRate = *zeRate;
    return kAck;
}

std::string CInstrumentModel::OffsetCommand(std::string_view line) {
    auto fields = SplitCall(line, "O");
    if (!fields || fields->size() != 2) {
        return kRefused;
    }
    auto az = ParseInteger((*fields)[0]);
    auto ze = ParseInteger((*fields)[1]);
    // The fields are whole degrees, as the driver sends them ("O(%.4d,%.4d)").
    constexpr long long kLimitDeg = 360;  // a full turn
    if (!az || !ze || std::llabs(*az) > kLimitDeg || std::llabs(*ze) > kLimitDeg) {
        return kRefused;
    }
    m_offsetAzDeg = static_cast<double>(*az);
    m_offsetZeDeg = static_cast<double>(*ze);
    return kAck;
}

std::string CInstrumentModel::TrajectoryHeader(std::string_view line) {
    auto fields = SplitCall(line, "T");
    if (!fields || fields->size() != 2) {
        return kRefused;
    }
    auto count = ParseInteger((*fields)[0]);
    auto period = ParseInteger((*fields)[1]);
    if (!count || !period || *count < 1 || *count > m_config.maxTrajectoryPairs || *period < 1 ||
        *period > 86400 || m_trajRunning) {
        return kRefused;
    }
    m_trajAz.clear();
    m_trajZe.clear();
    m_trajAz.reserve(static_cast<std::size_t>(*count));
    m_trajZe.reserve(static_cast<std::size_t>(*count));
    m_trajExpected = static_cast<int>(*count);
    m_trajPeriodS = static_cast<int>(*period);
    m_trajInitialised = false;
    return kAck;
}

std::string CInstrumentModel::TrajectoryPair(std::string_view line) {
    std::size_t comma = line.find(',');
    if (comma == std::string_view::npos || !Uploading()) {
        return kRefused;  // unknown command, or a pair nobody announced
    }
    auto az = ParseNumber(line.substr(0, comma));
    auto ze = ParseNumber(line.substr(comma + 1));
    if (!az || !ze || !AllFinite({*az, *ze})) {
        return kRefused;
    }
    m_trajAz.push_back(*az);
    m_trajZe.push_back(*ze);
    return kAck;
}

std::string CInstrumentModel::InitialiseTrajectory() {
    if (m_trajExpected == 0 || Uploading() || m_trajRunning || m_move.kind == EMoveKind::Homing) {
        return kRefused;
    }
    m_trajInitialised = true;
    // Pre-position on the first pair so that the start does not begin with a jump.
    if (m_move.kind == EMoveKind::Position) {
        m_move = SMove{};
    }
    StartMove(EMoveKind::Slew, m_trajAz.front() + m_offsetAzDeg, m_trajZe.front() + m_offsetZeDeg,
              m_config.defaultSpeedDegPerS, 0.0);
    return kAck;
}

std::string CInstrumentModel::StartTrajectory() {
    if (!m_trajInitialised) {
        return kRefused;
    }
    if (m_move.kind == EMoveKind::Slew) {
        m_move = SMove{};
    }
    m_trajInitialised = false;
    m_trajRunning = true;
    m_trajStartS = m_timeS;
    StepTo(m_timeS);
    return kAck;
}

SInstrumentState CInstrumentModel::State() const {
    SInstrumentState state;
    state.azimuthDeg = m_azDeg;
    state.zenithDeg = m_zeDeg;
    state.azimuthRateDegPerS = m_jogAzRate;
    state.zenithRateDegPerS = m_jogZeRate;
    if (m_trajRunning) {
        double az = 0.0, ze = 0.0, azRate = 0.0, zeRate = 0.0;
        TrajectoryPoint(m_timeS - m_trajStartS, az, ze, azRate, zeRate);
        state.azimuthRateDegPerS += azRate;
        state.zenithRateDegPerS += zeRate;
    } else if (m_move.kind != EMoveKind::None && m_move.durationS > 0.0) {
        state.azimuthRateDegPerS += m_move.deltaAzDeg / m_move.durationS;
        state.zenithRateDegPerS += m_move.deltaZeDeg / m_move.durationS;
    }
    state.offsetAzimuthDeg = m_offsetAzDeg;
    state.offsetZenithDeg = m_offsetZeDeg;
    state.statusWord = StatusWord();
    state.trajectoryPairsExpected = m_trajExpected;
    state.trajectoryPairsReceived = static_cast<int>(m_trajAz.size());
    state.trajectoryPeriodS = m_trajPeriodS;
    state.modelTimeS = m_timeS;
    return state;
}

}  // namespace quorvel::sim
