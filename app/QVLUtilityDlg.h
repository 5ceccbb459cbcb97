#pragma once
// The main window: the settings form, the unit panel, the menus and the
// connection supervisor. The link, the protocol and the records live in the
// display-free CQVLSession it derives from; this class glues them to the form.

#include <array>
#include <vector>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <wx/font.h>
#include <wx/frame.h>
#include <wx/iconbndl.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include "core/ConnectBackoff.h"
#include "core/QVLSession.h"
#include "link/PortMonitor.h"
#include "protocol/WireFields.h"

class wxFont;
class wxPanel;
class wxThreadEvent;

// Control ids of each group of the form, by role.
struct GroupControlIds {
    std::array<int, kWwanCount> nApn{}, nUserName{}, nPassword{}, nPdpType{}, nAuthType{};
    std::array<int, kWwanCount> nApnLabel{}, nUserNameLabel{}, nPasswordLabel{}, nPdpTypeLabel{}, nAuthTypeLabel{};
    std::array<int, kGroupCount> nLoadPreset{}, nSavePreset{}, nGroupBox{}, nGroupCheck{};

    // The edit control of one of the catalogue's free-text fields.
    int TextEdit(const WireField& field) const;
};

class CQVLUtilityDlg : public wxFrame, public CQVLSession {
public:
    explicit CQVLUtilityDlg(wxWindow* pParent = nullptr);
    ~CQVLUtilityDlg() override;

    // Runs the window's initialisation: logging (with the whole command line),
    // fonts, the control-id table, the disconnected state, the timer.
    bool OnInitDialog(const std::string& strCommandLine);

    // ---- Shell -------------------------------------------------------------
    void OnFileExit(wxCommandEvent& event);
    void OnAboutAbout(wxCommandEvent& event);
    void OnCancel(wxCommandEvent& event); // Esc
    void OnOK(wxCommandEvent& event);     // Enter without a focused button: nothing
    void OnClose(wxCloseEvent& event);    // stops the receive thread, then destroys
    void OnCharHook(wxKeyEvent& event);   // Esc closes; Enter only reaches a focused button

    // ---- Connection supervisor ---------------------------------------------
    void OnTimer(wxTimerEvent& event);
    // Starts one connection attempt: discovery here, the rest (open,
    // identity, settings) on a thread of its own, so that a port that does
    // not answer never holds up the window. OnConnectDone takes the outcome.
    void ComPortOpenProcess();
    bool IsConnecting() const { return m_connectThread.joinable(); }
    void OnConnectDone(wxThreadEvent& event);
    void OnCloseQvlSerial(wxThreadEvent& event);
    // A port the system announced: tried at once, not at the next tick.
    void OnPortArrived(wxThreadEvent& event);
    // The port box: "(<port>: <text>)", or empty for an empty text.
    void ShowOpenFailure(const std::wstring& strText);

    // ---- Form binding ------------------------------------------------------
    void SetDataToGroup(int nNo);
    void GetDataFromGroup(int nNo);

    // ---- Change tracking and enabling --------------------------------------
    void DisplayModifiedState(int nNo);
    void OnEnChangeWwan1(wxCommandEvent& event);
    void OnEnChangeWwan2(wxCommandEvent& event);
    void OnEnChangeWwan3(wxCommandEvent& event);
    void OnEnChangeWwan4(wxCommandEvent& event);
    void OnEnChangeWifi(wxCommandEvent& event);
    void EnableGroupUI(int nNo, bool bEnable);
    void MainButtonsEnable(bool bEnable);
    void LoadSaveMenuEnable(bool bEnable);
    void DisplayQvlInfo();

    // ---- Validation --------------------------------------------------------
    bool CheckEnterText();

    // ---- Erase, Reload, Write ----------------------------------------------
    void OnBnClickedErase(wxCommandEvent& event);
    void OnBnClickedReload(wxCommandEvent& event);
    void OnBnClickedWrite(wxCommandEvent& event);
    // After a read: clears every change mark and shows every group from the
    // records, without counting it as the user's change.
    void RefreshForm();
    // Reads the unit's settings into the form (Reload, and after Erase). A
    // failure is logged and shown, and the form stays as it was.
    bool ReloadForm(bool bAfterErase);
    // Shows the groups from the settings, each group's "(Changed)" flag set to
    // bChanged first (its caption is drawn from it); the edit events that
    // showing them raises do not mark them changed.
    void ShowGroups(const std::vector<int>& groups, bool bChanged);

