// Closing, the About box, and one running copy per user.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/snglinst.h>
#include <wx/testing.h>

#include "app/AboutDlg.h"
#include "core/Version.h"
#include "app/InstanceGuard.h"
#include "support/wx/UiTestSupport.h"
#include "support/BuildPaths.h"
#include "support/UtilityProcess.h"
#include "support/WaitFor.h"

namespace {

// The About box must show the product line and be dismissed with OK.
class ExpectAbout : public wxExpectModalBase<CAboutDlg, ExpectAbout> {
protected:
    int OnInvoked(CAboutDlg* pDlg) const override
    {
        EXPECT_EQ(pDlg->GetTitle(), "About Orra QVL Utility");
        wxWindow* pLine = pDlg->FindWindow(IDC_STATIC_VERSION);
        EXPECT_NE(pLine, nullptr);
        if (pLine) {
            EXPECT_EQ(pLine->GetLabel(), std::string("Orra QVL Utility, Version ") + kVersionText);
        }
        EXPECT_NE(pDlg->FindWindow(wxID_OK), nullptr);
        return wxID_OK;
    }
};

// The refusal box of a second copy.
class ExpectAlreadyRunning : public wxExpectModalBase<wxMessageDialog, ExpectAlreadyRunning> {
protected:
    int OnInvoked(wxMessageDialog* pDlg) const override
    {
        EXPECT_EQ(pDlg->GetMessage(), "Application already running.");
        EXPECT_EQ(pDlg->GetTitle(), "Orra QVL Utility");
        EXPECT_TRUE(pDlg->GetMessageDialogStyle() & wxICON_EXCLAMATION);
        return wxID_OK;
    }
};

bool Closed(TestDlg* pDlg)
{
    return wxTheApp->IsScheduledForDestruction(pDlg);
}

void SendKey(wxWindow* pWindow, int nKey)
{
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = nKey;
    event.SetEventObject(pWindow);
    wxWindow* pTop = wxGetTopLevelParent(pWindow);
    pTop->GetEventHandler()->ProcessEvent(event);
}

bool FileExists(const std::string& strPath)
{
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0;
}

// A copy holds the guard once its lock file names it: the file is created
// first and its process id written after, and a file still empty reads as
// left behind by a dead copy.
bool GuardHeld(const std::string& strLock)
{
    struct stat st;
    return ::stat(strLock.c_str(), &st) == 0 && st.st_size > 0;
}

} // namespace

TEST_F(WindowTest, AboutMenuShowsTheAboutBox)
{
    wxCommandEvent event(wxEVT_MENU, ID_ABOUT_ABOUT);
    wxTEST_DIALOG(m_pDlg->GetEventHandler()->ProcessEvent(event), ExpectAbout());
    EXPECT_TRUE(m_pLog->Has("[debug] CQVLUtilityDlg::OnAboutAbout"));
    EXPECT_FALSE(Closed(m_pDlg));
}

TEST_F(WindowTest, EscClosesAtOnceEvenWithChangedGroups)
{
    m_pDlg->Type(IDC_EDIT_APN1, "changed");
    ASSERT_TRUE(m_pDlg->m_bChanged[0]);
    // No confirmation box may appear: wxTEST_DIALOG fails on any modal dialog.
    EXPECT_NO_DIALOG(SendKey(m_pDlg->GetDlgItem(IDC_EDIT_APN1), WXK_ESCAPE));
    EXPECT_TRUE(Closed(m_pDlg));
}

TEST_F(WindowTest, FileExitCloses)
{
    wxCommandEvent event(wxEVT_MENU, ID_FILE_EXIT);
    EXPECT_NO_DIALOG(m_pDlg->GetEventHandler()->ProcessEvent(event));
    EXPECT_TRUE(Closed(m_pDlg));
    EXPECT_TRUE(m_pLog->Has("[debug] CQVLUtilityDlg::OnFileExit"));
}

TEST_F(WindowTest, CloseBoxCloses)
{
    m_pDlg->Type(IDC_EDIT_SSID, "changed");
    EXPECT_NO_DIALOG(m_pDlg->Close());
    EXPECT_TRUE(Closed(m_pDlg));
}

TEST(InstanceGuard, ASecondCopyIsRefusedAndADeadCopyLeavesNoGuard)
{
    char szTemplate[] = "/tmp/qvl-guardtest-XXXXXX";
    ASSERT_NE(::mkdtemp(szTemplate), nullptr);
    const std::string strDir = szTemplate;
    const char* pOldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string strOldRuntime = pOldRuntime ? pOldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", strDir.c_str(), 1);
    EXPECT_EQ(InstanceGuardDirectory(), strDir);
    const std::string strLock = strDir + "/QVLUtility.exe";

    {
        UtilityProcess first(QVL_UTILITY_BINARY, strDir, "--port=" + strDir + "/no-such-port");
        ASSERT_TRUE(WaitFor([&] { return GuardHeld(strLock) || first.Exited(); }));
        ASSERT_FALSE(first.Exited());

        // A second copy for the same user is refused with the box.
        wxSingleInstanceChecker second;
        bool bAcquired = true;
        wxTEST_DIALOG(bAcquired = AcquireInstanceGuard(second), ExpectAlreadyRunning());
        EXPECT_FALSE(bAcquired);

        // The first copy's window is up, and Esc ends that process.
        const std::string strWindow = first.Window();
        ASSERT_FALSE(strWindow.empty());
        RunCommand("timeout 10 xdotool windowfocus --sync " + strWindow + " key Escape");
        EXPECT_TRUE(WaitFor([&] { return first.Exited(); }));
        EXPECT_FALSE(FileExists(strLock));
        EXPECT_TRUE(FileExists(strDir + "/Orra_QVL_Utility_log.txt"));
    }
    {
        // A copy that dies without cleaning up leaves its lock behind; the
        // next start takes it over.
        UtilityProcess crashed(QVL_UTILITY_BINARY, strDir, "--port=" + strDir + "/no-such-port");
        ASSERT_TRUE(WaitFor([&] { return GuardHeld(strLock) || crashed.Exited(); }));
        crashed.Kill();
        EXPECT_TRUE(FileExists(strLock));
        wxSingleInstanceChecker next;
        bool bAcquired = false;
        EXPECT_NO_DIALOG(bAcquired = AcquireInstanceGuard(next));
        EXPECT_TRUE(bAcquired);
    }

    if (pOldRuntime)
        ::setenv("XDG_RUNTIME_DIR", strOldRuntime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(std::system(("rm -rf '" + strDir + "'").c_str()), 0);
}
