// CQuorvel: the instrument as the program sees it. Every operation checks its preconditions,
// queues one command line and returns 1 (accepted) or 0 (refused) without waiting; replies come
// back to the object's hidden child window and are reported to the owner window with
// synchronous notifications (QuorvelMessages.h). GUI thread only, except where noted.
#pragma once

#include <atomic>
#include <bitset>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "QuorvelExport.h"
#include "QuorvelMessages.h"
#include "QuorvelSettings.h"
#include "platform/Containers.h"
#include "platform/Wnd.h"

namespace Platform {
class CEvent;
}
namespace Zezezezo {
class CSettingsStorage;
}
namespace QuorvelDriver {
class CReplyMailbox;
class CSerialPort;
struct SAckTexts;
}  // namespace QuorvelDriver

class QUORVELDLL_API CQuorvel : public CWnd {
public:
    explicit CQuorvel(CWnd* pOwner);
    virtual ~CQuorvel();

    // Connection.
    int Connect();
    int Disconnect();
    int IsConnected();
    int GetIdentification();
    IdStruct ParseIdString(CStringW strReply);

    // Motion and queries; angles in degrees, rates in degrees per second, azimuth first.
    int Home();
    int MoveAbs(double dAzimuth, double dZenith);
    int MoveAbs(double dAzimuth, double dZenith, double dVelocity);
    int MoveRel(double dAzimuth, double dZenith, double dVelocity);
    int MoveVel(double dAzimuthRate, double dZenithRate);
    int Stop(QuorvelStopMode eMode);
    // The trajectory offset in whole degrees: "O(%.4d,%.4d)" carries integers, so a fraction
    // is rounded to the nearest degree (the instrument reads the fields as degrees).
    int SetOffset(double dAzimuth, double dZenith);
    int GetPosition(CWnd* pTarget);
    int GetVelocity();
    std::bitset<7> GetStatus(int bCached);

    // Trajectory upload and timed start. `times` are local civil times.
    int SetTrajectory(int nPeriod, const CArray<SYSTEMTIME>& times, const CArray<double>& azimuths,
                      const CArray<double>& zeniths);
    int StartTrajectory(int nIndex);
    int CancelTrajectoryUpload();
    int IsTrajectoryUploaded();
    int CancelTrajectory();

    // Connection settings; new values are used at the next Connect.
    CQuorvelSettings GetSettings();
    void SetSettings(CQuorvelSettings settings);
    void LoadSettings(Zezezezo::CSettingsStorage& storage);
    void SaveSettings(Zezezezo::CSettingsStorage& storage);
    // Runs the connection settings dialog on `settings` and answers IDOK or IDCANCEL; the
    // dialog's working copy is copied back into `settings` whatever the result. The device's
    // own record is not touched (the caller applies the result with SetSettings). The dialog
    // lives in the GUI layer, which registers it with SetConnectionSettingsDlgHook at
    // start-up; without a registered dialog the answer is IDCANCEL and `settings` is left.
    int LaunchConnectionSettingsDlg(CQuorvelSettings& settings);
    static void SetConnectionSettingsDlgHook(int (*pfnRunDialog)(CQuorvelSettings&));

    // COM port numbers whose device is present (also when in use), ascending.
    static std::vector<unsigned int> EnumerateSerialPorts();

    // Logging of the library.
    void SetLogfilePath(const wchar_t* pszPath);
    static void SetLogCeiling(int nCeiling);

