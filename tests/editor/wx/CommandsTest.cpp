// The Erase, Reload and Write buttons end to end: window, link, receive
// thread, parser and the virtual unit on its pseudo-terminal.
#include <atomic>
#include <chrono>
#include <thread>

#include <wx/stattext.h>
#include <wx/timer.h>

#include "core/TextUtil.h"
#include "support/wx/XInput.h"
#include "editor/wx/CommandsTestSupport.h"

using namespace std::chrono_literals;

namespace {

// The exchange of a Write of SampleSettings(), as the unit must receive it.
const char* const kSampleWrite[] = {
    "set 1 apn apn.carrier1\r", "set 1 user user1\r", "set 1 pw pw1\r",    "set 1 auth 1\r",         "set 1 pdp 0\r",
    "set 2 apn apn.carrier2\r", "set 2 user user2\r", "set 2 pw pw2\r",    "set 2 auth 2\r",         "set 2 pdp 1\r",
    "set 3 apn apn.carrier3\r", "set 3 user user3\r", "set 3 pw pw3\r",    "set 3 auth 0\r",         "set 3 pdp 2\r",
    "set 4 apn apn.carrier4\r", "set 4 user user4\r", "set 4 pw pw4\r",    "set 4 auth 1\r",         "set 4 pdp 0\r",
    "set w ssid office\r",      "set w sec 1\r",      "set w pw_type 0\r", "set w pw secret-pass\r", "fw\r",
};

bool AllPlain(TestDlg* pDlg)
{
    for (int nNo = 0; nNo < kGroupCount; ++nNo) {
        if (pDlg->Caption(nNo).Contains("(Changed)") || pDlg->m_bChanged[static_cast<size_t>(nNo)])
            return false;
    }
    return true;
}

// Index of the first log line holding the text, or the number of lines.
size_t LogIndex(LogCapture& log, const std::string& strLine)
{
    const auto lines = log.Lines();
    return static_cast<size_t>(std::find(lines.begin(), lines.end(), strLine) - lines.begin());
}

} // namespace

// ---- Write ------------------------------------------------------------------

TEST_F(CommandsTest, WriteOfAnUnchangedFormSendsEveryLineThenCommits)
{
    wxTEST_DIALOG(Click(IDC_WRITE), ExpectResult(L"Write Result", L"", L"Write Successfully", L""));

    std::string strExpected;
    for (const char* pszLine : kSampleWrite)
        strExpected += pszLine;
    EXPECT_EQ(m_pUnit->ReceivedBytes(), strExpected);
    EXPECT_TRUE(AllPlain(m_pDlg));
    EXPECT_TRUE(m_pLog->Has("[info] Write Successfully"));
    EXPECT_TRUE(m_pLog->Has("[info] Write WWAN 2 password pw2"));
    ExpectSameSettings(SampleSettings(), m_pUnit->CommittedSettings());
}

TEST_F(CommandsTest, WriteStoresEveryFieldTheFormShowsAndClearsTheMarks)
{
    EditEveryGroup();
    for (int nNo = 0; nNo < kGroupCount; ++nNo)
        ASSERT_TRUE(m_pDlg->Caption(nNo).EndsWith(" (Changed)")) << nNo;
    const UnitSettings shown = FormSettings();

    wxTEST_DIALOG(Click(IDC_WRITE), ExpectResult(L"Write Result", L"", L"Write Successfully", L""));

    ExpectSameSettings(shown, m_pUnit->CommittedSettings());
    EXPECT_EQ(m_pDlg->Caption(0), "WWAN1");
    EXPECT_EQ(m_pDlg->Caption(kWifiGroup), "Wi-Fi");
    EXPECT_TRUE(AllPlain(m_pDlg));
    // The form is not read back: it still holds what was typed.
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PW3), "typed#pw&3");
    ExpectSameSettings(shown, FormSettings());
}

TEST_F(CommandsTest, RejectedLineEndsTheWriteAndIsShownAsSent)
{
    m_pDlg->Type(IDC_EDIT_USER2, "bob");
    VirtualUnitFaults faults;
    faults.nErrorOnSetLine = 7;
    m_pUnit->SetFaults(faults);

    wxTEST_DIALOG(Click(IDC_WRITE),
                  ExpectResult(L"Write Result", L"Write Failed", L"set 2 user bob\r", Port() + L" Write Error."));

    const auto lines = m_pUnit->ReceivedLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], "set 2 apn apn.carrier2\r");
    EXPECT_EQ(lines[6], "set 2 user bob\r");
    EXPECT_EQ(Flags(), (std::vector<bool>{false, true, false, false, false}));
    EXPECT_EQ(m_pDlg->Caption(1), "WWAN2 (Changed)");
    EXPECT_TRUE(m_pLog->Has("[error] CQVLUtilityDlg::OnBnClickedWrite " + ToUtf8(Port()) + " Write Error."));
    EXPECT_FALSE(m_pLog->Has("[info] Write Successfully"));
    ExpectSameSettings(SampleSettings(), m_pUnit->CommittedSettings());
}

