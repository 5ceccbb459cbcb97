// Records to form and back, change marks, and the unit panel.
#include <wx/menu.h>

#include "support/wx/UiTestSupport.h"

TEST_F(WindowTest, RecordsSurviveTheTripThroughTheForm)
{
    const WwanProfile wwan[kWwanCount] = {
        Profile(L"internet", L"user", L"secret", L"0", L"1"),
        Profile(L" spaced apn ", L"\u30E6\u30FC\u30B6", L"p\u00E4ss \U0001F600", L"2", L"2"),
        Profile(L"", L"", L"", L"1", L"0"),
        Profile(L"a\tb", L"x=y;z", L"\"quoted\"", L"2", L"1"),
    };
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        m_pDlg->SetWwanProfile(nNo, wwan[nNo]);
    const WifiSettings wifi = Wifi(L"My SSID \u00E9", L"1", L"1", L"0123456789abcdef");
    m_pDlg->SetWifiSettings(wifi);
    m_pDlg->ShowAllGroups();

    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN2), wxString(L" spaced apn "));
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_PDP2)->GetStringSelection(), "IPV4V6");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_AUTH1)->GetStringSelection(), "CHAP");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_AUTH2)->GetStringSelection(), "PAP");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_SECURITY)->GetStringSelection(), "WPA2-PSK (AES)");
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_KEYFORMAT)->GetStringSelection(), "HEX");

    // Clear the records, then read the form back.
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        m_pDlg->SetWwanProfile(nNo, WwanProfile{});
    m_pDlg->SetWifiSettings(WifiSettings{});
    for (int nNo = 0; nNo < kGroupCount; ++nNo)
        m_pDlg->GetDataFromGroup(nNo);
    for (int nNo = 0; nNo < kWwanCount; ++nNo)
        EXPECT_EQ(m_pDlg->GetWwanProfile(nNo), wwan[nNo]) << "WWAN" << nNo + 1;
    EXPECT_EQ(m_pDlg->GetWifiSettings(), wifi);
}

TEST_F(WindowTest, IndexTextIsReadLikeANumberAndComesBackCanonical)
{
    struct Case {
        const wchar_t* pszIndex;
        int nSelection; // in the three-item lists
        const wchar_t* pszBack;
    } cases[] = {
        {L"01", 1, L"1"},
        {L"  2", 2, L"2"},
        {L"1 ", 1, L"1"},
        {L"1abc", 1, L"1"},
        {L"", 0, L"0"},
        {L"abc", 0, L"0"},
        {L"3", -1, L"-1"},
        {L"-1", -1, L"-1"},
        {L"99999999999", -1, L"-1"},
        {L"4294967297", -1, L"-1"},
        {L"-4294967296", -1, L"-1"},
    };
    for (const Case& c : cases) {
        m_pDlg->SetWwanProfile(2, Profile(L"apn", L"", L"", c.pszIndex, c.pszIndex));
        m_pDlg->ShowAllGroups();
        EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_PDP3)->GetSelection(), c.nSelection) << "index text '" << c.pszIndex << "'";
        EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_AUTH3)->GetSelection(), c.nSelection) << "index text '" << c.pszIndex << "'";
        m_pDlg->GetDataFromGroup(2);
        EXPECT_EQ(m_pDlg->GetWwanProfile(2).strPdpType, c.pszBack) << "index text '" << c.pszIndex << "'";
        EXPECT_EQ(m_pDlg->GetWwanProfile(2).strAuthType, c.pszBack) << "index text '" << c.pszIndex << "'";
    }

    // The Wi-Fi lists have two items: "2" is already out of range.
    m_pDlg->SetWifiSettings(Wifi(L"ssid", L"2", L"", L"passphrase"));
    m_pDlg->ShowAllGroups();
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_SECURITY)->GetSelection(), wxNOT_FOUND);
    EXPECT_EQ(m_pDlg->Combo(IDC_COMBO_KEYFORMAT)->GetStringSelection(), "ASCII");
    m_pDlg->GetDataFromGroup(kWifiGroup);
    EXPECT_EQ(m_pDlg->GetWifiSettings().strSecurity, L"-1");
    EXPECT_EQ(m_pDlg->GetWifiSettings().strKeyFormat, L"0");
}

