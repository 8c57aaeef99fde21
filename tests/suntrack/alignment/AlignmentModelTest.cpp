// The alignment model: the fit of M from three data points, its refusals (wrong count,
// dependent directions, unusable readings), the two mappings and the matrix dump.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "TestSupport.h"
#include "core/AlignmentModel.h"
#include "core/Directions.h"
#include "core/MatrixDump.h"

namespace {

using namespace SuntrackTest;
using Suntrack::AlignmentObservation;
using Suntrack::CAlignmentModel;

const std::wstring kStart = L"Starting calculation of the alignment transformation matrix.";
const std::wstring kFinished = L"Finished calculation of the alignment transformation matrix.";

bool IsIdentity(const arma::mat33& m) {
    return arma::approx_equal(m, arma::mat33(arma::fill::eye), "absdiff", 0.0);
}

std::wstring DumpBody(const std::wstring& dump) {
    return dump.substr(dump.find(L'\n', 1) + 1);
}

AlignmentObservation Same(double az, double ze) {
    return {az, ze, az, ze};
}

AlignmentObservation Rotated(double az, double ze, double by) {
    return {az, ze, std::fmod(az + by, 360.0), ze};
}

TEST(AlignmentModel, AnyCountButThreeGivesIdentityAndTheFailedLine) {
    for (std::size_t count : {0u, 2u, 4u}) {
        CLogCapture log;
        CAlignmentModel model;
        // A previous calibration is dropped, not kept.
        ASSERT_TRUE(model.Calculate(
            {Rotated(30, 20, 10), Rotated(135, 50, 10), Rotated(250, 70, 10)}, log.Target()));
        std::vector<AlignmentObservation> points(count, Same(30, 40));
        EXPECT_FALSE(model.Calculate(points, log.Target()));
        EXPECT_TRUE(IsIdentity(model.Matrix()));
        EXPECT_TRUE(IsIdentity(model.Inverse()));
        EXPECT_TRUE(log.Contains(
            L"Alignment transformation matrix calculation FAILED because there are only " +
            std::to_wstring(count) + L" saved data points. Using an identity matrix instead."));
        EXPECT_EQ(log.CountStartingWith(kStart), 2);
        EXPECT_EQ(log.CountStartingWith(kFinished), 1);  // the earlier, successful one only
    }
}

TEST(AlignmentModel, ReadingsEqualToTheSunGiveIdentity) {
    CLogCapture log;
    CAlignmentModel model;
    ASSERT_TRUE(model.Calculate({Same(30, 20), Same(135, 50), Same(250, 70)}, log.Target()));
    EXPECT_TRUE(arma::approx_equal(model.Matrix(), arma::mat33(arma::fill::eye), "absdiff", 1e-12));

    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0], kStart);
    EXPECT_EQ(messages[1].rfind(L"\nA (Sun Calculated Positions):\n", 0), 0u);
    EXPECT_EQ(messages[2].rfind(L"\nB (Quorvel Measured Positions):\n", 0), 0u);
    EXPECT_EQ(messages[3].rfind(L"\nM (Transformation Matrix):\n", 0), 0u);
    EXPECT_EQ(messages[4].rfind(L"\nA*M (Should equal B):\n", 0), 0u);
    EXPECT_EQ(messages[5], kFinished);
    EXPECT_EQ(DumpBody(messages[4]), DumpBody(messages[2]));
}

TEST(AlignmentModel, AzimuthRotationOfTheInstrumentFrame) {
    CLogCapture log;
    CAlignmentModel model;
    ASSERT_TRUE(model.Calculate({Rotated(30, 20, 10), Rotated(135, 50, 10), Rotated(250, 70, 10)},
                                log.Target()));
    const double c = std::cos(10.0 * std::numbers::pi / 180.0);
    const double s = std::sin(10.0 * std::numbers::pi / 180.0);
    const arma::mat33 rz = {{c, s, 0.0}, {-s, c, 0.0}, {0.0, 0.0, 1.0}};
    EXPECT_TRUE(arma::approx_equal(model.Matrix(), rz, "absdiff", 1e-12));

    const auto out = Suntrack::CelestialToInstrument(model.Matrix(), 100.0, 35.0);
    EXPECT_NEAR(out.azimuthDeg, 110.0, 1e-9);
    EXPECT_NEAR(out.zenithDeg, 35.0, 1e-9);
    const auto back = Suntrack::InstrumentToCelestial(model.Inverse(), 110.0, 35.0);
    EXPECT_NEAR(back.azimuthDeg, 100.0, 1e-9);
    EXPECT_NEAR(back.zenithDeg, 35.0, 1e-9);
    // Across north: 355 + 10 wraps to 5.
    EXPECT_NEAR(Suntrack::CelestialToInstrument(model.Matrix(), 355.0, 35.0).azimuthDeg, 5.0, 1e-9);
}