TEST_F(CommandsTest, ErrorReplyToTheCommitIsAFailedWrite)
{
    m_pDlg->Type(IDC_EDIT_SSID, "lab");
    VirtualUnitFaults faults;
    faults.strErrorOnCommand = "fw\r";
    m_pUnit->SetFaults(faults);

    wxTEST_DIALOG(Click(IDC_WRITE), ExpectResult(L"Write Result", L"Write Failed", L"fw\r", Port() + L" Write Error."));

    EXPECT_EQ(m_pUnit->ReceivedLines().size(), 25u);
    EXPECT_EQ(Flags(), (std::vector<bool>{false, false, false, false, true}));
    EXPECT_EQ(m_pDlg->Caption(kWifiGroup), "Wi-Fi (Changed)");
    EXPECT_FALSE(m_pLog->Has("[info] Write Successfully"));
    EXPECT_TRUE(m_pLog->Has("[error] CQVLUtilityDlg::OnBnClickedWrite " + ToUtf8(Port()) + " Write Error."));
    ExpectSameSettings(SampleSettings(), m_pUnit->CommittedSettings());
}

TEST_F(CommandsTest, UnansweredCommitTimesOutAndKeepsTheConnection)
{
    m_pDlg->SetReplyTimeout(300ms);
    m_pDlg->Type(IDC_EDIT_APN4, "late");
    VirtualUnitFaults faults;
    faults.strSilentOnCommand = "fw\r";
    m_pUnit->SetFaults(faults);

    wxTEST_DIALOG(Click(IDC_WRITE),
                  ExpectResult(L"Write Result", L"Write Failed", L"fw\r", Port() + L" Timeout Error."));

    EXPECT_TRUE(m_pDlg->m_bChanged[3]);
    ProcessPendingWork();
    EXPECT_TRUE(m_pDlg->m_bConnected);
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Connected");
}

// ---- Validation in the window ---------------------------------------------

TEST_F(CommandsTest, InvalidFieldShowsOnlyTheBoxSendsNothingAndFocusesTheField)
{
    m_pDlg->Type(IDC_EDIT_APN2, "my apn");
    m_pDlg->Type(IDC_EDIT_PASSPHRASE, "short"); // also invalid, reported later
    const std::vector<bool> flagsBefore = Flags();

    wxTEST_DIALOG(Click(IDC_WRITE),
                  ExpectValidationBox(L"WWAN 2 - APN\nPlease enter only ASCII characters other than spaces."));

    EXPECT_EQ(m_pUnit->ReceivedBytes(), "");
    EXPECT_EQ(Flags(), flagsBefore);
    EXPECT_EQ(wxWindow::FindFocus(), m_pDlg->GetDlgItem(IDC_EDIT_APN2));
    EXPECT_EQ(m_pDlg->Edit(IDC_EDIT_APN2)->GetInsertionPoint(), 6);
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::OnBnClickedWrite CheckEnterText return false"));
    // The records still hold what was read, not the form's text.
    EXPECT_EQ(m_pDlg->GetWwanProfile(1).strApn, L"apn.carrier2");
}

TEST_F(CommandsTest, ValidationReportsTheFirstFailureInFormOrderWithItsField)
{
    struct Case {
        int nId;
        wxString strText;
        int nKeyFormat;
        std::wstring strBox;
        int nFocus;
    };
    const Case cases[] = {
        // A WWAN failure comes before any Wi-Fi failure.
        {IDC_EDIT_PW4, wxString('x', 33), 0, L"WWAN 4 - Password\nPlease enter 32 characters or less.", IDC_EDIT_PW4},
        {IDC_EDIT_SSID, L"caf\u00e9", 0, L"Wi-Fi - SSID\nPlease enter only ASCII characters other than spaces.",
         IDC_EDIT_SSID},
        {IDC_EDIT_PASSPHRASE, "seven77", 0, L"Wi-Fi - Passphrase (ASCII)\nPlease enter characters length of 8 to 63.",
         IDC_EDIT_PASSPHRASE},
        // No key format selected: the passphrase must be hexadecimal.
        {IDC_EDIT_PASSPHRASE, "eightchr", -1, L"Wi-Fi - Passphrase (HEX)\nPlease enter 64 digits.",
         IDC_EDIT_PASSPHRASE},
    };
    m_pDlg->Type(IDC_EDIT_PASSPHRASE, "bad");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strBox);
        m_pDlg->Combo(IDC_COMBO_KEYFORMAT)->SetSelection(c.nKeyFormat);
        m_pDlg->Type(c.nId, c.strText);
        m_pDlg->GetDlgItem(IDC_WRITE)->SetFocus();
        bool bResult = true;
        wxTEST_DIALOG(bResult = m_pDlg->CheckEnterText(), ExpectValidationBox(c.strBox));
        EXPECT_FALSE(bResult);
        EXPECT_EQ(wxWindow::FindFocus(), m_pDlg->GetDlgItem(c.nFocus));
        // Put the field right before the next case.
        m_pDlg->Type(c.nId, c.nId == IDC_EDIT_PASSPHRASE ? "" : "ok");
        if (c.nId != IDC_EDIT_PASSPHRASE)
            m_pDlg->Type(IDC_EDIT_PASSPHRASE, c.nId == IDC_EDIT_SSID ? "seven77" : "bad");
    }
    // Everything valid: no box at all.
    m_pDlg->Type(IDC_EDIT_PASSPHRASE, "");
    {
        GTestModalHook noBoxExpected(__FILE__, __LINE__, "CheckEnterText");
        EXPECT_TRUE(m_pDlg->CheckEnterText());
    }
    EXPECT_EQ(m_pUnit->ReceivedBytes(), "");
}