TEST_F(WindowTest, GroupNumbersOutsideTheFormChangeNothing)
{
    m_pDlg->SetWwanProfile(0, Profile(L"apn", L"u", L"p", L"1", L"1"));
    m_pDlg->ShowAllGroups();
    m_pLog->Clear();
    for (int nNo : {5, -1, 1000}) {
        m_pDlg->SetDataToGroup(nNo);
        m_pDlg->GetDataFromGroup(nNo);
        m_pDlg->EnableGroupUI(nNo, true);
    }
    EXPECT_EQ(m_pLog->Lines(),
              (std::vector<std::string>{
                  "[debug] CQVLUtilityDlg::SetDataToGroup nNo:6",
                  "[debug] CQVLUtilityDlg::GetDataFromGroup nNo:6",
                  "[debug] CQVLUtilityDlg::EnableGroupUI nNo:6",
                  "[debug] CQVLUtilityDlg::SetDataToGroup nNo:0",
                  "[debug] CQVLUtilityDlg::GetDataFromGroup nNo:0",
                  "[debug] CQVLUtilityDlg::EnableGroupUI nNo:0",
                  "[debug] CQVLUtilityDlg::SetDataToGroup nNo:1001",
                  "[debug] CQVLUtilityDlg::GetDataFromGroup nNo:1001",
                  "[debug] CQVLUtilityDlg::EnableGroupUI nNo:1001",
              }));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "apn");
    EXPECT_FALSE(m_pDlg->GetDlgItem(IDC_EDIT_APN1)->IsEnabled());
}

TEST_F(WindowTest, ShowingAGroupLogsEveryValue)
{
    m_pDlg->SetWwanProfile(1, Profile(L"apn\u00E9", L"user", L"pw", L"2", L"1"));
    m_pDlg->SetWifiSettings(Wifi(L"ssid", L"1", L"0", L"passphrase"));
    m_pLog->Clear();
    m_pDlg->m_bChangeByCode = true;
    m_pDlg->SetDataToGroup(1);
    m_pDlg->SetDataToGroup(kWifiGroup);
    m_pDlg->m_bChangeByCode = false;
    for (const char* pszLine :
         {"[info] Display WWAN 2 APN apn\xC3\xA9", "[info] Display WWAN 2 username user",
          "[info] Display WWAN 2 password pw", "[info] Display WWAN 2 PDP 2", "[info] Display WWAN 2 Auth 1",
          "[info] Display WiFi SSID ssid", "[info] Display WiFi security 1", "[info] Display WiFi key_fmt 0",
          "[info] Display WiFi passphrase passphrase", "[debug] CQVLUtilityDlg::SetDataToGroup nNo:2",
          "[debug] CQVLUtilityDlg::DisplayModifiedState nNo:5"})
        EXPECT_TRUE(m_pLog->Has(pszLine)) << pszLine;
}

TEST_F(WindowTest, FillingTheFormByProgramMarksNothing)
{
    m_pDlg->SetWifiSettings(Wifi(L"ssid", L"1", L"1", L"passphrase"));
    m_pDlg->ShowAllGroups();
    m_pLog->Clear();
    // Unchanged texts still notify; the guard swallows every notification.
    m_pDlg->ShowAllGroups();
    EXPECT_EQ(m_pLog->Count("[debug] CQVLUtilityDlg::OnEnChangeWifi m_bChangeByCode"), 2u);
    for (int nNo = 0; nNo < kGroupCount; ++nNo) {
        EXPECT_FALSE(m_pDlg->m_bChanged[static_cast<size_t>(nNo)]) << nNo;
        EXPECT_FALSE(m_pDlg->Caption(nNo).Contains("Changed")) << nNo;
        EXPECT_FALSE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WWAN1 + nNo))) << nNo;
    }
}