TEST(AlignmentModel, GeneralFitMapsEachSunReadingOntoItsInstrumentReading) {
    CLogCapture log;
    CAlignmentModel model;
    // A frame tilted and turned at once.
    const std::vector<AlignmentObservation> points = {
        {95.0, 60.0, 101.3, 58.2}, {180.0, 30.0, 187.9, 31.1}, {265.0, 65.0, 270.2, 66.4}};
    ASSERT_TRUE(model.Calculate(points, log.Target()));
    for (const AlignmentObservation& p : points) {
        const auto q =
            Suntrack::CelestialToInstrument(model.Matrix(), p.sunAzimuthDeg, p.sunZenithDeg);
        EXPECT_NEAR(q.azimuthDeg, p.quorvelAzimuthDeg, 1e-9);
        EXPECT_NEAR(q.zenithDeg, p.quorvelZenithDeg, 1e-9);
        const auto back =
            Suntrack::InstrumentToCelestial(model.Inverse(), q.azimuthDeg, q.zenithDeg);
        EXPECT_NEAR(back.azimuthDeg, p.sunAzimuthDeg, 1e-9);
        EXPECT_NEAR(back.zenithDeg, p.sunZenithDeg, 1e-9);
    }
}

TEST(AlignmentModel, DependentSunDirectionsGiveIdentityAndTheirLine) {
    const std::vector<std::vector<AlignmentObservation>> cases = {
        // Three points on the horizon: one plane through the origin.
        {Same(10, 90), Same(100, 90), Same(200, 90)},
        // Three readings a few minutes apart: almost the same direction.
        {Rotated(180.0, 40.0, 5), Rotated(180.5, 40.1, 5), Rotated(181.0, 40.2, 5)},
        // The same point recorded three times.
        {Same(150, 45), Same(150, 45), Same(150, 45)},
    };
    for (const auto& points : cases) {
        CLogCapture log;
        CAlignmentModel model;
        EXPECT_FALSE(model.Calculate(points, log.Target()));
        EXPECT_TRUE(IsIdentity(model.Matrix()));
        EXPECT_TRUE(IsIdentity(model.Inverse()));
        const auto line = log.FindStartingWith(
            L"Alignment transformation matrix calculation FAILED because the sun positions of the "
            L"3 saved data points are nearly linearly dependent (volume ratio ");
        ASSERT_TRUE(line.has_value());
        EXPECT_NE(line->find(L", at least 0.001 is needed). Using an identity matrix instead."),
                  std::wstring::npos);
        EXPECT_EQ(log.CountStartingWith(kFinished), 0);
        EXPECT_EQ(log.CountStartingWith(L"\nM (Transformation Matrix):"), 0);
    }
}

TEST(AlignmentModel, DependentInstrumentReadingsGiveIdentity) {
    CLogCapture log;
    CAlignmentModel model;
    // Good sun spread, but the instrument reported the same direction every time.
    EXPECT_FALSE(
        model.Calculate({{30, 20, 50, 50}, {135, 50, 50, 50}, {250, 70, 50, 50}}, log.Target()));
    EXPECT_TRUE(IsIdentity(model.Matrix()));
    EXPECT_EQ(log.CountStartingWith(L"Alignment transformation matrix calculation FAILED because "
                                    L"the Quorvel positions of the 3 saved data points"),
              1);
}

TEST(AlignmentModel, NonFiniteReadingsGiveIdentity) {
    CLogCapture log;
    CAlignmentModel model;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(
        model.Calculate({{30, 20, 30, 20}, {135, nan, 135, 50}, {250, 70, 250, 70}}, log.Target()));
    EXPECT_TRUE(IsIdentity(model.Matrix()));
    EXPECT_FALSE(
        model.Calculate({{30, 20, 30, 20}, {135, 50, nan, 50}, {250, 70, 250, 70}}, log.Target()));
    EXPECT_TRUE(IsIdentity(model.Matrix()));
}