// ---- Reload and Erase -------------------------------------------------------

TEST_F(CommandsTest, ReloadDiscardsEditsAndClearsEveryMark)
{
    EditEveryGroup();
    UnitSettings onUnit = SampleSettings();
    onUnit.wwan[2].strApn = L"changed.on.unit";
    onUnit.wifi.strKeyFormat = L"1";
    m_pUnit->SetSettings(onUnit);

    wxTEST_DIALOG(Click(IDC_RELOAD), ExpectResult(L"Reload Result", L"", L"Reload Successfully", L""));

    EXPECT_EQ(m_pUnit->ReceivedLines(), std::vector<std::string>{"get\r"});
    ExpectSameSettings(onUnit, FormSettings());
    EXPECT_TRUE(AllPlain(m_pDlg));
    EXPECT_FALSE(m_pDlg->m_bChangeByCode);
    EXPECT_TRUE(m_pLog->Has("[info] Reload Successfully"));
    // Typing after the reload marks the group again.
    m_pDlg->Type(IDC_EDIT_USER1, "again");
    EXPECT_EQ(m_pDlg->Caption(0), "WWAN1 (Changed)");
}

TEST_F(CommandsTest, EraseAsksNothingErasesAndReadsBack)
{
    m_pDlg->Type(IDC_EDIT_APN1, "edited");

    wxTEST_DIALOG(Click(IDC_ERASE), ExpectResult(L"Erase Result", L"", L"Erase Successfully", L""));

    EXPECT_EQ(m_pUnit->ReceivedLines(), (std::vector<std::string>{"fe\r", "get\r"}));
    ExpectSameSettings(FactoryUnitSettings(), m_pUnit->CommittedSettings());
    ExpectSameSettings(FactoryUnitSettings(), FormSettings());
    EXPECT_TRUE(AllPlain(m_pDlg));
    EXPECT_LT(LogIndex(*m_pLog, "[info] Erase Successfully"), LogIndex(*m_pLog, "[info] Reload Successfully"));
    EXPECT_LT(LogIndex(*m_pLog, "[info] Reload Successfully"), m_pLog->Lines().size());
}