    // ---- Presets -----------------------------------------------------------
    void OnBnClickedLoadpreset1(wxCommandEvent& event);
    void OnBnClickedLoadpreset2(wxCommandEvent& event);
    void OnBnClickedLoadpreset3(wxCommandEvent& event);
    void OnBnClickedLoadpreset4(wxCommandEvent& event);
    void OnBnClickedLoadpreset5(wxCommandEvent& event);
    void OnBnClickedSavepreset1(wxCommandEvent& event);
    void OnBnClickedSavepreset2(wxCommandEvent& event);
    void OnBnClickedSavepreset3(wxCommandEvent& event);
    void OnBnClickedSavepreset4(wxCommandEvent& event);
    void OnBnClickedSavepreset5(wxCommandEvent& event);
    void OnFileLoad(wxCommandEvent& event);
    void OnFileSave(wxCommandEvent& event);
    // One group (0..3 WWAN1..WWAN4, kWifiGroup) from or into a preset file
    // the user picks.
    void LoadPreset(int nNo);
    void SavePreset(int nNo);

    // States of File > Load's group check buttons (WWAN1..WWAN4, Wi-Fi): all
    // set before its dialog shows, taken from the buttons when it closes with
    // OK. A dialog answered without being shown leaves what is here.
    std::array<bool, kGroupCount> m_bLoadGroupChecked{};

    // The control with this id, or nullptr.
    wxWindow* GetDlgItem(int nId) const;

protected:
    void PostCloseQvlSerial() override; // receive thread: queue ID_CLOSE_QVL_SERIAL

    // Outcome of an attempt, carried by ID_CONNECT_DONE.
    enum ConnectOutcome { kConnectOpenFailed, kConnectThreadFailed, kConnectNoAnswer, kConnectDone, kConnectCancelled };
    void ConnectAttempt(); // the attempt's thread: open, identity, settings
    void CancelConnect();  // ends an attempt under way and waits for its thread

    void CreateControls(); // the form as the dialog template lays it out

    wxIconBundle m_hIcon;
    std::unique_ptr<wxFont> m_pStatusFont;
    std::unique_ptr<wxFont> m_pBoldFont;
    const wxFont* m_pGroupFont = nullptr; // the dialog font, not owned
    int m_nTimerID = 0;
    bool m_bConnected = false;
    bool m_bChangeByCode = false;
    std::array<bool, kGroupCount> m_bChanged{};
    GroupControlIds GroupControlTable;

    // Counts the modal dialogs open in the process (this window's file
    // dialogs, message boxes, result and About boxes) while they are open.
    class ModalDialogCounter : public wxModalDialogHook {
    public:
        ModalDialogCounter() { Register(); }
        ~ModalDialogCounter() override { Unregister(); }
        int Open() const { return m_nOpen; }

    protected:
        int Enter(wxDialog*) override
        {
            ++m_nOpen;
            return wxID_NONE;
        }
        void Exit(wxDialog*) override { --m_nOpen; }

    private:
        int m_nOpen = 0;
    };
    ModalDialogCounter m_modalDialogs;
    ConnectBackoff m_backoff;
    std::wstring m_strOpenFailure; // "<port>\n<system text>" of the open failure last logged
    // The attempt under way. While it runs, only its thread uses the link
    // (port, receive thread, records); the window waits for ID_CONNECT_DONE.
    std::thread m_connectThread;
    std::mutex m_mtxConnect;       // the receive thread's start against a cancel
    bool m_bCancelConnect = false; // guarded by m_mtxConnect

    wxPanel* m_pPanel = nullptr;
    wxTimer m_timer;
    // Null where the system's port announcements cannot be heard: the timer
    // alone finds the unit then.
    std::unique_ptr<CPortMonitor> m_pPortMonitor;
    wxFont m_fontDialog; // the form's font; m_pGroupFont points here

    wxDECLARE_EVENT_TABLE();
};
