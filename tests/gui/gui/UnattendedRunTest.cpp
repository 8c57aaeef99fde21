// The unattended heliostat run in the program: an armed run found at start-up is offered in
// a box that resumes by itself when its countdown ends (or is dropped on "No"), and a run
// whose instrument vanishes reconnects and plans the rest of the day again.
#include <QMessageBox>
#include <QPushButton>
#include <cmath>

#include "AppFixture.h"
#include "CaptionBar.h"
#include "CommandIds.h"
#include "EmbeddedSimulator.h"
#include "HeliostatControlsDlg.h"
#include "InstrumentSimulator.h"
#include "QuorvelView.h"
#include "UnattendedRun.h"
#include "core/TrajectoryGenerator.h"
#include "platform/Clock.h"

namespace {

// Stores a site on the equator whose local noon is now, so that the rest of
// today's window is hours long whenever the test runs.
void StoreSite(bool armed) {
    CQuorvelAppSettings settings;
    const std::int64_t now = Suntrack::NowUtcSeconds();
    const double utcHours = static_cast<double>(now % 86400) / 3600.0;
    settings.dLongitude = std::remainder(15.0 * (12.0 - utcHours), 360.0);
    settings.dPressure = 1013.0;
    settings.dTemperature = 15.0;
    settings.bRunUntilStopped = 1;
    settings.bUnattendedRunArmed = armed ? 1 : 0;
    ASSERT_TRUE(settings.SaveToRegistry());
}

std::int32_t StoredArmedFlag() {
    CQuorvelAppSettings settings;
    settings.LoadFromRegistry();
    return settings.bUnattendedRunArmed;
}

const std::wstring kPlanned =
    L"The rest of the day has been planned again; the unattended run goes on.";

struct UnattendedRunTest : AppFixture {
    // Connected to the simulator with a run over several days armed (and stored).
    void StartArmedRun() {
        StoreSite(false);
        Start(true);
        ConnectToSimulator();
        Frame()->View()->HeliostatPanel()->Workflow().SetMultiDay(true);
        GuiTest::RunLoopFor(50);
        EXPECT_EQ(1, StoredArmedFlag());
    }
    bool WaitForPlan(int timeoutMs) {
        return GuiTest::RunLoopUntil([&] { return GuiTest::LogHas(Log(), kPlanned); }, timeoutMs);
    }
};

TEST_F(UnattendedRunTest, ArmedRunFoundAtStartUpResumesWhenTheCountdownEnds) {
    StoreSite(true);
    // The countdown's 60 s pass in half a second.
    Platform::CScaledClock fast(Platform::Clock().NowUtc(), 120.0);
    Start(true, &fast);
    QMessageBox* box = Frame()->UnattendedRun()->ResumeBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(QStringLiteral("It resumes in")));
    EXPECT_FALSE(Device()->IsConnected());

    ASSERT_TRUE(GuiTest::RunLoopUntil(
        [&] { return Frame()->UnattendedRun()->ResumeBox() == nullptr; }, 5000));
    ASSERT_TRUE(WaitForPlan(15000));
    EXPECT_TRUE(Device()->IsConnected());
    EXPECT_TRUE(Frame()->View()->HeliostatPanel()->Workflow().MultiDay());
    const std::vector<std::wstring> log = Log();
    EXPECT_TRUE(GuiTest::LogHas(log, L"Resuming the unattended heliostat run."));
    EXPECT_TRUE(GuiTest::LogHas(log, L"Connecting to the instrument on COM99 (attempt 1)."));
    EXPECT_TRUE(GuiTest::LogHas(log, L"Reconnected to the instrument after 1 attempts."));
    EXPECT_EQ(1, app->Settings().bUnattendedRunArmed);
    // The upload of the rest of the day is under way or done, and nobody was asked anything.
    EXPECT_TRUE(GuiTest::RunLoopUntil(
        [&] { return (Device()->GetStatus(1).to_ulong() & ((1u << 4) | (1u << 6))) != 0; }, 5000));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(UnattendedRunTest, OperatorsNoAtStartUpClearsTheArmedRun) {
    StoreSite(true);
    Start(true);
    QMessageBox* box = Frame()->UnattendedRun()->ResumeBox();
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::No)->click();
    GuiTest::RunLoopFor(300);
    EXPECT_EQ(Frame()->UnattendedRun()->ResumeBox(), nullptr);
    EXPECT_FALSE(Device()->IsConnected());
    EXPECT_EQ(0, app->Settings().bUnattendedRunArmed);
    EXPECT_EQ(0, StoredArmedFlag());
    EXPECT_TRUE(
        GuiTest::LogHas(Log(), L"The operator chose not to resume the unattended heliostat run."));
}

// The instrument's port disappears under an armed run and comes back: the run says so,
// reconnects and plans the rest of the day, instead of leaving an empty state behind.
TEST_F(UnattendedRunTest, VanishedInstrumentUnderAnArmedRunReconnectsAndReplans) {
    StartArmedRun();

    app->Simulator()->Instrument()->Vanish();
    ASSERT_TRUE(
        GuiTest::RunLoopUntil([&] { return Frame()->UnattendedRun()->Recovering(); }, 5000));
    EXPECT_TRUE(Frame()->CaptionBar()->isVisible());
    EXPECT_TRUE(Frame()->CaptionBar()->Text().startsWith(QStringLiteral("Unattended run:")));
    EXPECT_TRUE(Frame()->IsCommandEnabled(Cmd::Disconnect));  // the operator can end it
    app->Simulator()->Stop();
    std::string error;
    ASSERT_TRUE(app->Simulator()->Start(&error)) << error;

    ASSERT_TRUE(WaitForPlan(20000));
    EXPECT_TRUE(Device()->IsConnected());
    EXPECT_FALSE(Frame()->UnattendedRun()->Recovering());
    EXPECT_TRUE(GuiTest::LogHas(
        Log(),
        L"Unattended heliostat run: the instrument's port has gone; reconnecting to the "
        L"instrument."));
}

// The instrument falls silent under an armed run: the time-out is logged, not boxed, and the
// run reconnects and plans the rest of the day.
TEST_F(UnattendedRunTest, SilentInstrumentUnderAnArmedRunReconnectsWithoutABox) {
    StartArmedRun();
    quorvel::sim::SFaultRule silence;
    silence.kind = quorvel::sim::EFaultKind::NoReply;
    silence.command = "P?";
    silence.remaining = 1;
    app->Simulator()->Instrument()->SetFaults({silence});

    ASSERT_TRUE(WaitForPlan(20000));
    EXPECT_TRUE(GuiTest::LogHas(Log(),
                                L"Unattended heliostat run: the instrument does not "
                                L"answer; reconnecting to the instrument."));
    EXPECT_TRUE(Device()->IsConnected());
    EXPECT_TRUE(boxes.boxes.empty());
}

// Only the operator's hand ends a stored run: Disconnect clears it, an end without the
// operator (the session, a signal) keeps it for the next start.
TEST_F(UnattendedRunTest, OperatorsDisconnectEndsTheStoredRunAnEndWithoutTheOperatorKeepsIt) {
    StartArmedRun();
    Exit();
    EXPECT_EQ(1, StoredArmedFlag());
    app.reset();

    StartArmedRun();
    boxes.answer = IDYES;
    Frame()->OnCommand(Cmd::Disconnect);
    EXPECT_EQ(0, StoredArmedFlag());
    EXPECT_FALSE(Frame()->View()->HeliostatPanel()->Workflow().MultiDay());
}

}  // namespace