TEST_F(CommandsTest, EraseFailuresLeaveTheFormAndItsMarks)
{
    m_pDlg->Type(IDC_EDIT_PW1, "kept");
    const UnitSettings shown = FormSettings();

    // The unit refuses to erase.
    VirtualUnitFaults faults;
    faults.strErrorOnCommand = "fe\r";
    m_pUnit->SetFaults(faults);
    wxTEST_DIALOG(Click(IDC_ERASE), ExpectResult(L"Erase Result", L"Erase Failed", L"fe\r", Port() + L" Erase Error."));
    EXPECT_EQ(m_pUnit->ReceivedLines(), std::vector<std::string>{"fe\r"});
    ExpectSameSettings(SampleSettings(), m_pUnit->Settings());

    // The unit erases but its settings cannot be read back.
    m_pLog->Clear();
    m_pUnit->ClearReceived();
    faults.strErrorOnCommand = "get\r";
    m_pUnit->SetFaults(faults);
    wxTEST_DIALOG(Click(IDC_ERASE),
                  ExpectResult(L"Reload Result", L"Reload Failed", L"get\r", Port() + L" Reload Error."));
    EXPECT_EQ(m_pUnit->ReceivedLines(), (std::vector<std::string>{"fe\r", "get\r"}));
    ExpectSameSettings(FactoryUnitSettings(), m_pUnit->Settings());
    const size_t nErased = LogIndex(*m_pLog, "[info] Erase Successfully");
    const size_t nFailed = LogIndex(*m_pLog, "[error] Erase Failed");
    EXPECT_LT(nErased, nFailed);
    EXPECT_LT(nFailed, m_pLog->Lines().size());

    ExpectSameSettings(shown, FormSettings());
    EXPECT_EQ(Flags(), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(m_pDlg->Caption(0), "WWAN1 (Changed)");
}

TEST_F(CommandsTest, UnitLostDuringReloadFailsTheCommandThenShowsDisconnected)
{
    m_pDlg->Type(IDC_EDIT_SSID, "mine");
    VirtualUnitFaults faults;
    faults.strSilentOnCommand = "get\r";
    m_pUnit->SetFaults(faults);

    // Pull the unit once the command has reached it.
    std::atomic<bool> bDone{false};
    std::thread unplugger([&] {
        while (!bDone && m_pUnit->ReceivedLines().empty())
            std::this_thread::sleep_for(2ms);
        m_pUnit->Unplug();
    });
    wxTEST_DIALOG(Click(IDC_RELOAD),
                  ExpectResult(L"Reload Result", L"Reload Failed", L"get\r", Port() + L" Disconnected."));
    bDone = true;
    unplugger.join();

    // The lost-link notification waits in the queue until the dialog is over.
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Connected");
    ProcessPendingWork();
    EXPECT_FALSE(m_pDlg->m_bConnected);
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Disconnected");
    EXPECT_FALSE(m_pDlg->GetDlgItem(IDC_RELOAD)->IsEnabled());
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SSID), "mine");
    EXPECT_TRUE(m_pDlg->m_bChanged[kWifiGroup]);
}

// ---- The result dialog --------------------------------------------------------

TEST_F(CommandsTest, ResultDialogShowsControlCharactersAndLongLinesWhole)
{
    EXPECT_EQ(CWriteResultDlg::DisplayText(L"fw\r"), L"fw\u240D");
    EXPECT_EQ(CWriteResultDlg::DisplayText(std::wstring(L"a\0b\n\x7f", 5)), L"a\u2400b\u240A\u2421");
    EXPECT_EQ(CWriteResultDlg::DisplayText(L"R&D caf\u00e9"), L"R&D caf\u00e9");

    CWriteResultDlg dlg(m_pDlg);
    const wxSize sizeTemplate = dlg.GetClientSize();
    dlg.SetResultText(L"Write Result", L"Write Failed", L"set w pw " + std::wstring(64, L'f') + L"\r",
                      L"/dev/ttyACM0 Write Error.");
    auto* pLine = static_cast<wxStaticText*>(dlg.FindWindow(IDC_STATIC_LINE2));
    EXPECT_EQ(pLine->GetLabel().ToStdWstring(), L"set w pw " + std::wstring(64, L'f') + L"\u240D");
    EXPECT_GE(pLine->GetSize().x, pLine->GetTextExtent(pLine->GetLabel()).x);
    EXPECT_GE(dlg.GetClientSize().x, pLine->GetRect().GetRight());
    EXPECT_EQ(dlg.GetClientSize().y, sizeTemplate.y);
    wxWindow* pOk = dlg.FindWindow(wxID_OK);
    EXPECT_NEAR(pOk->GetRect().GetLeft() + pOk->GetSize().x / 2.0, dlg.GetClientSize().x / 2.0,
                dlg.ConvertDialogToPixels(wxSize(4, 0)).x);
}

TEST_F(CommandsTest, ResultDialogClosesWithEscLikeOk)
{
    CWriteResultDlg dlg(m_pDlg);
    dlg.SetResultText(L"Reload Result", L"", L"Reload Successfully", L"");
    EXPECT_FALSE(dlg.HasFlag(wxCLOSE_BOX));
    EXPECT_FALSE(dlg.HasFlag(wxSYSTEM_MENU));

    // Once it is on the screen, the pointer rests on it (without a window
    // manager the keyboard follows the pointer) and Esc is pressed.
    XInput input;
    bool bPressed = false;
    const auto start = std::chrono::steady_clock::now();
    wxTimer drive;
    drive.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (std::chrono::steady_clock::now() - start > 10s) {
            drive.Stop();
            dlg.EndModal(wxID_ABORT);
        } else if (!bPressed && XInput::IsMapped(&dlg)) {
            bPressed = true;
            const wxRect rect = dlg.GetScreenRect();
            input.MoveTo(wxPoint(rect.GetLeft() + 8, rect.GetTop() + 8));
            input.Key(WXK_ESCAPE);
        }
    });
    drive.Start(20);
    EXPECT_EQ(dlg.ShowModal(), wxID_OK);
    drive.Stop();
    EXPECT_TRUE(bPressed);
}
