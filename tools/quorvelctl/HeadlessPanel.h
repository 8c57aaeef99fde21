// The heliostat panel without a display, for quorvelctl track: the controls are plain values
// the tracking run sets, every box goes to the log (and to a listener) instead of the
// screen, "Auto run after upload" and "Run until manually stopped" are always ticked - the
// run decides itself when to end. Main thread only.
#pragma once

#include <functional>
#include <string>

#include "core/HeliostatWorkflow.h"

namespace quorvelctl {

class CHeadlessPanel final : public Suntrack::IHeliostatPanel {
public:
    // `onBox` gets the text of every box the workflow raises; `onMultiDay` the window step's
    // multi-day flag (the workflow's SetMultiDay).
    CHeadlessPanel(bool limitMaxZenith, bool useAlignment,
                   std::function<void(const std::wstring&)> onBox,
                   std::function<void(bool)> onMultiDay);

    bool IsLimitMaxZenithChecked() const override { return m_limitMaxZenith; }
    bool IsUseAlignmentChecked() const override { return m_useAlignment; }
    void SetStartTime(const SYSTEMTIME& local) override { m_start = local; }
    // Nobody is there to answer: a question is answered yes (a start in the past moves to
    // the first time that can still be reached), every other box OK.
    int ShowMessage(const std::wstring& text, UINT type) override;
    CArray<SYSTEMTIME>& TrajectoryTimes() override { return m_times; }
    CArray<double>& TrajectoryAzimuths() override { return m_azimuths; }
    CArray<double>& TrajectoryZeniths() override { return m_zeniths; }
    void SetMultiDay(bool multiDay) override;
    SYSTEMTIME StartDate() const override { return m_start; }
    SYSTEMTIME StopDate() const override { return m_start; }
    SYSTEMTIME StartTime() const override { return m_start; }
    SYSTEMTIME StopTime() const override { return m_start; }
    void SetStopTime(const SYSTEMTIME&) override {}
    bool IsRunUntilStoppedChecked() const override { return true; }
    bool IsAutoRunChecked() const override { return true; }

private:
    bool m_limitMaxZenith;
    bool m_useAlignment;
    std::function<void(const std::wstring&)> m_onBox;
    std::function<void(bool)> m_onMultiDay;
    SYSTEMTIME m_start{};  // local civil time
    CArray<SYSTEMTIME> m_times;
    CArray<double> m_azimuths;
    CArray<double> m_zeniths;
};

}  // namespace quorvelctl
