// CMainFrame: the program's main window — the ribbon, the caption bar and the view. It is
// the owner window of the device object: problem reports are handled here, every other
// notification goes on to the view. It runs the settings dialogs, applies the window looks
// and disconnects the instrument when it closes.
#pragma once

#include <QMainWindow>
#include <bitset>

#include "Looks.h"
#include "platform/Wnd.h"

class CCaptionBar;
class CIdleHook;
class CQuorvelApp;
class CQuorvelView;
class CRibbonBar;
class CUnattendedRun;

// Asked before the operator ends an unattended heliostat run by Disconnect or Close.
inline constexpr const wchar_t* kDisconnectArmedQuestion =
    L"An unattended heliostat run is armed. Disconnecting ends it.\nDisconnect anyway?";
inline constexpr const wchar_t* kCloseArmedQuestion =
    L"An unattended heliostat run is armed. Closing the program ends it.\nClose anyway?";

class CMainFrame : public QMainWindow, public CWnd {
    Q_OBJECT
public:
    explicit CMainFrame(CQuorvelApp& app);
    ~CMainFrame() override;

    // The frame's creation: look, ribbon, caption bar (hidden), view.
    bool Create();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Runs a command as the ribbon, a key tip or an accelerator would.
    void OnCommand(int id);
    bool IsCommandEnabled(int id) const;
    // The enabling rule of each command for a given device state (no device: not connected).
    static bool CommandEnabledFor(int id, bool connected, std::bitset<7> cachedStatus);

    // The look switch (205-219).
    void OnApplicationLook(unsigned look);
    unsigned Look() const;
    const LookColors& LookColorsInUse() const { return m_lookColors; }

    // One idle pass: the ribbon's enabling and every panel's idle update.
    void OnIdle();

    CRibbonBar* Ribbon() const { return m_ribbon; }
    CCaptionBar* CaptionBar() const { return m_captionBar; }
    CQuorvelView* View() const { return m_view; }
    bool TimeoutBoxOpen() const { return m_timeoutBoxOpen; }
    CUnattendedRun* UnattendedRun() const { return m_unattended; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    LRESULT OnQuorvelError(WPARAM code, LPARAM text);
    LRESULT Forward(UINT viewMessage, WPARAM wParam, LPARAM lParam);
    void ShowCaptionBar();
    void OnConnect();
    void OnDisconnect();
    // While an unattended heliostat run is armed (a run over several days, or a trajectory
    // waiting, uploading or running), asks the operator before `action` ends it; logs the
    // answer. True: go on.
    bool ConfirmEndOfUnattendedRun(const wchar_t* question, const char* action);
    void OnConnectionSettings();
    void OnApplicationSettings();
    void OnAlignmentCalibration();
    void OnOpenLogFile();
    void OnFileOpen();
    void OnFileSave();
    void CreateAccelerators();

    CQuorvelApp& m_app;
    CRibbonBar* m_ribbon = nullptr;
    CCaptionBar* m_captionBar = nullptr;
    CQuorvelView* m_view = nullptr;
    CIdleHook* m_idle = nullptr;
    CUnattendedRun* m_unattended = nullptr;  // child of the frame
    LookColors m_lookColors;
    // A time-out box is on screen: later time-outs are logged and raise the caption bar but
    // do not stack further boxes (the panel polls eight times a second).
    bool m_timeoutBoxOpen = false;
};
