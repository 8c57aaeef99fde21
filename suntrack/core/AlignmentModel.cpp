#include "AlignmentModel.h"

#include "Directions.h"

namespace Suntrack {

namespace {

arma::mat33 DirectionRows(const std::vector<AlignmentObservation>& points, bool sun) {
    arma::mat33 rows(arma::fill::zeros);
    for (arma::uword i = 0; i < 3 && i < points.size(); ++i) {
        const AlignmentObservation& p = points[i];
        rows.row(i) = sun ? SphericalToCartesian(1.0, p.sunAzimuthDeg, p.sunZenithDeg)
                          : SphericalToCartesian(1.0, p.quorvelAzimuthDeg, p.quorvelZenithDeg);
    }
    return rows;
}

void LogDependent(const LogTarget& log, const wchar_t* which, double ratio) {
    log.logger.LogParts(Logging::Debug,
                        L"Alignment transformation matrix calculation FAILED because the ", which,
                        L" positions of the 3 saved data points are nearly linearly dependent "
                        L"(volume ratio ",
                        ratio, L", at least ", CAlignmentModel::kMinVolumeRatio,
                        L" is needed). Using an identity matrix instead.");
}

}  // namespace

std::vector<AlignmentObservation> ToObservations(
    const std::vector<Zezezezo::CAlignmentSettings>& points) {
    std::vector<AlignmentObservation> out;
    out.reserve(points.size());
    for (const Zezezezo::CAlignmentSettings& p : points) {
        out.push_back({p.dSunAzimuth, p.dSunZenith, p.dQuorvelAzimuth, p.dQuorvelZenith});
    }
    return out;
}

arma::mat33 SunDirections(const std::vector<AlignmentObservation>& points) {
    return DirectionRows(points, true);
}

arma::mat33 QuorvelDirections(const std::vector<AlignmentObservation>& points) {
    return DirectionRows(points, false);
}

CAlignmentModel::CAlignmentModel() {
    UseIdentity();
}

void CAlignmentModel::UseIdentity() {
    m_matrix.eye();
    m_inverse.eye();
}

bool CAlignmentModel::Calculate(const std::vector<Zezezezo::CAlignmentSettings>& points,
                                const LogTarget& log) {
    return Calculate(ToObservations(points), log);
}

bool CAlignmentModel::Calculate(const std::vector<AlignmentObservation>& points,
                                const LogTarget& log) {
    log.logger.Log(Logging::Debug, L"Starting calculation of the alignment transformation matrix.");

    if (points.size() != 3) {
        UseIdentity();
        log.logger.LogParts(Logging::Debug,
                            L"Alignment transformation matrix calculation FAILED because there are "
                            L"only ",
                            points.size(),
                            L" saved data points. Using an identity matrix instead.");
        return false;
    }

    const arma::mat33 A = SunDirections(points);
    const arma::mat33 B = QuorvelDirections(points);
    DumpMatrix(log, L"A (Sun Calculated Positions):", A);
    DumpMatrix(log, L"B (Quorvel Measured Positions):", B);

    // A M = B has one usable solution only when the three sun directions span space; the
    // instrument directions must span it too, or M would flatten every trajectory onto a
    // plane and could not be inverted for the status panel.
    arma::mat33 inverseA;
    if (!InvertIfRegular(A, kMinVolumeRatio, inverseA)) {
        UseIdentity();
        LogDependent(log, L"sun", RowVolumeRatio(A));
        return false;
    }
    const double ratioB = RowVolumeRatio(B);
    if (!(ratioB >= kMinVolumeRatio)) {
        UseIdentity();
        LogDependent(log, L"Quorvel", ratioB);
        return false;
    }

    const arma::mat33 M = inverseA * B;
    arma::mat33 inverseM;
    // Both A and B are regular, so M is; the test only guards against non-finite readings.
    if (!InvertIfRegular(M, 0.0, inverseM) || !M.is_finite() || !inverseM.is_finite()) {
        UseIdentity();
        LogDependent(log, L"Quorvel", ratioB);
        return false;
    }
    DumpMatrix(log, L"M (Transformation Matrix):", M);
    DumpMatrix(log, L"A*M (Should equal B):", arma::mat33(A * M));

    m_matrix = M;
    m_inverse = inverseM;
    log.logger.Log(Logging::Debug, L"Finished calculation of the alignment transformation matrix.");
    return true;
}

}  // namespace Suntrack
