// The preset commands driven through the window, with every file dialog and
// message box answered by the tests instead of a user.
#include <array>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>
#include <sys/stat.h>

#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/timer.h>

#include "support/FileBytes.h"
#include "support/wx/UiTestSupport.h"
#include "support/wx/XInput.h"

namespace {

// File > Load's own file dialog, shown for real and driven as a user drives
// it: once it is on the screen, the group check buttons it added are read
// (the states it opened with), each one that must change is clicked until it
// has, then the path is typed into the dialog's location field ("/" opens it)
// and Enter pressed. Whatever does not happen in time fails the test and
// cancels the dialog.
class FileLoadDriver : public wxModalDialogHook {
public:
    FileLoadDriver(const std::string& strPath, const std::array<bool, kGroupCount>& bChecks)
        : m_strPath(strPath), m_bChecks(bChecks)
    {
        m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Step(); });
        Register();
    }
    ~FileLoadDriver() override { Unregister(); }
    FileLoadDriver(const FileLoadDriver&) = delete;
    FileLoadDriver& operator=(const FileLoadDriver&) = delete;

    std::array<bool, kGroupCount> bOpenedWith{};
    bool bShown = false;    // the dialog came up with its check buttons
    bool bAnswered = false; // the path was typed and Enter pressed

protected:
    int Enter(wxDialog* pDlg) override
    {
        if (auto* pFileDlg = dynamic_cast<wxFileDialog*>(pDlg)) {
            m_pFileDlg = pFileDlg;
            m_start = std::chrono::steady_clock::now();
            m_timer.Start(20);
        }
        return wxID_NONE; // shown for real
    }
    void Exit(wxDialog* pDlg) override
    {
        if (pDlg == m_pFileDlg) {
            m_timer.Stop();
            m_pFileDlg = nullptr;
        }
    }

private:
    static void FindBoxes(wxWindow* pParent, std::vector<wxCheckBox*>& boxes)
    {
        for (wxWindow* pChild : pParent->GetChildren()) {
            if (auto* pBox = dynamic_cast<wxCheckBox*>(pChild))
                boxes.push_back(pBox);
            FindBoxes(pChild, boxes);
        }
    }
    static wxPoint Centre(wxWindow* p) { return p->GetScreenRect().GetPosition() + p->GetSize() / 2; }

    void Step()
    {
        if (!m_pFileDlg || m_bBusy)
            return;
        m_bBusy = true;
        if (std::chrono::steady_clock::now() - m_start > std::chrono::seconds(20)) {
            ADD_FAILURE() << "File > Load's dialog was not driven to its end (step " << m_nStep << ")";
            m_timer.Stop();
            m_pFileDlg->EndModal(wxID_CANCEL);
        } else if (m_nStep == 0) {
            std::vector<wxCheckBox*> boxes;
            FindBoxes(m_pFileDlg, boxes);
            bool bReady = XInput::IsMapped(m_pFileDlg) && boxes.size() == kGroupCount;
            for (wxCheckBox* pBox : boxes)
                bReady = bReady && XInput::IsMapped(pBox) && pBox->GetSize().x > 0;
            if (bReady) {
                const char* const kLabels[] = {"WWAN1", "WWAN2", "WWAN3", "WWAN4", "Wi-Fi"};
                for (size_t i = 0; i < kGroupCount; ++i) {
                    EXPECT_EQ(boxes[i]->GetLabel(), kLabels[i]);
                    bOpenedWith[i] = boxes[i]->GetValue();
                }
                m_boxes = boxes;
                bShown = true;
                // Without a window manager the keyboard follows the pointer.
                m_input.MoveTo(Centre(m_boxes[0]));
                m_input.Settle();
                m_nStep = 1;
            }
        } else if (m_nStep == 1) {
            size_t i = 0;
            while (i < kGroupCount && m_boxes[i]->GetValue() == m_bChecks[i])
                ++i;
            if (i == kGroupCount) {
                m_nStep = 2;
            } else if (m_nClicked != static_cast<int>(i)) {
                m_nClicked = static_cast<int>(i);
                m_input.MoveTo(Centre(m_boxes[i]));
                m_input.Click();
                m_input.Settle();
            }
        } else if (m_nStep == 2) {
            m_input.Key('/');
            m_input.Text(m_strPath.substr(1));
            m_input.Key(WXK_RETURN);
            bAnswered = true;
            m_nStep = 3;
            m_input.Settle();
        }
        m_bBusy = false;
    }

    std::string m_strPath;
    std::array<bool, kGroupCount> m_bChecks;
    wxFileDialog* m_pFileDlg = nullptr;
    std::vector<wxCheckBox*> m_boxes;
    wxTimer m_timer;
    XInput m_input;
    std::chrono::steady_clock::time_point m_start;
    int m_nStep = 0;
    int m_nClicked = -1;
    bool m_bBusy = false;
};