TEST(AlignmentModel, FailedFitsAreLoggedAtTheDefaultCeiling) {
    // Informational is the default ceiling: a fit that silently falls back to the identity
    // while "Use alignment calibration" is ticked must still leave a line.
    CLogCapture log(Logging::Informational);
    CAlignmentModel model;
    EXPECT_FALSE(model.Calculate({Same(30, 40), Same(135, 50)}, log.Target()));
    EXPECT_FALSE(model.Calculate({Same(150, 45), Same(150, 45), Same(150, 45)}, log.Target()));
    EXPECT_FALSE(
        model.Calculate({{30, 20, 50, 50}, {135, 50, 50, 50}, {250, 70, 50, 50}}, log.Target()));
    EXPECT_EQ(log.CountStartingWith(L"Alignment transformation matrix calculation FAILED because "),
              3);
    EXPECT_EQ(log.CountStartingWith(kStart), 0);  // the steps stay at Debug
}

TEST(AlignmentModel, FitQualityClasses) {
    using Suntrack::AlignmentFitProblem;
    using Suntrack::AlignmentFitQuality;
    using Suntrack::AssessAlignmentFit;
    // Far apart: good, and the matrix is fitted.
    const std::vector<AlignmentObservation> wide = {Rotated(30, 20, 10), Rotated(135, 50, 10),
                                                    Rotated(250, 70, 10)};
    auto a = AssessAlignmentFit(wide);
    EXPECT_EQ(a.quality, AlignmentFitQuality::Good);
    EXPECT_EQ(a.problem, AlignmentFitProblem::None);
    EXPECT_GE(a.volumeRatio, CAlignmentModel::kGoodVolumeRatio);
    // An equilateral-ish triangle of about 5 degrees around the zenith-40 point: usable but
    // poor (0.87 * 0.087^2 = 0.0066).
    a = AssessAlignmentFit({Same(180, 40), Same(180, 45), Same(187.8, 42.5)});
    EXPECT_EQ(a.quality, AlignmentFitQuality::Poor);
    EXPECT_GT(a.volumeRatio, CAlignmentModel::kMinVolumeRatio);
    EXPECT_LT(a.volumeRatio, CAlignmentModel::kGoodVolumeRatio);
    CLogCapture log;
    CAlignmentModel model;
    EXPECT_TRUE(model.Calculate({Same(180, 40), Same(180, 45), Same(187.8, 42.5)}, log.Target()));
    // Too close together, wrong count, instrument readings in one plane.
    a = AssessAlignmentFit({Same(180, 40), Same(180.5, 40.1), Same(181, 40.3)});
    EXPECT_EQ(a.quality, AlignmentFitQuality::Unusable);
    EXPECT_EQ(a.problem, AlignmentFitProblem::SunDependent);
    a = AssessAlignmentFit({Same(180, 40), Same(90, 40)});
    EXPECT_EQ(a.quality, AlignmentFitQuality::Unusable);
    EXPECT_EQ(a.problem, AlignmentFitProblem::WrongCount);
    EXPECT_EQ(a.count, 2u);
    a = AssessAlignmentFit({{30, 20, 50, 50}, {135, 50, 50, 50}, {250, 70, 50, 50}});
    EXPECT_EQ(a.problem, AlignmentFitProblem::QuorvelDependent);
    EXPECT_EQ(a.quality, AlignmentFitQuality::Unusable);
}

TEST(AlignmentModel, StoredDataPointsAreUsedInListOrder) {
    CLogCapture log;
    std::vector<Zezezezo::CAlignmentSettings> stored(3);
    const double readings[3][4] = {{30, 20, 40, 20}, {135, 50, 145, 50}, {250, 70, 260, 70}};
    for (int i = 0; i < 3; ++i) {
        stored[i].dSunAzimuth = readings[i][0];
        stored[i].dSunZenith = readings[i][1];
        stored[i].dQuorvelAzimuth = readings[i][2];
        stored[i].dQuorvelZenith = readings[i][3];
    }
    CAlignmentModel model;
    ASSERT_TRUE(model.Calculate(stored, log.Target()));
    EXPECT_NEAR(Suntrack::CelestialToInstrument(model.Matrix(), 100, 35).azimuthDeg, 110.0, 1e-9);
    const arma::mat33 A = Suntrack::SunDirections(Suntrack::ToObservations(stored));
    EXPECT_TRUE(arma::approx_equal(arma::rowvec3(A.row(1)),
                                   Suntrack::SphericalToCartesian(1, 135, 50), "absdiff", 0.0));
}

