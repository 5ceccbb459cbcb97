#include "editor/wx/CommandsTestSupport.h"

#include <wx/stattext.h>

#include "core/TextUtil.h"
#include "editor/IndexText.h"

// Each group's APN box; its User Name, Password, Auth and PDP controls follow.
const int kApnIds[kWwanCount] = {IDC_EDIT_APN1, IDC_EDIT_APN2, IDC_EDIT_APN3, IDC_EDIT_APN4};

int ExpectValidationBox::OnInvoked(wxMessageDialog* pDlg) const
{
    EXPECT_EQ(pDlg->GetMessage().ToStdWstring(), m_strText);
    EXPECT_EQ(pDlg->GetCaption(), "Orra QVL Utility");
    EXPECT_TRUE(pDlg->GetMessageDialogStyle() & wxICON_ERROR);
    EXPECT_TRUE(pDlg->GetMessageDialogStyle() & wxOK);
    return wxID_OK;
}

wxExpectModal<CWriteResultDlg> ExpectResult(std::wstring strTitle, std::wstring strLine1, std::wstring strLine2,
                                            std::wstring strLine3)
{
    return wxExpectModal<CWriteResultDlg>([=](CWriteResultDlg& dlg) {
        EXPECT_EQ(dlg.Title(), strTitle);
        EXPECT_EQ(dlg.GetTitle().ToStdWstring(), strTitle);
        EXPECT_EQ(dlg.Line1(), strLine1);
        EXPECT_EQ(dlg.Line2(), strLine2);
        EXPECT_EQ(dlg.Line3(), strLine3);
        // What the statics show: the same texts, control characters visible.
        const int nIds[] = {IDC_STATIC_LINE1, IDC_STATIC_LINE2, IDC_STATIC_LINE3};
        const std::wstring* pLines[] = {&strLine1, &strLine2, &strLine3};
        for (size_t i = 0; i < 3; ++i) {
            wxWindow* pStatic = dlg.FindWindow(nIds[i]);
            ASSERT_NE(pStatic, nullptr);
            EXPECT_EQ(pStatic->GetLabel().ToStdWstring(), CWriteResultDlg::DisplayText(*pLines[i]));
        }
    });
}

UnitSettings SampleSettings()
{
    UnitSettings s;
    for (int n = 0; n < kWwanCount; ++n) {
        WwanProfile& p = s.wwan[static_cast<size_t>(n)];
        const std::wstring strNo = std::to_wstring(n + 1);
        p.strApn = L"apn.carrier" + strNo;
        p.strUserName = L"user" + strNo;
        p.strPassword = L"pw" + strNo;
        p.strPdpType = std::to_wstring(n % 3);
        p.strAuthType = std::to_wstring((n + 1) % 3);
    }
    s.wifi = {L"office", L"1", L"0", L"secret-pass"};
    return s;
}

void ExpectSameSettings(const UnitSettings& expected, const UnitSettings& actual)
{
    for (size_t i = 0; i < expected.wwan.size(); ++i) {
        const WwanProfile& e = expected.wwan[i];
        const WwanProfile& a = actual.wwan[i];
        EXPECT_EQ(e.strApn, a.strApn) << "WWAN" << i + 1 << " APN";
        EXPECT_EQ(e.strUserName, a.strUserName) << "WWAN" << i + 1 << " user name";
        EXPECT_EQ(e.strPassword, a.strPassword) << "WWAN" << i + 1 << " password";
        EXPECT_EQ(e.strPdpType, a.strPdpType) << "WWAN" << i + 1 << " PDP type";
        EXPECT_EQ(e.strAuthType, a.strAuthType) << "WWAN" << i + 1 << " auth type";
    }
    EXPECT_EQ(expected.wifi.strSsid, actual.wifi.strSsid) << "SSID";
    EXPECT_EQ(expected.wifi.strSecurity, actual.wifi.strSecurity) << "security";
    EXPECT_EQ(expected.wifi.strKeyFormat, actual.wifi.strKeyFormat) << "key format";
    EXPECT_EQ(expected.wifi.strPassphrase, actual.wifi.strPassphrase) << "passphrase";
}

