// The window driven as a user drives it: real key presses and mouse clicks
// through the X server (XTest), so focus, Tab traversal, accelerators and the
// clipboard go through the toolkit exactly as on a desktop.
#include <chrono>
#include <deque>
#include <functional>
#include <vector>

#include <dlfcn.h>

#include <wx/clipbrd.h>
#include <wx/evtloop.h>
#include <wx/testing.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include "support/wx/UiTestSupport.h"
#include "support/wx/XInput.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The controls a user reaches with Tab when the form is enabled, in order.
const std::vector<int> kTabOrder = {
    IDC_LOADPRESET1, IDC_SAVEPRESET1,    IDC_EDIT_APN1,       IDC_EDIT_USER1,      IDC_EDIT_PW1,    IDC_COMBO_AUTH1,
    IDC_COMBO_PDP1,  IDC_LOADPRESET2,    IDC_SAVEPRESET2,     IDC_EDIT_APN2,       IDC_EDIT_USER2,  IDC_EDIT_PW2,
    IDC_COMBO_AUTH2, IDC_COMBO_PDP2,     IDC_LOADPRESET3,     IDC_SAVEPRESET3,     IDC_EDIT_APN3,   IDC_EDIT_USER3,
    IDC_EDIT_PW3,    IDC_COMBO_AUTH3,    IDC_COMBO_PDP3,      IDC_LOADPRESET4,     IDC_SAVEPRESET4, IDC_EDIT_APN4,
    IDC_EDIT_USER4,  IDC_EDIT_PW4,       IDC_COMBO_AUTH4,     IDC_COMBO_PDP4,      IDC_LOADPRESET5, IDC_SAVEPRESET5,
    IDC_EDIT_SSID,   IDC_COMBO_SECURITY, IDC_COMBO_KEYFORMAT, IDC_EDIT_PASSPHRASE, IDC_ERASE,       IDC_RELOAD,
    IDC_WRITE,
};

class KeyboardTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        m_ref = m_pDlg;
        m_pDlg->Show();
        m_pDlg->Raise();
        // With no window manager the keyboard follows the pointer: rest it
        // on the unit panel's caption, where a click would do nothing.
        const wxRect rect = m_pDlg->GetScreenRect();
        m_sim.MouseMove(rect.GetLeft() + rect.GetWidth() * 3 / 4, rect.GetBottom() - 8);
        ASSERT_TRUE(RunUntil([&] { return m_pDlg->IsShownOnScreen(); }, milliseconds(5000)));
        RunFor(milliseconds(200));
    }

    void TearDown() override
    {
        if (!m_ref)
            m_pDlg = nullptr;
        WindowTest::TearDown();
    }

    // Shows the form enabled, as after a connection.
    void Connect()
    {
        m_pDlg->m_bConnected = true;
        m_pDlg->DisplayQvlInfo();
        RunFor(milliseconds(100));
    }

    bool RunUntil(const std::function<bool()>& pred, milliseconds bound) { return RunEventsUntil(pred, bound); }
    void RunFor(milliseconds span)
    {
        RunUntil([] { return false; }, span);
    }

    // The control holding the keyboard focus. The toolkit's focus can sit
    // on an inner part of a control (the button inside a drop-down list) that
    // the window layer does not report, so ask the toolkit which control
    // contains it.
    int FocusId() const
    {
        if (wxWindow* p = wxWindow::FindFocus())
            return p->GetId();
        using GetFocusFn = void* (*)(void*);
        using IsAncestorFn = int (*)(void*, void*);
        static auto pGetFocus = reinterpret_cast<GetFocusFn>(::dlsym(RTLD_DEFAULT, "gtk_window_get_focus"));
        static auto pIsAncestor = reinterpret_cast<IsAncestorFn>(::dlsym(RTLD_DEFAULT, "gtk_widget_is_ancestor"));
        if (!pGetFocus || !pIsAncestor || !m_ref)
            return wxID_NONE;
        void* pFocus = pGetFocus(m_pDlg->GetHandle());
        for (int nId : kTabOrder) {
            void* pWidget = m_pDlg->GetDlgItem(nId)->GetHandle();
            if (pFocus && (pFocus == pWidget || pIsAncestor(pFocus, pWidget)))
                return nId;
        }
        return wxID_NONE;
    }

    // The window closed (its deletion may already have run).
    bool Closed() const { return !m_ref || wxTheApp->IsScheduledForDestruction(m_pDlg); }

    // Presses a key and waits until the window has handled it; with
    // bMovesFocus, also until the focus has left the control that had it.
    void Press(int nKey, int nMods = wxMOD_NONE, bool bMovesFocus = false)
    {
        const int nBefore = FocusId();
        m_input.Key(nKey, nMods);
        m_input.Settle();
        if (bMovesFocus)
            RunUntil([&] { return FocusId() != nBefore; }, milliseconds(2000));
    }
    void TypeKeys(const char* psz)
    {
        m_input.Text(psz);
        m_input.Settle();
    }

    // Counts the clicks of a button (or menu command) without running its
    // handler.
    int& CountClicks(int nId, bool bMenu = false)
    {
        m_clicks.push_back(0);
        int* pCount = &m_clicks.back();
        auto count = [pCount](wxCommandEvent&) { ++*pCount; };
        if (bMenu)
            m_pDlg->Bind(wxEVT_MENU, count, nId);
        else
            m_pDlg->Bind(wxEVT_BUTTON, count, nId);
        return *pCount;
    }

    wxUIActionSimulator m_sim;
    XInput m_input;
    wxWeakRef<wxWindow> m_ref;
    std::deque<int> m_clicks;
};

} // namespace

