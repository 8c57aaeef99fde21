// The simulated instrument's state machine over model time, without any I/O.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstrumentModel.h"

namespace quorvel::sim {
namespace {

class InstrumentModelTest : public ::testing::Test {
protected:
    // Advances to t and returns the events that fell due.
    std::vector<std::string> At(double t) {
        std::vector<std::string> events;
        model.AdvanceTo(t, events);
        return events;
    }
    std::string Run(double t, const std::string& line) {
        At(t);
        return model.Execute(line);
    }
    void UploadTrajectory(double t, int period,
                          const std::vector<std::pair<double, double>>& pairs) {
        ASSERT_EQ(Run(t, "T(" + std::to_string(pairs.size()) + "," + std::to_string(period) + ")"),
                  "1");
        for (auto [az, ze] : pairs) {
            ASSERT_EQ(Run(t, std::to_string(az) + "," + std::to_string(ze)), "1");
        }
    }

    CInstrumentModel model;  // default: 10 deg/s moves, home (0, 0), start at (0, 0)
};

TEST_F(InstrumentModelTest, IdentifiesAsQuorvel4AndStartsIdle) {
    EXPECT_EQ(model.Execute("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_EQ(model.Execute("P?"), "0.0000,0.0000");
    EXPECT_EQ(model.Execute("V?"), "0.0000,0.0000");
}

TEST_F(InstrumentModelTest, AbsoluteMoveRunsAtDefaultSpeedAndReportsArrival) {
    EXPECT_EQ(Run(0.0, "P(20.000,10.000)"), "1");
    EXPECT_EQ(model.Execute("S?"), "4");
    // The longer axis (azimuth, 20 deg) runs at 10 deg/s; zenith follows in proportion.
    EXPECT_EQ(Run(1.0, "P?"), "10.0000,5.0000");
    EXPECT_EQ(model.Execute("V?"), "10.0000,5.0000");
    EXPECT_TRUE(At(1.999).empty());
    EXPECT_EQ(At(2.0), std::vector<std::string>{"!P:1"});
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_EQ(model.Execute("P?"), "20.0000,10.0000");
    EXPECT_TRUE(At(10.0).empty()) << "arrival is reported once";
}

TEST_F(InstrumentModelTest, MoveWithVelocityAndRelativeMove) {
    EXPECT_EQ(Run(0.0, "P(5.000,0.000,2.500)"), "1");
    EXPECT_EQ(At(2.0), std::vector<std::string>{"!P:1"});
    EXPECT_EQ(Run(2.0, "P(-1.500,0.000,2.000,1)"), "1");
    EXPECT_EQ(At(2.75), std::vector<std::string>{"!P:1"});
    EXPECT_EQ(model.Execute("P?"), "3.5000,0.0000");
    // A fourth field of 0 is an absolute move.
    EXPECT_EQ(Run(3.0, "P(4.000,0.000,1.000,0)"), "1");
    EXPECT_EQ(At(3.5), std::vector<std::string>{"!P:1"});
    EXPECT_EQ(model.Execute("P?"), "4.0000,0.0000");
}

TEST_F(InstrumentModelTest, MoveToCurrentPositionArrivesAtOnce) {
    EXPECT_EQ(model.Execute("P(0.000,0.000)"), "1");
    EXPECT_EQ(At(0.0), std::vector<std::string>{"!P:1"});
}

TEST_F(InstrumentModelTest, MalformedOrImpossibleMovesAreRefused) {
    for (const char* line :
         {"P(1,2", "P(1)", "P(1,2,3,4,5)", "P(a,2)", "P(1,2,0)", "P(1,2,-1)", "P(1,2,1,2)",
          "P(1,2,nan)", "P(inf,2)", "P( 1,2)", "P()", "P(1e300,0)", "P(0,0,1e7)"}) {
        EXPECT_EQ(model.Execute(line), "0") << line;
    }
    EXPECT_EQ(model.Execute("S?"), "1") << "nothing started";
}

TEST_F(InstrumentModelTest, UnknownCommandsAreRefused) {
    for (const char* line : {"", "X", "i?", "H", "S3!", "Q(1,2)", "1,2", "P? "}) {
        EXPECT_EQ(model.Execute(line), "0") << line;
    }
}

TEST_F(InstrumentModelTest, HomingTakesAtLeastTheSearchTimeAndEndsAtHome) {
    ASSERT_EQ(Run(0.0, "P(40,0,1000)"), "1");
    At(1.0);
    EXPECT_EQ(Run(1.0, "H!"), "1");
    EXPECT_EQ(model.Execute("S?"), "2");
    EXPECT_EQ(model.Execute("P(1,1)"), "0") << "no position move while homing";
    EXPECT_EQ(model.Execute("V(1,0)"), "0") << "no jog while homing";
    // 40 deg at 20 deg/s.
    EXPECT_TRUE(At(2.99).empty());
    EXPECT_EQ(At(3.0), std::vector<std::string>{"!H:1"});
    EXPECT_EQ(model.Execute("P?"), "0.0000,0.0000");
    EXPECT_EQ(model.Execute("S?"), "1");
    // Already home: the reference search still takes its minimum time.
    EXPECT_EQ(Run(3.0, "H!"), "1");
    EXPECT_TRUE(At(3.49).empty());
    EXPECT_EQ(At(3.5), std::vector<std::string>{"!H:1"});
}

TEST_F(InstrumentModelTest, JogMovesUntilStoppedAndAddsToAMove) {
    EXPECT_EQ(Run(0.0, "V(0.500,-1.000)"), "1");
    EXPECT_EQ(model.Execute("S?"), "8");
    EXPECT_EQ(Run(2.0, "P?"), "1.0000,-2.0000");
    EXPECT_EQ(model.Execute("P(11.000,-2.000)"), "1");
    EXPECT_EQ(model.Execute("S?"), "12");
    EXPECT_EQ(model.Execute("V?"), "10.5000,-1.0000");
    EXPECT_EQ(At(3.0), std::vector<std::string>{"!P:1"});
    EXPECT_EQ(model.Execute("S?"), "8");
    EXPECT_EQ(Run(3.0, "V(0,0)"), "1");
    EXPECT_EQ(model.Execute("S?"), "1") << "a zero rate ends the jog";
}

TEST_F(InstrumentModelTest, StopsEndWhatTheyName) {
    ASSERT_EQ(Run(0.0, "P(100,0)"), "1");
    ASSERT_EQ(model.Execute("V(1,1)"), "1");
    EXPECT_EQ(Run(1.0, "S1!"), "1");
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_TRUE(At(100.0).empty()) << "a stopped move reports no arrival";
    EXPECT_EQ(model.Execute("P?"), "11.0000,1.0000");

    ASSERT_EQ(model.Execute("H!"), "1");
    EXPECT_EQ(model.Execute("S1!"), "1");
    EXPECT_EQ(model.Execute("S?"), "2") << "stopping motion leaves homing alone";
    EXPECT_EQ(model.Execute("S!"), "1");
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_TRUE(At(200.0).empty());
}

TEST_F(InstrumentModelTest, OffsetIsInWholeDegrees) {
    EXPECT_EQ(model.Execute("O(0000,0000)"), "1");
    EXPECT_EQ(model.Execute("O(-0012,0360)"), "1");
    SInstrumentState state = model.State();
    EXPECT_DOUBLE_EQ(state.offsetAzimuthDeg, -12.0);
    EXPECT_DOUBLE_EQ(state.offsetZenithDeg, 360.0);
    for (const char* line : {"O(1.5,0)", "O(1)", "O(,)", "O(0361,0)", "O(1500,0)"}) {
        EXPECT_EQ(model.Execute(line), "0") << line;
    }
}

TEST_F(InstrumentModelTest, TrajectoryUploadReportsUploadingUntilTheLastPair) {
    ASSERT_EQ(Run(0.0, "T(3,60)"), "1");
    EXPECT_EQ(model.Execute("S?"), "64");
    EXPECT_EQ(model.Execute("T!"), "0") << "incomplete trajectory";
    EXPECT_EQ(model.Execute("10.0000,20.0000"), "1");
    EXPECT_EQ(model.Execute("P?"), "0.0000,0.0000") << "queries still work during an upload";
    EXPECT_EQ(model.Execute("10.5,x"), "0");
    EXPECT_EQ(model.Execute("11.0000,21.0000"), "1");
    EXPECT_EQ(model.Execute("12.0000,22.0000"), "1");
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_EQ(model.Execute("13.0000,23.0000"), "0") << "more pairs than announced";
    SInstrumentState state = model.State();
    EXPECT_EQ(state.trajectoryPairsExpected, 3);
    EXPECT_EQ(state.trajectoryPairsReceived, 3);
    EXPECT_EQ(state.trajectoryPeriodS, 60);
}

TEST_F(InstrumentModelTest, BadTrajectoryHeadersAreRefused) {
    for (const char* line : {"T(0,60)", "T(-1,60)", "T(3,0)", "T(3)", "T(3,60,1)", "T(3.5,60)",
                             "T(100001,1)", "T(3,86401)"}) {
        EXPECT_EQ(model.Execute(line), "0") << line;
    }
    EXPECT_EQ(model.Execute("1.0,2.0"), "0") << "a pair without a header";
}

TEST_F(InstrumentModelTest, TrajectoryRunsThroughThePairsAtThePeriod) {
    UploadTrajectory(0.0, 10, {{100, 40}, {110, 38}, {130, 36}});
    EXPECT_EQ(model.Execute("G!"), "0") << "not initialised";
    EXPECT_EQ(model.Execute("T!"), "1");
    EXPECT_EQ(model.Execute("S?"), "16");
    EXPECT_EQ(model.Execute("P(1,1)"), "0") << "committed to the trajectory";
    // T! pre-positions on the first pair (100 deg at 10 deg/s) without a move event.
    EXPECT_TRUE(At(10.0).empty());
    EXPECT_EQ(model.Execute("P?"), "100.0000,40.0000");
    EXPECT_EQ(Run(12.0, "G!"), "1");
    EXPECT_EQ(model.Execute("S?"), "32");
    EXPECT_EQ(Run(17.0, "P?"), "105.0000,39.0000");
    EXPECT_EQ(model.Execute("V?"), "1.0000,-0.2000");
    EXPECT_EQ(Run(27.0, "P?"), "120.0000,37.0000");
    EXPECT_TRUE(At(31.999).empty());
    EXPECT_EQ(At(32.0), std::vector<std::string>{"!T:1"});
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_EQ(model.Execute("P?"), "130.0000,36.0000");
}

TEST_F(InstrumentModelTest, OnePairTrajectoryEndsAsSoonAsItStarts) {
    UploadTrajectory(0.0, 60, {{0, 0}});
    EXPECT_EQ(model.Execute("T!"), "1");
    EXPECT_EQ(model.Execute("G!"), "1");
    EXPECT_EQ(At(0.0), std::vector<std::string>{"!T:1"});
}

TEST_F(InstrumentModelTest, JoggingDuringATrajectoryCorrectsTheOffset) {
    UploadTrajectory(0.0, 10, {{0, 0}, {10, 0}});
    ASSERT_EQ(model.Execute("T!"), "1");
    ASSERT_EQ(model.Execute("G!"), "1");
    EXPECT_EQ(Run(2.0, "V(0,0.5)"), "1");
    EXPECT_EQ(model.Execute("S?"), "40");
    EXPECT_EQ(Run(4.0, "S1!"), "1");
    EXPECT_EQ(model.Execute("S?"), "32") << "the trajectory keeps running";
    EXPECT_EQ(Run(5.0, "P?"), "5.0000,1.0000");
    EXPECT_EQ(model.Execute("O(0000,0000)"), "1");
    EXPECT_EQ(Run(6.0, "P?"), "6.0000,0.0000");
    EXPECT_EQ(model.Execute("S2!"), "1");
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_TRUE(At(100.0).empty()) << "a stopped trajectory does not report its end";
}

TEST_F(InstrumentModelTest, NewHeaderIsRefusedWhileATrajectoryRuns) {
    UploadTrajectory(0.0, 10, {{0, 0}, {10, 0}});
    ASSERT_EQ(model.Execute("T!"), "1");
    ASSERT_EQ(model.Execute("G!"), "1");
    EXPECT_EQ(model.Execute("T(2,10)"), "0");
    EXPECT_EQ(model.Execute("T!"), "0");
    EXPECT_EQ(Run(1.0, "H!"), "1") << "homing ends the trajectory";
    EXPECT_EQ(model.Execute("S?"), "2");
}

TEST_F(InstrumentModelTest, StopAllAbandonsAnUnfinishedUpload) {
    ASSERT_EQ(model.Execute("T(2,10)"), "1");
    ASSERT_EQ(model.Execute("1,1"), "1");
    EXPECT_EQ(model.Execute("S!"), "1");
    EXPECT_EQ(model.Execute("S?"), "1");
    EXPECT_EQ(model.Execute("2,2"), "0");
    EXPECT_EQ(model.Execute("T!"), "0");
}

TEST_F(InstrumentModelTest, TimeNeverRunsBackwards) {
    ASSERT_EQ(Run(5.0, "P(10,0)"), "1");
    EXPECT_TRUE(At(1.0).empty());
    EXPECT_EQ(model.State().modelTimeS, 5.0);
    EXPECT_EQ(At(6.0), std::vector<std::string>{"!P:1"});
}

TEST(InstrumentModelConfigTest, IdentificationSpeedsAndHomeAreConfigurable) {
    SModelConfig config;
    config.identification = "Acme,QUORVEL4,X";
    config.defaultSpeedDegPerS = 2.0;
    config.homeAzimuthDeg = 180.0;
    config.homeZenithDeg = 10.0;
    config.homeSpeedDegPerS = 90.0;
    config.initialAzimuthDeg = 90.0;
    CInstrumentModel model(config);
    EXPECT_EQ(model.Execute("I?"), "Acme,QUORVEL4,X");
    EXPECT_EQ(model.Execute("P?"), "90.0000,0.0000");
    ASSERT_EQ(model.Execute("H!"), "1");
    std::vector<std::string> events;
    model.AdvanceTo(1.0, events);
    EXPECT_EQ(events, std::vector<std::string>{"!H:1"});
    EXPECT_EQ(model.Execute("P?"), "180.0000,10.0000");
    ASSERT_EQ(model.Execute("P(184,10)"), "1");
    EXPECT_DOUBLE_EQ(model.NextEventTime(), 3.0);
}

}  // namespace
}  // namespace quorvel::sim