TEST_F(WindowTest, TypingMarksOnlyItsOwnGroupOnce)
{
    m_pDlg->SetWwanProfile(1, Profile(L"internet", L"", L"", L"0", L"0"));
    m_pDlg->ShowAllGroups();
    m_pLog->Clear();

    m_pDlg->Type(IDC_EDIT_APN2, "internet2");
    EXPECT_EQ(m_pDlg->Caption(1), "WWAN2 (Changed)");
    EXPECT_TRUE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WWAN2)));
    for (int nNo : {0, 2, 3, 4}) {
        EXPECT_FALSE(m_pDlg->m_bChanged[static_cast<size_t>(nNo)]) << nNo;
        EXPECT_FALSE(m_pDlg->Caption(nNo).Contains("Changed")) << nNo;
        EXPECT_FALSE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WWAN1 + nNo))) << nNo;
    }

    // More typing, and typing back what was read, change nothing further.
    m_pDlg->Type(IDC_EDIT_APN2, "internet");
    m_pDlg->Pick(IDC_COMBO_PDP2, 2);
    EXPECT_EQ(m_pLog->Count("CQVLUtilityDlg::DisplayModifiedState nNo:2"), 1u);
    EXPECT_TRUE(m_pDlg->m_bChanged[1]);
    EXPECT_EQ(m_pDlg->Caption(1), "WWAN2 (Changed)");

    // A program fill after a read clears the mark.
    m_pDlg->ShowAllGroups();
    EXPECT_EQ(m_pDlg->Caption(1), "WWAN2");
    EXPECT_FALSE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WWAN2)));
}

TEST_F(WindowTest, EveryControlOfAGroupMarksThatGroup)
{
    const int nEdits[kWwanCount][3] = {{IDC_EDIT_APN1, IDC_EDIT_USER1, IDC_EDIT_PW1},
                                       {IDC_EDIT_APN2, IDC_EDIT_USER2, IDC_EDIT_PW2},
                                       {IDC_EDIT_APN3, IDC_EDIT_USER3, IDC_EDIT_PW3},
                                       {IDC_EDIT_APN4, IDC_EDIT_USER4, IDC_EDIT_PW4}};
    const int nLists[kWwanCount][2] = {{IDC_COMBO_AUTH1, IDC_COMBO_PDP1},
                                       {IDC_COMBO_AUTH2, IDC_COMBO_PDP2},
                                       {IDC_COMBO_AUTH3, IDC_COMBO_PDP3},
                                       {IDC_COMBO_AUTH4, IDC_COMBO_PDP4}};
    auto onlyMarked = [&](int nMarked) {
        for (int nNo = 0; nNo < kGroupCount; ++nNo)
            if (m_pDlg->m_bChanged[static_cast<size_t>(nNo)] != (nNo == nMarked))
                return false;
        return true;
    };
    for (int nNo = 0; nNo < kWwanCount; ++nNo) {
        for (int nId : nEdits[nNo]) {
            m_pDlg->ShowAllGroups();
            m_pDlg->Type(nId, "typed");
            EXPECT_TRUE(onlyMarked(nNo)) << "edit " << nId;
        }
        for (int nId : nLists[nNo]) {
            m_pDlg->ShowAllGroups();
            m_pDlg->Pick(nId, 1);
            EXPECT_TRUE(onlyMarked(nNo)) << "list " << nId;
        }
    }
    for (int nId : {IDC_EDIT_SSID, IDC_EDIT_PASSPHRASE}) {
        m_pDlg->ShowAllGroups();
        m_pDlg->Type(nId, "typed");
        EXPECT_TRUE(onlyMarked(kWifiGroup)) << "edit " << nId;
    }
    for (int nId : {IDC_COMBO_SECURITY, IDC_COMBO_KEYFORMAT}) {
        m_pDlg->ShowAllGroups();
        m_pDlg->Pick(nId, 1);
        EXPECT_TRUE(onlyMarked(kWifiGroup)) << "list " << nId;
    }
}

TEST_F(WindowTest, KeyFormatChangeMarksWifiAndLogsEachOutcome)
{
    m_pDlg->ShowAllGroups();
    m_pLog->Clear();
    m_pDlg->Pick(IDC_COMBO_KEYFORMAT, 1);
    EXPECT_EQ(m_pDlg->Caption(kWifiGroup), "Wi-Fi (Changed)");
    EXPECT_TRUE(IsHeavy(m_pDlg->GetDlgItem(IDC_GROUP_WIFI)));
    m_pDlg->Type(IDC_EDIT_SSID, "other");
    EXPECT_EQ(m_pLog->Lines(),
              (std::vector<std::string>{
                  "[debug] CQVLUtilityDlg::OnEnChangeWifi bChanged = TRUE",
                  "[debug] CQVLUtilityDlg::DisplayModifiedState nNo:5",
                  "[debug] CQVLUtilityDlg::OnEnChangeWifi bChanged",
              }));
}