TEST_F(KeyboardTest, TabAndShiftTabWalkTheFormInTemplateOrder)
{
    Connect();
    ASSERT_EQ(FocusId(), IDC_LOADPRESET1);

    // The controls visited, up to the first key that moves nothing.
    auto walk = [&](int nMods) {
        std::vector<int> visited = {FocusId()};
        for (size_t n = 1; n < kTabOrder.size(); ++n) {
            Press(WXK_TAB, nMods, true);
            if (FocusId() == visited.back())
                break;
            visited.push_back(FocusId());
        }
        return visited;
    };
    EXPECT_EQ(walk(wxMOD_NONE), kTabOrder);
    EXPECT_EQ(walk(wxMOD_SHIFT), std::vector<int>(kTabOrder.rbegin(), kTabOrder.rend()));

    // A disabled group is skipped.
    m_pDlg->EnableGroupUI(1, false);
    RunFor(milliseconds(50));
    m_pDlg->GetDlgItem(IDC_COMBO_PDP1)->SetFocus();
    RunUntil([&] { return FocusId() == IDC_COMBO_PDP1; }, milliseconds(1000));
    Press(WXK_TAB, wxMOD_NONE, true);
    EXPECT_EQ(FocusId(), IDC_LOADPRESET3);
}

TEST_F(KeyboardTest, KeyboardOnlyFlowsReachTheRightControls)
{
    Connect();
    int& nLoad1 = CountClicks(IDC_LOADPRESET1);
    int& nWrite = CountClicks(IDC_WRITE);

    // Space presses the focused Load Preset.
    Press(' ');
    EXPECT_EQ(nLoad1, 1);

    // Typing after Tab lands in the next box.
    Press(WXK_TAB, wxMOD_NONE, true);
    Press(WXK_TAB, wxMOD_NONE, true);
    ASSERT_EQ(FocusId(), IDC_EDIT_APN1);
    TypeKeys("A");
    Press(WXK_TAB, wxMOD_NONE, true);
    TypeKeys("B");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "A");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_USER1), "B");
    EXPECT_TRUE(m_pDlg->m_bChanged[0]);

    // Enter in a text box does nothing; on a button it presses it.
    EXPECT_NO_DIALOG(Press(WXK_RETURN));
    EXPECT_EQ(nWrite, 0);
    EXPECT_FALSE(Closed());
    while (FocusId() != IDC_WRITE && FocusId() != IDC_LOADPRESET1)
        Press(WXK_TAB, wxMOD_NONE, true);
    ASSERT_EQ(FocusId(), IDC_WRITE);
    Press(WXK_RETURN);
    EXPECT_EQ(nWrite, 1);
    EXPECT_EQ(nLoad1, 1);

    // Esc closes.
    Press(WXK_ESCAPE);
    EXPECT_TRUE(Closed());
}