// Any file dialog: records its kind, title and filter, then answers.
struct FileDialogSeen {
    long nStyle = 0;
    wxString strTitle, strWildcard;
};
class ExpectFileDialog : public wxExpectModalBase<wxFileDialog, ExpectFileDialog> {
public:
    ExpectFileDialog(FileDialogSeen* pSeen, const wxString& strPath, int nAnswer = wxID_OK)
        : m_pSeen(pSeen), m_strPath(strPath), m_nAnswer(nAnswer)
    {
    }

protected:
    int OnInvoked(wxFileDialog* pFileDlg) const override
    {
        m_pSeen->nStyle = pFileDlg->GetWindowStyle();
        m_pSeen->strTitle = pFileDlg->GetMessage();
        m_pSeen->strWildcard = pFileDlg->GetWildcard();
        if (!m_strPath.empty())
            pFileDlg->SetPath(m_strPath);
        return m_nAnswer;
    }

private:
    FileDialogSeen* m_pSeen;
    wxString m_strPath;
    int m_nAnswer;
};

// A message box: records what it says, then is closed with OK.
struct MessageSeen {
    wxString strMessage, strCaption;
    long nStyle = 0;
};
class ExpectMessage : public wxExpectModalBase<wxMessageDialog, ExpectMessage> {
public:
    explicit ExpectMessage(MessageSeen* pSeen) : m_pSeen(pSeen) { }

protected:
    int OnInvoked(wxMessageDialog* pMsgDlg) const override
    {
        m_pSeen->strMessage = pMsgDlg->GetMessage();
        m_pSeen->strCaption = pMsgDlg->GetCaption();
        m_pSeen->nStyle = pMsgDlg->GetMessageDialogStyle();
        return wxID_OK;
    }

private:
    MessageSeen* m_pSeen;
};

const std::array<bool, kGroupCount> kAllChecked = {true, true, true, true, true};

} // namespace

class PresetWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Connected as far as the form is concerned; no port is open.
        m_pDlg->m_bConnected = true;
        m_pDlg->DisplayQvlInfo();
        m_pLog->Clear();
    }

    std::string Path(const std::string& strName) const { return m_strDir + "/" + strName; }
    void WriteFile(const std::string& strName, const std::string& strText) const
    {
        std::ofstream(Path(strName), std::ios::binary) << strText;
    }
    std::string ReadFile(const std::string& strName) const { return ReadBytes(Path(strName)); }
    bool Exists(const std::string& strName) const
    {
        struct stat st;
        return ::stat(Path(strName).c_str(), &st) == 0;
    }

    void Click(int nId)
    {
        wxCommandEvent event(wxEVT_BUTTON, nId);
        event.SetEventObject(m_pDlg->GetDlgItem(nId));
        m_pDlg->GetDlgItem(nId)->GetEventHandler()->ProcessEvent(event);
    }
    void Menu(int nId)
    {
        wxCommandEvent event(wxEVT_MENU, nId);
        m_pDlg->ProcessWindowEvent(event);
    }
    // File > Load through its real dialog: the path chosen, the group check
    // buttons left in the given states. The states it opened with, when asked.
    void LoadAll(const std::string& strPath, const std::array<bool, kGroupCount>& bChecks,
                 std::array<bool, kGroupCount>* pOpenedWith = nullptr)
    {
        FileLoadDriver driver(strPath, bChecks);
        Menu(ID_FILE_LOAD);
        EXPECT_TRUE(driver.bShown) << "File > Load showed no dialog with the group check buttons";
        EXPECT_TRUE(driver.bAnswered);
        if (pOpenedWith)
            *pOpenedWith = driver.bOpenedWith;
    }

    // Fills the records and shows them, every group unmarked.
    void ShowSample()
    {
        m_pDlg->SetWwanProfile(0, Profile(L"first.apn", L"u1", L"p1", L"0", L"1"));
        m_pDlg->SetWwanProfile(1, Profile(L"second.apn", L"u2", L"p2", L"1", L"2"));
        m_pDlg->SetWwanProfile(2, Profile(L"third.apn", L"u3", L"p3", L"2", L"0"));
        m_pDlg->SetWwanProfile(3, Profile(L"fourth.apn", L"u4", L"p4", L"0", L"0"));
        m_pDlg->SetWifiSettings(Wifi(L"home", L"1", L"0", L"passphrase1"));
        m_pDlg->ShowAllGroups();
    }

    std::array<bool, kGroupCount> Marks() const
    {
        std::array<bool, kGroupCount> b{};
        for (size_t i = 0; i < kGroupCount; ++i)
            b[i] = m_pDlg->m_bChanged[i];
        return b;
    }

    // Everything a failed load must leave alone: the form, the marks, the records.
    struct Snapshot {
        std::vector<wxString> texts;
        std::vector<int> selections;
        std::array<bool, kGroupCount> marks;
        WwanProfiles profiles;
        WifiSettings wifi;
        bool operator==(const Snapshot& o) const
        {
            return texts == o.texts && selections == o.selections && marks == o.marks && profiles == o.profiles
                && wifi == o.wifi;
        }
    };
    Snapshot Take() const
    {
        Snapshot s;
        for (int nId : {IDC_EDIT_APN1, IDC_EDIT_USER1, IDC_EDIT_PW1, IDC_EDIT_APN2, IDC_EDIT_USER2, IDC_EDIT_PW2,
                        IDC_EDIT_APN3, IDC_EDIT_USER3, IDC_EDIT_PW3, IDC_EDIT_APN4, IDC_EDIT_USER4, IDC_EDIT_PW4,
                        IDC_EDIT_SSID, IDC_EDIT_PASSPHRASE})
            s.texts.push_back(m_pDlg->Text(nId));
        for (int nId : {IDC_COMBO_AUTH1, IDC_COMBO_PDP1, IDC_COMBO_AUTH2, IDC_COMBO_PDP2, IDC_COMBO_AUTH3,
                        IDC_COMBO_PDP3, IDC_COMBO_AUTH4, IDC_COMBO_PDP4, IDC_COMBO_SECURITY, IDC_COMBO_KEYFORMAT})
            s.selections.push_back(m_pDlg->Combo(nId)->GetSelection());
        for (int i = 0; i < kGroupCount; ++i)
            s.marks[static_cast<size_t>(i)] = m_pDlg->m_bChanged[static_cast<size_t>(i)];
        for (int nNo = 0; nNo < kWwanCount; ++nNo)
            s.profiles[static_cast<size_t>(nNo)] = m_pDlg->GetWwanProfile(nNo);
        s.wifi = m_pDlg->GetWifiSettings();
        return s;
    }
};

// ---- Loading one group ------------------------------------------------------

TEST_F(PresetWindowTest, LoadPresetShowsTheFileInItsGroupAndMarksOnlyThatGroup)
{
    ShowSample();
    WriteFile("cell.wwan",
              "[WWAN]\r\nAPN=loaded.apn\r\nUSERNAME=alice\r\nPASSWORD=s3cret\r\nAUTHTYPE=2\r\n"
              "PDPTYPE=1\r\n");
    m_pLog->Clear();

    wxTEST_DIALOG(Click(IDC_LOADPRESET2), wxExpectModal<wxFileDialog>(Path("cell.wwan")));

    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN2), "loaded.apn");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_USER2), "alice");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PW2), "s3cret");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_AUTH2)->GetStringSelection(), "PAP");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_PDP2)->GetStringSelection(), "IPV6");
    EXPECT_EQ(m_pDlg->Caption(1), "WWAN2 (Changed)");
    EXPECT_TRUE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WWAN2)));
    EXPECT_EQ(Marks(), (std::array<bool, kGroupCount>{false, true, false, false, false}));
    EXPECT_EQ(m_pDlg->Caption(0), "WWAN1");
    EXPECT_FALSE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WWAN1)));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "first.apn");

    // Nothing goes to the unit, and nothing asks the user anything more.
    EXPECT_TRUE(m_pDlg->GetSendData().empty());
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::LoadWwanPreset nNo:2"));
    EXPECT_TRUE(m_pLog->Has("[info] Load WWAN Preset 2 [" + Path("cell.wwan") + "]"));
    EXPECT_TRUE(m_pLog->Has("[info] Display WWAN 2 APN loaded.apn"));
}

