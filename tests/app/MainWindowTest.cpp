// The main window as it opens: the form, the menus, the disconnected state.
#include <fstream>
#include <iterator>
#include <vector>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include "core/Version.h"
#include "support/FileBytes.h"
#include "support/wx/UiTestSupport.h"

namespace {

std::vector<int> FormControlIds(int nNo)
{
    if (nNo == kWifiGroup)
        return {IDC_STATIC_SSID,    IDC_STATIC_SECURITY, IDC_STATIC_KEYFORMAT, IDC_STATIC_PASSPHRASE, IDC_EDIT_SSID,
                IDC_COMBO_SECURITY, IDC_COMBO_KEYFORMAT, IDC_EDIT_PASSPHRASE,  IDC_LOADPRESET5,       IDC_SAVEPRESET5};
    const int nBase[] = {IDC_STATIC_APN1, IDC_STATIC_APN2, IDC_STATIC_APN3, IDC_STATIC_APN4};
    std::vector<int> ids;
    if (nNo == 0) {
        for (int nId = IDC_STATIC_APN1; nId <= IDC_SAVEPRESET1; ++nId)
            ids.push_back(nId);
    } else {
        for (int nId = nBase[nNo]; nId < nBase[nNo] + 12; ++nId)
            ids.push_back(nId);
    }
    return ids;
}

wxArrayString Items(wxChoice* pChoice)
{
    return pChoice->GetStrings();
}

} // namespace

TEST_F(WindowTest, OpensDisconnectedWithTheFormDisabled)
{
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Disconnected");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT), "");
    for (int nNo = 0; nNo < kGroupCount; ++nNo)
        for (int nId : FormControlIds(nNo))
            EXPECT_FALSE(m_pDlg->GetDlgItem(nId)->IsEnabled()) << "control " << nId;
    for (int nId : {IDC_ERASE, IDC_RELOAD, IDC_WRITE, IDC_EDIT_MCUID, IDC_EDIT_FWVER, IDC_EDIT_SERIAL})
        EXPECT_FALSE(m_pDlg->GetDlgItem(nId)->IsEnabled()) << "control " << nId;

    wxMenuBar* pMenuBar = m_pDlg->GetMenuBar();
    ASSERT_NE(pMenuBar, nullptr);
    EXPECT_FALSE(pMenuBar->IsEnabled(ID_FILE_LOAD));
    EXPECT_FALSE(pMenuBar->IsEnabled(ID_FILE_SAVE));
    EXPECT_TRUE(pMenuBar->IsEnabled(ID_FILE_EXIT));
    EXPECT_TRUE(pMenuBar->IsEnabled(ID_ABOUT_ABOUT));

    for (int nNo = 0; nNo < kGroupCount; ++nNo)
        EXPECT_FALSE(m_pDlg->m_bChanged[static_cast<size_t>(nNo)]);
}

TEST_F(WindowTest, InitialisationLogsInOrderIntoTheFile)
{
    m_pLog.reset(); // back to the file logger of the window
    spdlog::default_logger()->flush();
    const std::string strLog = ReadBytes(m_strDir + "/Orra_QVL_Utility_log.txt");
    const size_t nStart = strLog.find(std::string("[info] QVLUtility Ver.") + kVersionText + " Start..");
    const size_t nDisconnect = strLog.find("[info] CQVLUtilityDlg::DisplayQvlInfo: disconnect");
    const size_t nGroup5 = strLog.find("[debug] CQVLUtilityDlg::EnableGroupUI nNo:5");
    const size_t nMenu = strLog.find("[debug] CQVLUtilityDlg::LoadSaveMenuEnable");
    const size_t nTimer = strLog.find("[info] CQVLUtilityDlg::OnInitDialog SetTimer:1");
    ASSERT_NE(nStart, std::string::npos) << strLog;
    ASSERT_NE(nTimer, std::string::npos) << strLog;
    EXPECT_LT(nStart, nDisconnect);
    EXPECT_LT(nDisconnect, nGroup5);
    EXPECT_LT(nGroup5, nMenu);
    EXPECT_LT(nMenu, nTimer);
    m_pLog = std::make_unique<LogCapture>();
}