TEST_F(KeyboardTest, EnterOutsideAButtonDoesNothing)
{
    Connect();
    int nClicks = 0;
    m_pDlg->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { ++nClicks; });
    for (int nId : {IDC_EDIT_APN1, IDC_COMBO_AUTH2, IDC_EDIT_PASSPHRASE}) {
        m_pDlg->GetDlgItem(nId)->SetFocus();
        ASSERT_TRUE(RunUntil([&] { return FocusId() == nId; }, milliseconds(2000))) << nId;
        EXPECT_NO_DIALOG(Press(WXK_RETURN));
        ASSERT_FALSE(Closed()) << nId;
        EXPECT_EQ(FocusId(), nId);
    }
    EXPECT_EQ(nClicks, 0);
}

TEST_F(KeyboardTest, EscClosesTheDisconnectedWindow)
{
    ASSERT_FALSE(m_pDlg->GetDlgItem(IDC_LOADPRESET1)->IsEnabled());
    Press(WXK_ESCAPE);
    EXPECT_TRUE(Closed());
}

TEST_F(KeyboardTest, MenuShortcutsActOnlyWhileTheirItemsAreEnabled)
{
    int& nLoad = CountClicks(ID_FILE_LOAD, true);
    int& nSave = CountClicks(ID_FILE_SAVE, true);
    EXPECT_NO_DIALOG(Press('O', wxMOD_CONTROL));
    EXPECT_NO_DIALOG(Press('S', wxMOD_CONTROL));
    EXPECT_EQ(nLoad, 0);
    EXPECT_EQ(nSave, 0);

    Connect();
    Press('O', wxMOD_CONTROL);
    Press('S', wxMOD_CONTROL);
    EXPECT_EQ(nLoad, 1);
    EXPECT_EQ(nSave, 1);

    Press('Q', wxMOD_CONTROL);
    EXPECT_TRUE(Closed());
}

TEST_F(KeyboardTest, IdentitySelectedByMouseIsCopiedWithCtrlC)
{
    DeviceInfo info;
    info.strMcuId = L"MCUID 0123ABCD";
    info.strVersion = L"VER 1.0.4";
    info.strSerial = L"12345678";
    m_pDlg->SetDeviceInfo(info);
    Connect();

    wxWindow* pMcuId = m_pDlg->GetDlgItem(IDC_EDIT_MCUID);
    const wxRect rect = pMcuId->GetScreenRect();
    m_sim.MouseMove(rect.GetLeft() + 4, rect.GetTop() + rect.GetHeight() / 2);
    RunFor(milliseconds(50));
    m_sim.MouseDblClick();
    ASSERT_TRUE(RunUntil([&] { return FocusId() == IDC_EDIT_MCUID; }, milliseconds(2000)));
    RunFor(milliseconds(100));
    EXPECT_EQ(m_pDlg->Edit(IDC_EDIT_MCUID)->GetStringSelection(), "0123ABCD");
    Press('C', wxMOD_CONTROL);

    wxString strCopied;
    ASSERT_TRUE(wxTheClipboard->Open());
    wxTextDataObject data;
    if (wxTheClipboard->GetData(data))
        strCopied = data.GetText();
    wxTheClipboard->Close();
    EXPECT_EQ(strCopied, "0123ABCD");
    // Still read-only.
    TypeKeys("x");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), "0123ABCD");
}