TEST_F(PresetWindowTest, WifiLoadPresetReplacesOutOfRangeValuesAndMarksWifi)
{
    ShowSample();
    WriteFile("net.wifi", "[Wi-Fi]\nSSID=  cafe net  \nPASSPHRASE=\"pa ss\"\nPWTYPE=2\n");

    wxTEST_DIALOG(Click(IDC_LOADPRESET5), wxExpectModal<wxFileDialog>(Path("net.wifi")));

    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SSID), "cafe net");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PASSPHRASE), "pa ss");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_SECURITY)->GetStringSelection(), "WPA2-PSK (AES)"); // absent key
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_KEYFORMAT)->GetStringSelection(), "ASCII");         // 2 replaced
    EXPECT_EQ(m_pDlg->Caption(kWifiGroup), "Wi-Fi (Changed)");
    EXPECT_TRUE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WIFI)));
    EXPECT_EQ(Marks(), (std::array<bool, kGroupCount>{false, false, false, false, true}));
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::OnBnClickedLoadpreset5"));
}

TEST_F(PresetWindowTest, LoadPresetWithoutItsSectionOrFileChangesNothing)
{
    ShowSample();
    WriteFile("other.all", "[WWAN1]\nAPN=numbered\n[wwan]\nAPN=wrong case\n[Wi-Fi]\nSSID=x\n");
    const Snapshot before = Take();

    wxTEST_DIALOG(Click(IDC_LOADPRESET1), wxExpectModal<wxFileDialog>(Path("other.all")));
    wxTEST_DIALOG(Click(IDC_LOADPRESET3), wxExpectModal<wxFileDialog>(Path("missing.wwan")));
    wxTEST_DIALOG(Click(IDC_LOADPRESET5), wxExpectModal<wxFileDialog>(Path("nowhere/x.wifi")));

    EXPECT_TRUE(Take() == before);
    EXPECT_EQ(m_pDlg->Caption(0), "WWAN1");
    EXPECT_EQ(m_pLog->Count("[error]"), 0u);
}

TEST_F(PresetWindowTest, ValuesWithTabsSaveAndLoadBackAndARefusedLoadSaysWhy)
{
    // Values as a unit may hold them: File > Save writes them, File > Load
    // and Load Preset read the same file back exactly.
    ShowSample();
    WwanProfile tabbed = m_pDlg->GetWwanProfile(0);
    tabbed.strApn = L"inter\tnet";
    tabbed.strPassword = L"\tpw\t";
    m_pDlg->SetWwanProfile(0, tabbed);
    m_pDlg->SetDataToGroup(0);
    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("tab.all")));
    m_pDlg->Type(IDC_EDIT_APN1, "typed");
    m_pDlg->Type(IDC_EDIT_APN2, "typed");
    wxTEST_DIALOG(Menu(ID_FILE_LOAD), wxExpectModal<wxFileDialog>(Path("tab.all")));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "inter\tnet");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PW1), "\tpw\t");
    EXPECT_EQ(m_pDlg->GetWwanProfile(0), tabbed);
    WriteFile("tab.wwan", "[WWAN]\r\nAPN=a\tb\r\n");
    wxTEST_DIALOG(Click(IDC_LOADPRESET2), wxExpectModal<wxFileDialog>(Path("tab.wwan")));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN2), "a\tb");

    // A value no preset may hold: the user is told the file, key and reason.
    WriteFile("bad.all", "[WWAN1]\r\nAPN=ok\r\n[WWAN2]\r\nUSERNAME=x\x1by\r\n[WWAN3]\r\n[WWAN4]\r\n[Wi-Fi]\r\n");
    WriteFile("bad.wifi", "[Wi-Fi]\r\nSSID=x\x7f\r\n");
    const Snapshot before = Take();
    MessageSeen allSeen, wifiSeen;
    wxTEST_DIALOG(Menu(ID_FILE_LOAD), wxExpectModal<wxFileDialog>(Path("bad.all")), ExpectMessage(&allSeen));
    wxTEST_DIALOG(Click(IDC_LOADPRESET5), wxExpectModal<wxFileDialog>(Path("bad.wifi")), ExpectMessage(&wifiSeen));
    EXPECT_TRUE(Take() == before);
    EXPECT_EQ(allSeen.strMessage, "The preset could not be loaded from\n" + Path("bad.all") +
                                      "\n\nThe value of USERNAME in [WWAN2] holds a control character (U+001B), "
                                      "which a preset file cannot store.");
    EXPECT_NE(wifiSeen.strMessage.find(Path("bad.wifi")), wxString::npos) << wifiSeen.strMessage;
    EXPECT_NE(wifiSeen.strMessage.find("SSID in [Wi-Fi] holds a control character (U+007F)"), wxString::npos)
        << wifiSeen.strMessage;
    EXPECT_TRUE(wifiSeen.nStyle & wxICON_ERROR);
}