TEST_F(WindowTest, ConnectedPanelShowsTheIdentityWithoutItsLabels)
{
    DeviceInfo info;
    info.strMcuId = L"MCUID 0123ABCD"; // ends in label letters: they stay
    info.strVersion = L"VER 1.0.4 VER";
    info.strSerial = L"SERIAL 12345678";
    m_pDlg->SetDeviceInfo(info);
    m_pDlg->m_strComPort = L"/dev/ttyACM0";
    m_pDlg->m_bConnected = true;
    m_pLog->Clear();
    m_pDlg->DisplayQvlInfo();

    EXPECT_TRUE(m_pLog->Has("[info] CQVLUtilityDlg::DisplayQvlInfo: connect"));
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Connected");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT), "(/dev/ttyACM0)");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), "0123ABCD");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_FWVER), "1.0.4 VER");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_SERIAL), "SERIAL 12345678");
    EXPECT_EQ(m_pDlg->GetDeviceInfo().strMcuId, L"0123ABCD");
    EXPECT_EQ(m_pDlg->GetDeviceInfo().strVersion, L"1.0.4 VER");

    // Showing again takes nothing more off.
    m_pDlg->DisplayQvlInfo();
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), "0123ABCD");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_FWVER), "1.0.4 VER");

    // A value that never had the label shows unchanged.
    info.strMcuId = L"DCBA MCUID";
    info.strVersion = L"R1.0";
    m_pDlg->SetDeviceInfo(info);
    m_pDlg->DisplayQvlInfo();
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), "DCBA MCUID");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_FWVER), "R1.0");
}

TEST_F(WindowTest, ConnectingEnablesEverythingAndLosingTheUnitKeepsTheForm)
{
    m_pDlg->SetWwanProfile(3, Profile(L"apn4", L"", L"", L"1", L"1"));
    DeviceInfo info;
    info.strMcuId = L"MCUID 42";
    info.strVersion = L"VER 2";
    info.strSerial = L"S1";
    m_pDlg->SetDeviceInfo(info);
    m_pDlg->m_strComPort = L"/dev/ttyACM1";
    m_pDlg->m_bConnected = true;
    m_pDlg->m_bChangeByCode = true;
    m_pDlg->DisplayQvlInfo();
    m_pDlg->m_bChangeByCode = false;
    m_pDlg->ShowAllGroups();

    for (int nId : {IDC_EDIT_APN1, IDC_COMBO_PDP4, IDC_STATIC_PASSPHRASE, IDC_LOADPRESET5, IDC_SAVEPRESET3, IDC_ERASE,
                    IDC_RELOAD, IDC_WRITE, IDC_EDIT_MCUID, IDC_EDIT_SERIAL})
        EXPECT_TRUE(m_pDlg->GetDlgItem(nId)->IsEnabled()) << nId;
    EXPECT_TRUE(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_LOAD));
    EXPECT_TRUE(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_SAVE));
    EXPECT_FALSE(m_pDlg->GetDlgItem(IDC_GROUP_WIFI)->IsEnabled()); // stays as the template has it

    m_pDlg->Type(IDC_EDIT_USER4, "someone");
    m_pDlg->m_bConnected = false;
    m_pDlg->DisplayQvlInfo();

    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Disconnected");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_PORT), "");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_MCUID), "42");
    EXPECT_FALSE(m_pDlg->GetDlgItem(IDC_EDIT_MCUID)->IsEnabled());
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_APN4), "apn4");
    EXPECT_EQ(m_pDlg->Text(IDC_EDIT_USER4), "someone");
    EXPECT_EQ(m_pDlg->Caption(3), "WWAN4 (Changed)");
    EXPECT_TRUE(m_pDlg->m_bChanged[3]);
    for (int nId : {IDC_EDIT_APN4, IDC_LOADPRESET1, IDC_COMBO_KEYFORMAT, IDC_WRITE})
        EXPECT_FALSE(m_pDlg->GetDlgItem(nId)->IsEnabled()) << nId;
    EXPECT_FALSE(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_LOAD));
    EXPECT_FALSE(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_SAVE));
    EXPECT_TRUE(m_pDlg->GetMenuBar()->IsEnabled(ID_FILE_EXIT));
}