void CommandsTest::SetUp()
{
    WindowTest::SetUp();
    VirtualUnitOptions options;
    options.strLinkPath = m_strDir + "/qvl-port";
    options.settings = SampleSettings();
    m_pUnit = std::make_unique<VirtualUnit>(options);
    std::string strError;
    ASSERT_TRUE(m_pUnit->Start(&strError)) << strError;

    m_pDlg->Show();
    m_pDlg->SetPortOverride(FromUtf8(m_pUnit->PortPath()));
    m_pDlg->ComPortOpenProcess();
    ASSERT_TRUE(RunEventsUntil([&] { return !m_pDlg->IsConnecting(); }, std::chrono::milliseconds(10000)));
    ASSERT_TRUE(m_pDlg->m_bConnected);
    ASSERT_EQ(m_pDlg->Text(IDC_EDIT_STATUS), "Connected");
    ASSERT_EQ(m_pDlg->Text(IDC_EDIT_APN1), "apn.carrier1");
    m_pUnit->ClearReceived();
    m_pLog->Clear();
}

void CommandsTest::TearDown()
{
    // The receive thread goes first: it uses the window and the unit's pty.
    if (m_pDlg)
        m_pDlg->StopRecvThread();
    ProcessPendingWork();
    m_pUnit.reset();
    WindowTest::TearDown();
}

void CommandsTest::Click(int nId)
{
    wxWindow* pButton = m_pDlg->GetDlgItem(nId);
    ASSERT_NE(pButton, nullptr);
    ASSERT_TRUE(pButton->IsEnabled()) << "button " << nId;
    wxCommandEvent event(wxEVT_BUTTON, nId);
    event.SetEventObject(pButton);
    pButton->GetEventHandler()->ProcessEvent(event);
}

UnitSettings CommandsTest::FormSettings() const
{
    auto text = [this](int nId) { return m_pDlg->Text(nId).ToStdWstring(); };
    auto index = [this](int nId) { return IndexToText(m_pDlg->Combo(nId)->GetSelection()); };
    UnitSettings s;
    for (int n = 0; n < kWwanCount; ++n) {
        WwanProfile& p = s.wwan[static_cast<size_t>(n)];
        const int nApn = kApnIds[n];
        p.strApn = text(nApn);
        p.strUserName = text(nApn + 1);
        p.strPassword = text(nApn + 2);
        p.strAuthType = index(nApn + 3);
        p.strPdpType = index(nApn + 4);
    }
    s.wifi.strSsid = text(IDC_EDIT_SSID);
    s.wifi.strSecurity = index(IDC_COMBO_SECURITY);
    s.wifi.strKeyFormat = index(IDC_COMBO_KEYFORMAT);
    s.wifi.strPassphrase = text(IDC_EDIT_PASSPHRASE);
    return s;
}

void CommandsTest::EditEveryGroup()
{
    for (int n = 0; n < kWwanCount; ++n) {
        const int nApn = kApnIds[n];
        const wxString strNo = wxString::Format("%d", n + 1);
        m_pDlg->Type(nApn, "typed.apn" + strNo);
        m_pDlg->Type(nApn + 1, "typed-user" + strNo);
        m_pDlg->Type(nApn + 2, "typed#pw&" + strNo);
        m_pDlg->Pick(nApn + 3, 2 - n % 3);
        m_pDlg->Pick(nApn + 4, (n + 2) % 3);
    }
    m_pDlg->Type(IDC_EDIT_SSID, "guest_net");
    m_pDlg->Pick(IDC_COMBO_SECURITY, 0);
    m_pDlg->Pick(IDC_COMBO_KEYFORMAT, 1);
    m_pDlg->Type(IDC_EDIT_PASSPHRASE, wxString('a', 32) + wxString('F', 16) + "0123456789abcdef");
}