// ---- Saving one group ----------------------------------------------------------

TEST_F(PresetWindowTest, WwanPresetSavedFromOneGroupLoadsIntoAnotherUnchanged)
{
    ShowSample();
    // What the user typed, including texts the unit would refuse.
    m_pDlg->Type(IDC_EDIT_APN1, L"  spaced \u00E9 apn ");
    m_pDlg->Type(IDC_EDIT_USER1, L"\"quoted\"");
    m_pDlg->Type(IDC_EDIT_PW1, L"a=b;c#d");
    m_pDlg->Pick(IDC_COMBO_PDP1, 2);
    m_pDlg->Pick(IDC_COMBO_AUTH1, 0);
    const auto marksBeforeSave = Marks();

    wxTEST_DIALOG(Click(IDC_SAVEPRESET1), wxExpectModal<wxFileDialog>(Path("one.wwan")));
    EXPECT_EQ(Marks(), marksBeforeSave); // saving touches no mark
    const std::string strFile = ReadFile("one.wwan");
    EXPECT_EQ(strFile.find("[WWAN]"), 0u) << strFile;
    EXPECT_EQ(strFile.find("[WWAN1]"), std::string::npos) << strFile;

    wxTEST_DIALOG(Click(IDC_LOADPRESET3), wxExpectModal<wxFileDialog>(Path("one.wwan")));

    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN3), wxString(L"  spaced \u00E9 apn "));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_USER3), "\"quoted\"");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PW3), "a=b;c#d");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_PDP3)->GetStringSelection(), "IPV4V6");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_AUTH3)->GetStringSelection(), "none");
    EXPECT_EQ(m_pDlg->Caption(2), "WWAN3 (Changed)");
    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::SaveWwanPreset 1"));
}

TEST_F(PresetWindowTest, NameWithoutExtensionGetsTheKindsExtension)
{
    ShowSample();
    wxTEST_DIALOG(Click(IDC_SAVEPRESET4), wxExpectModal<wxFileDialog>(Path("plain")));
    wxTEST_DIALOG(Click(IDC_SAVEPRESET5), wxExpectModal<wxFileDialog>(Path("plain")));
    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("plain")));
    EXPECT_TRUE(Exists("plain.wwan"));
    EXPECT_TRUE(Exists("plain.wifi"));
    EXPECT_TRUE(Exists("plain.all"));
    EXPECT_FALSE(Exists("plain"));

    // Opening a name typed without extension finds the preset of the kind...
    wxTEST_DIALOG(Click(IDC_LOADPRESET2), wxExpectModal<wxFileDialog>(Path("plain")));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN2), "fourth.apn");
    // ...but a file that exists under exactly that name is opened as named.
    WriteFile("bare", "[Wi-Fi]\nSSID=bare file\n");
    wxTEST_DIALOG(Click(IDC_LOADPRESET5), wxExpectModal<wxFileDialog>(Path("bare")));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SSID), "bare file");
}

TEST_F(PresetWindowTest, WwanPresetSavedIntoAnAllFileKeepsItsSections)
{
    ShowSample();
    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("set.all")));
    m_pDlg->Type(IDC_EDIT_APN2, "changed.apn");

    wxTEST_DIALOG(Click(IDC_SAVEPRESET2), wxExpectModal<wxFileDialog>(Path("set.all")));

    const std::string strFile = ReadFile("set.all");
    for (const char* pszSection : {"[WWAN1]", "[WWAN2]", "[WWAN3]", "[WWAN4]", "[Wi-Fi]", "[WWAN]"})
        EXPECT_NE(strFile.find(pszSection), std::string::npos) << pszSection << "\n" << strFile;
    EXPECT_NE(strFile.find("APN=second.apn"), std::string::npos) << strFile;  // WWAN2 as File > Save left it
    EXPECT_NE(strFile.find("APN=changed.apn"), std::string::npos) << strFile; // the new WWAN section
}