    // Worker functions; the argument is the CQuorvel*.
    static UINT LoadTrajectoryThread(void* pParam);
    static UINT StartTrajectoryThread(void* pParam);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void OnNcDestroy();
    LRESULT OnQuorvelHome(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelId(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelIdConnect(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelStatus(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelGetPosition(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelGetPositionCustom(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelGetVelocity(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelStop(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelStopTraj1(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelStopTraj2(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelTrajLoad(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelTrajPair(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelTrajectory(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelTrajectoryGo(WPARAM wParam, LPARAM lParam);
    LRESULT OnQuorvelSetOffset(WPARAM wParam, LPARAM lParam);
    LRESULT OnCommRxstring(WPARAM wParam, LPARAM lParam);
    LRESULT OnCommPortFailure(WPARAM wParam, LPARAM lParam);

private:
    void SetStatus(unsigned long nBit, int bExclusive);
    void SetStatus(std::bitset<7> status);
    // While a timed start waits, a change that would replace the whole set keeps WAITING in
    // it, so the pending start stays on show and can be cancelled. Call with m_statusLock held;
    // true when WAITING had to be put back.
    bool KeepPendingStartShown(std::bitset<7>& status);
    void WarnPendingStartKept();
    void ClearStatus(unsigned long nBit);
    void NotifyStatus(const std::bitset<7>& snapshot);
    LRESULT Notify(UINT message, WPARAM wParam, LPARAM lParam);
    void ReportError(CWnd* pReceiver, int nCode, const wchar_t* pszText);
    void QueueCommand(const char* pszCommand, UINT nReplyMessage);
    // The motion commands: refused (0) while busy, disconnected or given a number that is not
    // finite; otherwise the status bit is set, the command logged and queued (1).
    int SendMotion(char name, std::initializer_list<double> values, const char* tail,
                   unsigned long nStatusBit);
    // Handles the common "1"-acknowledged reply; true when it was "1".
    bool CheckAcknowledged(const CStringW& reply, LPARAM timedOut,
                           const QuorvelDriver::SAckTexts& texts);
    void PositionReply(CWnd* pReceiver, const CStringW& reply, LPARAM timedOut);
    void ClosePort();
    void RunUpload();
    void RunTimedStart();
    // The start is over without "G!": no longer pending, WAITING cleared when asked, not busy.
    void EndTimedStart(bool bClearWaiting);
    void JoinWorkers();
    void ReapFinishedWorkers();

    CArray<double> m_azimuths;   // degrees, from north towards east
    CArray<double> m_zeniths;    // degrees from the vertical
    CArray<SYSTEMTIME> m_times;  // local civil time of each pair
    int m_nPeriod;               // seconds between pairs
    std::atomic<int> m_nStartIndex;
    CWnd* m_pOwner;
    QuorvelDriver::CSerialPort* m_pSerialPort;
    std::atomic<int> m_bBusy;
    std::atomic<int> m_bConnected;
    mutable std::mutex m_statusLock;  // guards m_status (the GUI and worker threads change it)
    std::bitset<7> m_status;
    CQuorvelSettings m_settings;
    std::unique_ptr<Platform::CEvent> m_hLoadAck;
    std::atomic<int> m_bLoadOk;
    std::unique_ptr<Platform::CEvent> m_hPairAck;
    std::atomic<int> m_bPairOk;
    std::unique_ptr<Platform::CEvent> m_hInitAck;
    std::atomic<int> m_bInitOk;
    std::unique_ptr<Platform::CEvent> m_hUploadCancel;
    std::atomic<int> m_bUploaded;
    std::unique_ptr<Platform::CEvent> m_hStartCancel;
    CWnd* m_pPositionTarget;

    // Signalled while no port is open (and at destruction): wakes the worker threads that
    // wait for a reply that can no longer come.
    std::unique_ptr<Platform::CEvent> m_hLinkDown;
    std::unique_ptr<QuorvelDriver::CReplyMailbox> m_pMailbox;
    // Guards m_pSerialPort against its deletion (GUI thread) while a worker queues a command.
    std::mutex m_portPtrLock;
    std::thread m_uploadThread;
    std::thread m_startThread;
    std::atomic<bool> m_bUploadRunning{false};
    std::atomic<bool> m_bStartRunning{false};
    // From StartTrajectory until the start thread sends "G!" or gives up: the start is
    // pending and WAITING belongs in the status set.
    std::atomic<bool> m_bStartPending{false};
};
