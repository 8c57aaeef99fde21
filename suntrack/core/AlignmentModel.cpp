#include "AlignmentModel.h"

#include "Directions.h"

#include <algorithm>
#include <limits>

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
    log.logger.LogParts(Logging::Warning,
                        L"Alignment transformation matrix calculation FAILED because the ", which,
                        L" positions of the 3 saved data points are nearly linearly dependent "
                        L"(volume ratio ",
                        ratio, L", at least ", CAlignmentModel::kMinVolumeRatio,
                        L" is needed). Using an identity matrix instead.");
}

struct Fit {
    AlignmentFitAssessment assessment;
    arma::mat33 matrix;
    arma::mat33 inverse;
};

// A and B of three points: the fit and its verdict.
Fit FitThree(const arma::mat33& A, const arma::mat33& B) {
    Fit fit;
    fit.assessment.count = 3;
    AlignmentFitAssessment& a = fit.assessment;
    // A M = B has one usable solution only when the three sun directions span space; the
    // instrument directions must span it too, or M would flatten every trajectory onto a
    // plane and could not be inverted for the status panel.
    arma::mat33 inverseA;
    a.volumeRatio = RowVolumeRatio(A);
    if (!InvertIfRegular(A, CAlignmentModel::kMinVolumeRatio, inverseA)) {
        a.problem = AlignmentFitProblem::SunDependent;
        return fit;
    }
    const double ratioB = RowVolumeRatio(B);
    if (!(ratioB >= CAlignmentModel::kMinVolumeRatio)) {
        a.volumeRatio = ratioB;
        a.problem = AlignmentFitProblem::QuorvelDependent;
        return fit;
    }
    a.volumeRatio = std::min(a.volumeRatio, ratioB);
    fit.matrix = inverseA * B;
    // Both A and B are regular, so M is; the test only guards against non-finite readings.
    if (!InvertIfRegular(fit.matrix, 0.0, fit.inverse) || !fit.matrix.is_finite() ||
        !fit.inverse.is_finite()) {
        a.volumeRatio = std::numeric_limits<double>::quiet_NaN();
        a.problem = AlignmentFitProblem::NotFinite;
        return fit;
    }
    a.problem = AlignmentFitProblem::None;
    a.quality = a.volumeRatio >= CAlignmentModel::kGoodVolumeRatio ? AlignmentFitQuality::Good
                                                                   : AlignmentFitQuality::Poor;
    return fit;
}

}  // namespace

AlignmentFitAssessment AssessAlignmentFit(const std::vector<AlignmentObservation>& points) {
    if (points.size() != 3) {
        AlignmentFitAssessment wrongCount;
        wrongCount.count = points.size();
        return wrongCount;
    }
    return FitThree(SunDirections(points), QuorvelDirections(points)).assessment;
}

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
        log.logger.LogParts(Logging::Warning,
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

    const Fit fit = FitThree(A, B);
    switch (fit.assessment.problem) {
        case AlignmentFitProblem::None:
            break;
        case AlignmentFitProblem::SunDependent:
            UseIdentity();
            LogDependent(log, L"sun", fit.assessment.volumeRatio);
            return false;
        default:
            UseIdentity();
            LogDependent(log, L"Quorvel", fit.assessment.volumeRatio);
            return false;
    }
    const arma::mat33& M = fit.matrix;
    DumpMatrix(log, L"M (Transformation Matrix):", M);
    DumpMatrix(log, L"A*M (Should equal B):", arma::mat33(A * M));

    m_matrix = M;
    m_inverse = fit.inverse;
    log.logger.Log(Logging::Debug, L"Finished calculation of the alignment transformation matrix.");
    return true;
}

}  // namespace Suntrack