TEST_F(PresetWindowTest, EveryDialogOffersItsKindAndNeverInsists)
{
    struct Case {
        std::function<void()> run;
        bool bSave;
        const char* pszWildcard;
    };
    const Case cases[] = {
        {[this] { Click(IDC_LOADPRESET1); }, false, "WWAN Preset File(*.wwan)|*.wwan"},
        {[this] { Click(IDC_SAVEPRESET3); }, true, "WWAN Preset File(*.wwan)|*.wwan"},
        {[this] { Click(IDC_LOADPRESET5); }, false, "Wi-Fi Preset File(*.wifi)|*.wifi"},
        {[this] { Click(IDC_SAVEPRESET5); }, true, "Wi-Fi Preset File(*.wifi)|*.wifi"},
        {[this] { Menu(ID_FILE_LOAD); }, false, "All Preset File(*.all)|*.all"},
        {[this] { Menu(ID_FILE_SAVE); }, true, "All Preset File(*.all)|*.all"},
    };
    for (const Case& c : cases) {
        FileDialogSeen seen;
        wxTEST_DIALOG(c.run(), ExpectFileDialog(&seen, wxEmptyString, wxID_CANCEL));
        EXPECT_EQ(seen.strWildcard, c.pszWildcard);
        EXPECT_EQ((seen.nStyle & wxFD_SAVE) != 0, c.bSave) << c.pszWildcard;
        EXPECT_EQ(seen.nStyle & (wxFD_FILE_MUST_EXIST | wxFD_OVERWRITE_PROMPT), 0) << c.pszWildcard;
        EXPECT_EQ(seen.strTitle, c.bSave ? "Save As" : "Open");
    }
}

// ---- Cancelling ---------------------------------------------------------------

TEST_F(PresetWindowTest, CancellingAnyDialogOnlyLogsItsLine)
{
    ShowSample();
    const Snapshot before = Take();
    const struct {
        int nId;
        bool bMenu;
        const char* pszLine;
    } cases[] = {
        {IDC_LOADPRESET1, false, "[info] Load Preset 1 Cancel."},
        {IDC_LOADPRESET4, false, "[info] Load Preset 4 Cancel."},
        {IDC_LOADPRESET5, false, "[info] Load Preset Cancel."},
        {IDC_SAVEPRESET2, false, "[info] Save Preset 2 Cancel."},
        {IDC_SAVEPRESET5, false, "[info] Save Preset Cancel."},
        {ID_FILE_LOAD, true, "[info] Load All Preset Cancel."},
        {ID_FILE_SAVE, true, "[info] Save All Preset Cancel."},
    };
    for (const auto& c : cases) {
        m_pLog->Clear();
        wxTEST_DIALOG(c.bMenu ? Menu(c.nId) : Click(c.nId), wxExpectModal<wxFileDialog>(Path("x.all"), wxID_CANCEL));
        const auto lines = m_pLog->Lines();
        ASSERT_EQ(lines.size(), 2u) << c.pszLine;
        EXPECT_EQ(lines[1], c.pszLine);
    }
    EXPECT_TRUE(Take() == before);
    EXPECT_FALSE(Exists("x.all"));
}

// ---- File > Load ----------------------------------------------------------------

TEST_F(PresetWindowTest, FileLoadWithOnlyWifiCheckedNeedsNoWwanSection)
{
    ShowSample();
    WriteFile("wifi-only.all", "[Wi-Fi]\r\nSSID=office\r\nPASSPHRASE=0123456789abcdef\r\nSECURITY=0\r\nPWTYPE=1\r\n");

    std::array<bool, kGroupCount> bOpenedWith{};
    LoadAll(Path("wifi-only.all"), {false, false, false, false, true}, &bOpenedWith);

    EXPECT_EQ(bOpenedWith, kAllChecked);
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SSID), "office");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_SECURITY)->GetStringSelection(), "none");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_KEYFORMAT)->GetStringSelection(), "HEX");
    EXPECT_EQ(Marks(), (std::array<bool, kGroupCount>{false, false, false, false, true}));
    EXPECT_EQ(m_pDlg->Caption(kWifiGroup), "Wi-Fi (Changed)");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "first.apn");
    EXPECT_EQ(m_pLog->Count("Load WWAN Preset"), 0u);

    // The next File > Load opens with every group checked again.
    LoadAll(Path("wifi-only.all"), {}, &bOpenedWith);
    EXPECT_EQ(bOpenedWith, kAllChecked);
}