TEST_F(WindowTest, FormHasTheLabelsListsAndCaptionsOfTheTemplate)
{
    auto label = [&](int nId) { return m_pDlg->GetDlgItem(nId)->GetLabel(); };
    const wxString strColon = wxString::FromUTF8("\xEF\xBC\x9A"); // full-width colon
    for (int nBase : {IDC_STATIC_APN1, IDC_STATIC_APN2, IDC_STATIC_APN3, IDC_STATIC_APN4}) {
        EXPECT_EQ(label(nBase), "APN" + strColon);
        EXPECT_EQ(label(nBase + 1), "User Name" + strColon);
        EXPECT_EQ(label(nBase + 2), "Password" + strColon);
        EXPECT_EQ(label(nBase + 3), "AUTH TYPE" + strColon);
        EXPECT_EQ(label(nBase + 4), "PDP TYPE" + strColon);
    }
    EXPECT_EQ(label(IDC_STATIC_SSID), "SSID");
    EXPECT_EQ(label(IDC_STATIC_SECURITY), "Security" + strColon);
    EXPECT_EQ(label(IDC_STATIC_KEYFORMAT), "Key Format" + strColon);
    EXPECT_EQ(label(IDC_STATIC_PASSPHRASE), "Passphrase" + strColon);
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        EXPECT_EQ(m_pDlg->Caption(nNo), wxString::Format("WWAN%d", nNo + 1));
    EXPECT_EQ(m_pDlg->Caption(kWifiGroup), "Wi-Fi");
    EXPECT_FALSE(m_pDlg->GetDlgItem(IDC_GROUP_WIFI)->IsEnabled());

    const wxArrayString auth = Items(m_pDlg->Combo(IDC_COMBO_AUTH3));
    ASSERT_EQ(auth.size(), 3u);
    EXPECT_EQ(auth[0], "none");
    EXPECT_EQ(auth[1], "CHAP");
    EXPECT_EQ(auth[2], "PAP");
    const wxArrayString pdp = Items(m_pDlg->Combo(IDC_COMBO_PDP4));
    ASSERT_EQ(pdp.size(), 3u);
    EXPECT_EQ(pdp[0], "IPV4");
    EXPECT_EQ(pdp[1], "IPV6");
    EXPECT_EQ(pdp[2], "IPV4V6");
    const wxArrayString sec = Items(m_pDlg->Combo(IDC_COMBO_SECURITY));
    ASSERT_EQ(sec.size(), 2u);
    EXPECT_EQ(sec[1], "WPA2-PSK (AES)");
    const wxArrayString fmt = Items(m_pDlg->Combo(IDC_COMBO_KEYFORMAT));
    ASSERT_EQ(fmt.size(), 2u);
    EXPECT_EQ(fmt[0], "ASCII");
    EXPECT_EQ(fmt[1], "HEX");
    for (int nId : {IDC_COMBO_AUTH1, IDC_COMBO_PDP1, IDC_COMBO_AUTH4, IDC_COMBO_SECURITY, IDC_COMBO_KEYFORMAT})
        EXPECT_EQ(m_pDlg->Combo(nId)->GetSelection(), wxNOT_FOUND) << "list " << nId;

    for (int nId = IDC_CHECK1; nId <= IDC_CHECK5; ++nId) {
        ASSERT_NE(m_pDlg->GetDlgItem(nId), nullptr) << nId;
        EXPECT_FALSE(m_pDlg->GetDlgItem(nId)->IsShown()) << nId;
    }
    m_pDlg->Show();
    for (int nId = IDC_CHECK1; nId <= IDC_CHECK5; ++nId)
        EXPECT_FALSE(m_pDlg->GetDlgItem(nId)->IsShownOnScreen()) << nId;
}

TEST_F(WindowTest, TabOrderFollowsTheTemplateAndSkipsTheUnitPanel)
{
    // Creation order is tab order: the first controls of the template, in order.
    const wxWindowList& children = m_pDlg->GetDlgItem(IDC_LOADPRESET1)->GetParent()->GetChildren();
    std::vector<int> ids;
    for (wxWindow* p : children)
        ids.push_back(p->GetId());
    const std::vector<int> expected = {IDC_LOADPRESET1, IDC_SAVEPRESET1, IDC_EDIT_APN1,   IDC_EDIT_USER1, IDC_EDIT_PW1,
                                       IDC_COMBO_AUTH1, IDC_COMBO_PDP1,  IDC_LOADPRESET2, IDC_SAVEPRESET2};
    ASSERT_GE(ids.size(), expected.size());
    EXPECT_EQ(std::vector<int>(ids.begin(), ids.begin() + static_cast<long>(expected.size())), expected);
    const auto posWrite = std::find(ids.begin(), ids.end(), IDC_WRITE);
    const auto posPassphrase = std::find(ids.begin(), ids.end(), IDC_EDIT_PASSPHRASE);
    EXPECT_EQ(posWrite - posPassphrase, 3); // Erase, Reload, Write follow the Wi-Fi group

    for (int nId : {IDC_EDIT_STATUS, IDC_EDIT_PORT, IDC_EDIT_MCUID, IDC_EDIT_FWVER, IDC_EDIT_SERIAL}) {
        EXPECT_FALSE(m_pDlg->GetDlgItem(nId)->AcceptsFocusFromKeyboard()) << nId;
        EXPECT_FALSE(m_pDlg->Edit(nId)->IsEditable()) << nId;
    }
}

TEST_F(WindowTest, StatusBoxUsesTwiceTheDialogFont)
{
    ASSERT_NE(m_pDlg->m_pStatusFont, nullptr);
    const wxFont fontStatus = m_pDlg->GetDlgItem(IDC_EDIT_STATUS)->GetFont();
    const wxFont fontPanel = m_pDlg->GetDlgItem(IDC_EDIT_MCUID)->GetFont();
    EXPECT_DOUBLE_EQ(fontStatus.GetFractionalPointSize(), 2 * fontPanel.GetFractionalPointSize());
    EXPECT_EQ(fontPanel, *m_pDlg->m_pGroupFont);
    // A changed group's caption: heavy, at the size of the others.
    m_pDlg->Type(IDC_EDIT_APN2, "changed");
    const wxFont fontChanged = m_pDlg->GetDlgItem(IDC_GROUP_WWAN2)->GetFont();
    EXPECT_GE(fontChanged.GetNumericWeight(), 900);
    EXPECT_DOUBLE_EQ(fontChanged.GetFractionalPointSize(),
                     m_pDlg->GetDlgItem(IDC_GROUP_WWAN1)->GetFont().GetFractionalPointSize());
}