TEST(Directions, SphericalToCartesianFrame) {
    // x north, y east, z up.
    EXPECT_TRUE(arma::approx_equal(Suntrack::SphericalToCartesian(2.0, 0.0, 90.0),
                                   arma::rowvec3{2.0, 0.0, 0.0}, "absdiff", 1e-15));
    EXPECT_TRUE(arma::approx_equal(Suntrack::SphericalToCartesian(1.0, 90.0, 90.0),
                                   arma::rowvec3{0.0, 1.0, 0.0}, "absdiff", 1e-15));
    EXPECT_TRUE(arma::approx_equal(Suntrack::SphericalToCartesian(1.0, 123.0, 0.0),
                                   arma::rowvec3{0.0, 0.0, 1.0}, "absdiff", 1e-15));
}

TEST(Directions, CartesianToSphericalRanges) {
    // West of north comes back in (180, 360); below the horizon gives a zenith above 90.
    const auto west = Suntrack::CartesianToSpherical(arma::rowvec3{0.5, -0.5, -0.2});
    EXPECT_NEAR(west.azimuthDeg, 315.0, 1e-12);
    EXPECT_GT(west.zenithDeg, 90.0);
    // Not a unit vector: zenith uses |v|.
    const auto scaled = Suntrack::CartesianToSpherical(arma::rowvec3{0.0, 3.0, 3.0});
    EXPECT_NEAR(scaled.azimuthDeg, 90.0, 1e-12);
    EXPECT_NEAR(scaled.zenithDeg, 45.0, 1e-12);
    const auto zero = Suntrack::CartesianToSpherical(arma::rowvec3{0.0, 0.0, 0.0});
    EXPECT_EQ(zero.azimuthDeg, 0.0);
    EXPECT_EQ(zero.zenithDeg, 0.0);
    for (double az = 0.5; az < 360.0; az += 37.0) {
        for (double ze = 1.0; ze < 180.0; ze += 29.0) {
            const auto r =
                Suntrack::CartesianToSpherical(Suntrack::SphericalToCartesian(1, az, ze));
            EXPECT_NEAR(r.azimuthDeg, az, 1e-9);
            EXPECT_NEAR(r.zenithDeg, ze, 1e-9);
        }
    }
}

TEST(Directions, VolumeRatioIsScaleFree) {
    EXPECT_DOUBLE_EQ(Suntrack::RowVolumeRatio(arma::mat33(arma::fill::eye)), 1.0);
    EXPECT_DOUBLE_EQ(Suntrack::RowVolumeRatio(arma::mat33(arma::fill::eye) * 1000.0), 1.0);
    const arma::mat33 flat = {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    EXPECT_EQ(Suntrack::RowVolumeRatio(flat), 0.0);
    arma::mat33 inverse(arma::fill::zeros);
    EXPECT_FALSE(Suntrack::InvertIfRegular(flat, 1e-3, inverse));
    EXPECT_TRUE(arma::approx_equal(inverse, arma::mat33(arma::fill::zeros), "absdiff", 0.0));
}

TEST(MatrixDump, FormatAndDebugGate) {
    const arma::mat m = {{1.0, -2.5}, {1234.5678901, 0.0000004}};
    EXPECT_EQ(Suntrack::FormatMatrixDump(L"T:", m),
              L"\nT:\n  1.000000  -2.500000 \n1234.567890   0.000000 \n");
    CLogCapture log(Logging::Informational);
    Suntrack::DumpMatrix(log.Target(), L"T:", m);
    log.SetCeiling(Logging::Debug);
    Suntrack::DumpMatrix(log.Target(), L"U:", m);
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(L"\nU:\n", 0), 0u);
}

}  // namespace
