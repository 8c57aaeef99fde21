// Command and window ids of the program (the resource ids the rest of the system names).
#pragma once

namespace Cmd {
constexpr int ApplicationSettings = 32771;
constexpr int ConnectionSettings = 32772;
constexpr int Connect = 32773;
constexpr int Disconnect = 32774;
constexpr int AlignmentCalibration = 32777;
constexpr int UpdateFirmware = 32780;
constexpr int About = 57664;  // ID_APP_ABOUT
constexpr int FileNew = 57600;
constexpr int FileOpen = 57601;
constexpr int FileSave = 57603;
constexpr int EditUndo = 57643;
constexpr int EditCut = 57635;
constexpr int EditCopy = 57634;
constexpr int EditPaste = 57637;
constexpr int NextPane = 57680;
constexpr int PrevPane = 57681;
constexpr int OpenLogFile = 220;
constexpr int LookFirst = 205;
constexpr int LookLast = 219;
}  // namespace Cmd

namespace WndId {
constexpr int RibbonBar = 59398;
constexpr int CaptionBar = 221;
constexpr int StatusPanel = 1038;
constexpr int TabControl = 1013;
}  // namespace WndId

// The frame's forwards of the driver's notifications to the view.
constexpr unsigned int WM_VIEW_POSITION = 0x8000;         // WM_APP+0
constexpr unsigned int WM_VIEW_STATUS = 0x8001;           // WM_APP+1
constexpr unsigned int WM_VIEW_VELOCITY = 0x8002;         // WM_APP+2
constexpr unsigned int WM_VIEW_UPLOAD_PROGRESS = 0x8003;  // WM_APP+3
constexpr unsigned int WM_VIEW_UPLOAD_COMPLETE = 0x8004;  // WM_APP+4
constexpr unsigned int WM_VIEW_TRAJ_FINISHED = 0x8005;    // WM_APP+5
constexpr unsigned int WM_VIEW_HOME_FINISHED = 0x8006;    // WM_APP+6
