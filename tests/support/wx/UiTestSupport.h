#pragma once
// Shared pieces of the window tests: a window whose protected state the tests
// may read, and a fixture that creates and initialises it in a temporary
// directory (the log file lands there) with port discovery pointed at an empty
// tree, so the supervisor never finds a unit.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/statbox.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

#include "app/QVLUtilityDlg.h"
#include "app/Resource.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

// Records built field by field, in the records' field order.
inline WwanProfile Profile(const wchar_t* apn, const wchar_t* user, const wchar_t* pw, const wchar_t* pdp,
                           const wchar_t* auth)
{
    WwanProfile p;
    p.strApn = apn;
    p.strUserName = user;
    p.strPassword = pw;
    p.strPdpType = pdp;
    p.strAuthType = auth;
    return p;
}

inline WifiSettings Wifi(const wchar_t* ssid, const wchar_t* sec, const wchar_t* fmt, const wchar_t* pass)
{
    WifiSettings w;
    w.strSsid = ssid;
    w.strSecurity = sec;
    w.strKeyFormat = fmt;
    w.strPassphrase = pass;
    return w;
}

// True when the window draws in the heavy font of a changed group.
inline bool IsHeavy(wxWindow* p)
{
    return p->GetFont().GetNumericWeight() >= 900;
}

// Runs queued events and deletes windows scheduled for destruction.
void ProcessPendingWork();

// Runs the event loop (timer, queued thread events, deferred deletions) until
// pred holds or the bound passes. True when pred held.
bool RunEventsUntil(const std::function<bool()>& pred, std::chrono::milliseconds bound);

// While it lives, every modal dialog fails the test and is answered Cancel
// at once instead of being shown (where it would wait for a user).
class NoDialogHook : public wxModalDialogHook {
public:
    NoDialogHook(const char* pszFile, int nLine) : m_pszFile(pszFile), m_nLine(nLine) { Register(); }
    ~NoDialogHook() override { Unregister(); }
    NoDialogHook(const NoDialogHook&) = delete;
    NoDialogHook& operator=(const NoDialogHook&) = delete;

protected:
    int Enter(wxDialog* pDlg) override
    {
        ADD_FAILURE_AT(m_pszFile, m_nLine) << "a modal dialog was shown: \"" << pDlg->GetTitle().utf8_str() << "\"";
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override { }

private:
    const char* m_pszFile;
    int m_nLine;
};

// Runs code and fails the test if it shows any modal dialog.
#define EXPECT_NO_DIALOG(code)                                                                                         \
    {                                                                                                                  \
        NoDialogHook qvl_no_dialog(__FILE__, __LINE__);                                                                \
        code;                                                                                                          \
    }

class TestDlg : public CQVLUtilityDlg {
public:
    using CQVLUtilityDlg::m_bChangeByCode;
    using CQVLUtilityDlg::m_bChanged;
    using CQVLUtilityDlg::m_bConnected;
    using CQVLUtilityDlg::m_nTimerID;
    using CQVLUtilityDlg::m_pBoldFont;
    using CQVLUtilityDlg::m_pGroupFont;
    using CQVLUtilityDlg::m_pStatusFont;
    using CQVLUtilityDlg::m_strComPort;
    using CQVLUtilityDlg::m_timer;

    wxTextCtrl* Edit(int nId) const { return static_cast<wxTextCtrl*>(GetDlgItem(nId)); }
    wxChoice* Combo(int nId) const { return static_cast<wxChoice*>(GetDlgItem(nId)); }
    wxString Text(int nId) const { return Edit(nId)->GetValue(); }
    wxString Caption(int nNo) const { return GetDlgItem(IDC_GROUP_WWAN1 + nNo)->GetLabel(); }

    // What a user's typing does: the text changes and the change is notified.
    void Type(int nId, const wxString& str) { Edit(nId)->SetValue(str); }
    // What a user's pick in a drop-down list does.
    void Pick(int nId, int nIndex)
    {
        Combo(nId)->SetSelection(nIndex);
        wxCommandEvent event(wxEVT_CHOICE, nId);
        event.SetEventObject(Combo(nId));
        event.SetInt(nIndex);
        Combo(nId)->GetEventHandler()->ProcessEvent(event);
    }
    // Fills the form from the records as the program does.
    void ShowAllGroups() { RefreshForm(); }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.Valid());
        m_strDir = m_dir.Str();
        m_pCwd = std::make_unique<CurrentDirectory>(m_strDir);
        ASSERT_TRUE(m_pCwd->Entered());

        m_pDlg = new TestDlg;
        m_pDlg->SetSysfsRoot(m_strDir + "/no-sysfs");
        m_pDlg->OnInitDialog(CommandLine());
        m_pDlg->m_timer.Stop(); // the tests drive the window themselves
        m_pLog = std::make_unique<LogCapture>();
    }

    void TearDown() override
    {
        m_pLog.reset();
        if (m_pDlg && !wxTheApp->IsScheduledForDestruction(m_pDlg))
            m_pDlg->Destroy();
        ProcessPendingWork();
        m_pCwd.reset();
    }

    virtual std::string CommandLine() const { return "qvl-utility --log=DEBUG"; }

    TempDir m_dir{"qvl-uitest"};
    std::unique_ptr<CurrentDirectory> m_pCwd;
    std::string m_strDir;
    TestDlg* m_pDlg = nullptr;
    std::unique_ptr<LogCapture> m_pLog;
};