TEST_F(PresetWindowTest, FileLoadIsAllOrNothing)
{
    ShowSample();
    m_pDlg->Type(IDC_EDIT_APN4, "typed"); // a mark of the user's own stays
    WriteFile("partial.all", "[WWAN1]\nAPN=file1\n[WWAN2]\nAPN=file2\n[WWAN3]\nAPN=file3\n[wi-fi]\nSSID=case\n");
    const Snapshot before = Take();

    // WWAN1 and Wi-Fi checked, but the file has no "Wi-Fi".
    LoadAll(Path("partial.all"), {true, false, false, false, true});
    EXPECT_TRUE(Take() == before);
    EXPECT_EQ(m_pDlg->GetWwanProfile(0).strApn, L"first.apn");
    // All checked (as it opens): WWAN4 is missing.
    wxTEST_DIALOG(Menu(ID_FILE_LOAD), wxExpectModal<wxFileDialog>(Path("partial.all")));
    EXPECT_TRUE(Take() == before);
    // A file that is not there (the dialog lets no user pick one; answered
    // without it, every group checked as it opens).
    wxTEST_DIALOG(Menu(ID_FILE_LOAD), wxExpectModal<wxFileDialog>(Path("absent.all")));
    EXPECT_TRUE(Take() == before);
    // Nothing checked.
    LoadAll(Path("partial.all"), {});
    EXPECT_TRUE(Take() == before);
    EXPECT_EQ(m_pDlg->Caption(3), "WWAN4 (Changed)");
    EXPECT_EQ(m_pDlg->Caption(0), "WWAN1");

    // The sections it does have load when only they are asked for.
    LoadAll(Path("partial.all"), {true, false, true, false, false});
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "file1");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN2), "second.apn");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN3), "file3");
    EXPECT_EQ(Marks(), (std::array<bool, kGroupCount>{true, false, true, true, false}));
}

// ---- File > Save ----------------------------------------------------------------

TEST_F(PresetWindowTest, FileSaveWritesEveryGroupAsTheFormHoldsIt)
{
    ShowSample();
    // Texts the unit would refuse, and lists with no selection.
    const std::wstring strLongApn(150, L'a');
    m_pDlg->m_bChangeByCode = true;
    m_pDlg->Edit(IDC_EDIT_APN2)->SetValue(strLongApn);
    m_pDlg->Edit(IDC_EDIT_SSID)->SetValue(L"");
    m_pDlg->Edit(IDC_EDIT_PASSPHRASE)->SetValue(L"short");
    m_pDlg->Combo(IDC_COMBO_AUTH3)->SetSelection(wxNOT_FOUND);
    m_pDlg->m_bChangeByCode = false;
    ASSERT_EQ(Marks(), (std::array<bool, kGroupCount>{}));

    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("all.all")));

    EXPECT_EQ(Marks(), (std::array<bool, kGroupCount>{}));
    const std::string strFile = ReadFile("all.all");
    size_t nAt = 0;
    for (const char* pszSection : {"[WWAN1]", "[WWAN2]", "[WWAN3]", "[WWAN4]", "[Wi-Fi]"}) {
        const size_t nFound = strFile.find(pszSection);
        ASSERT_NE(nFound, std::string::npos) << pszSection << "\n" << strFile;
        EXPECT_GE(nFound, nAt) << pszSection << " out of order\n" << strFile;
        nAt = nFound;
    }
    EXPECT_NE(strFile.find("APN=" + std::string(150, 'a')), std::string::npos);
    EXPECT_NE(strFile.find("AUTHTYPE=-1"), std::string::npos) << strFile;

    // Loading it back into an emptied form gives the same form.
    const Snapshot saved = Take();
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        m_pDlg->SetWwanProfile(nNo, WwanProfile{});
    m_pDlg->SetWifiSettings(WifiSettings{});
    m_pDlg->ShowAllGroups();
    wxTEST_DIALOG(Menu(ID_FILE_LOAD), wxExpectModal<wxFileDialog>(Path("all.all"))); // all checked, as it opens
    const Snapshot loaded = Take();
    EXPECT_EQ(loaded.texts, saved.texts);
    // AUTHTYPE=-1 reads back as the default, as a preset file's out-of-range value does.
    std::vector<int> expected = saved.selections;
    expected[4] = 1;
    EXPECT_EQ(loaded.selections, expected);
    EXPECT_EQ(Marks(), kAllChecked);
}

// ---- Failed saves -----------------------------------------------------------------

TEST_F(PresetWindowTest, SaveIntoAMissingFolderIsReportedAndLogged)
{
    ShowSample();
    const std::string strTarget = Path("no/such/folder/p.wwan");
    MessageSeen seen;
    wxTEST_DIALOG(Click(IDC_SAVEPRESET1), wxExpectModal<wxFileDialog>(strTarget), ExpectMessage(&seen));

    EXPECT_EQ(seen.strMessage,
              "The preset could not be saved to\n" + wxString::FromUTF8(strTarget) + "\n\nNo such file or directory");
    EXPECT_EQ(seen.strCaption, "Orra QVL Utility");
    EXPECT_TRUE(seen.nStyle & wxICON_ERROR);
    EXPECT_GE(m_pLog->Count("[error]"), 1u);
    EXPECT_FALSE(Exists("no"));
}

TEST_F(PresetWindowTest, SaveIntoAReadOnlyFileLeavesItAsItWas)
{
    ShowSample();
    const std::string strOld = "[Wi-Fi]\nSSID=kept\n";
    WriteFile("locked.all", strOld);
    ASSERT_EQ(::chmod(Path("locked.all").c_str(), 0444), 0);

    MessageSeen wifiSeen, allSeen;
    wxTEST_DIALOG(Click(IDC_SAVEPRESET5), wxExpectModal<wxFileDialog>(Path("locked.all")), ExpectMessage(&wifiSeen));
    // File > Save replaces the file once: one failure, one message.
    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("locked.all")), ExpectMessage(&allSeen));

    for (const MessageSeen* p : {&wifiSeen, &allSeen}) {
        EXPECT_NE(p->strMessage.find(wxString::FromUTF8(Path("locked.all"))), wxString::npos) << p->strMessage;
        EXPECT_TRUE(p->nStyle & wxICON_ERROR);
    }
    EXPECT_EQ(ReadFile("locked.all"), strOld);
    EXPECT_EQ(m_pLog->Count("Save All Preset Failed [" + Path("locked.all") + "]"), 1u);
    EXPECT_GE(m_pLog->Count("[error]"), 2u);
    ::chmod(Path("locked.all").c_str(), 0644);
}

TEST_F(PresetWindowTest, ValueWithALineBreakIsRefusedBeforeAnythingIsWritten)
{
    ShowSample();
    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("good.all")));
    const std::string strGood = ReadFile("good.all");
    m_pDlg->Type(IDC_EDIT_APN1, "new.apn");
    m_pDlg->Type(IDC_EDIT_PW3, "line\nbreak");

    MessageSeen allSeen, oneSeen;
    wxTEST_DIALOG(Menu(ID_FILE_SAVE), wxExpectModal<wxFileDialog>(Path("good.all")), ExpectMessage(&allSeen));
    EXPECT_EQ(ReadFile("good.all"), strGood); // not even WWAN1, before the faulty group
    EXPECT_NE(allSeen.strMessage.find("PASSWORD"), wxString::npos) << allSeen.strMessage;
    EXPECT_NE(allSeen.strMessage.find("WWAN3"), wxString::npos) << allSeen.strMessage;
    EXPECT_TRUE(
        m_pLog->Has("[error] Save All Preset Failed [" + Path("good.all")
                    + "] The value of PASSWORD in WWAN3 holds a line break, which a preset file cannot store."));

    wxTEST_DIALOG(Click(IDC_SAVEPRESET3), wxExpectModal<wxFileDialog>(Path("three.wwan")), ExpectMessage(&oneSeen));
    EXPECT_FALSE(Exists("three.wwan"));
    EXPECT_TRUE(oneSeen.nStyle & wxICON_ERROR);
}
