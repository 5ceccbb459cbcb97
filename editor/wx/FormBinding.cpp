// The settings form: records to controls and back, change marks, enabling of
// the groups and buttons, and the unit panel.
#include "app/QVLUtilityDlg.h"

#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>

#include "app/Resource.h"
#include "core/Log.h"
#include "core/LogText.h"
#include "core/TextUtil.h"
#include "editor/IndexText.h"
#include "protocol/WireFields.h"

namespace {

// Removes the reply label in front of an identity value; a value without the
// label stays as it is.
std::wstring WithoutLabel(const std::wstring& strValue, const std::wstring& strLabel)
{
    if (strValue.compare(0, strLabel.size(), strLabel) == 0)
        return strValue.substr(strLabel.size());
    return strValue;
}

// Selects the item that the index text names; a number outside the list
// leaves the list without a selection.
void SelectIndexText(wxChoice* pChoice, const std::wstring& strIndex)
{
    const int nIndex = IndexTextToInt(strIndex);
    const int nCount = static_cast<int>(pChoice->GetCount());
    pChoice->SetSelection(nIndex >= 0 && nIndex < nCount ? nIndex : wxNOT_FOUND);
}

bool IsGroup(int nNo)
{
    return static_cast<unsigned>(nNo) < static_cast<unsigned>(kGroupCount);
}

} // namespace

void CQVLUtilityDlg::SetDataToGroup(int nNo)
{
    LogDebug(logtext::kSetDataToGroup, nNo + 1);
    if (!IsGroup(nNo))
        return;

    auto edit = [this](int nId) { return static_cast<wxTextCtrl*>(GetDlgItem(nId)); };
    auto combo = [this](int nId) { return static_cast<wxChoice*>(GetDlgItem(nId)); };

    if (nNo < kWwanCount) {
        const WwanProfile profile = GetWwanProfile(nNo);
        const size_t i = static_cast<size_t>(nNo);
        // SetValue raises the change notification even for an unchanged text.
        edit(GroupControlTable.nApn[i])->SetValue(profile.strApn);
        edit(GroupControlTable.nUserName[i])->SetValue(profile.strUserName);
        edit(GroupControlTable.nPassword[i])->SetValue(profile.strPassword);
        SelectIndexText(combo(GroupControlTable.nPdpType[i]), profile.strPdpType);
        SelectIndexText(combo(GroupControlTable.nAuthType[i]), profile.strAuthType);
        for (const FieldSpec* pSpec : WwanLogOrder())
            LogInfo(logtext::kDisplayWwanField, nNo + 1, pSpec->pszLogName, profile.*pSpec->pWwan);
    } else {
        const WifiSettings wifi = GetWifiSettings();
        edit(IDC_EDIT_SSID)->SetValue(wifi.strSsid);
        edit(IDC_EDIT_PASSPHRASE)->SetValue(wifi.strPassphrase);
        SelectIndexText(combo(IDC_COMBO_SECURITY), wifi.strSecurity);
        SelectIndexText(combo(IDC_COMBO_KEYFORMAT), wifi.strKeyFormat);
        for (const FieldSpec* pSpec : WifiLogOrder())
            LogInfo(logtext::kDisplayWifiField, pSpec->pszLogName, wifi.*pSpec->pWifi);
    }
    DisplayModifiedState(nNo);
}

void CQVLUtilityDlg::GetDataFromGroup(int nNo)
{
    LogDebug(logtext::kGetDataFromGroup, nNo + 1);
    if (!IsGroup(nNo))
        return;

    auto text = [this](int nId) { return static_cast<wxTextCtrl*>(GetDlgItem(nId))->GetValue().ToStdWstring(); };
    auto index = [this](int nId) { return IndexToText(static_cast<wxChoice*>(GetDlgItem(nId))->GetSelection()); };

    if (nNo < kWwanCount) {
        const size_t i = static_cast<size_t>(nNo);
        WwanProfile profile;
        profile.strApn = text(GroupControlTable.nApn[i]);
        profile.strUserName = text(GroupControlTable.nUserName[i]);
        profile.strPassword = text(GroupControlTable.nPassword[i]);
        profile.strPdpType = index(GroupControlTable.nPdpType[i]);
        profile.strAuthType = index(GroupControlTable.nAuthType[i]);
        SetWwanProfile(nNo, profile);
    } else {
        WifiSettings wifi;
        wifi.strSsid = text(IDC_EDIT_SSID);
        wifi.strPassphrase = text(IDC_EDIT_PASSPHRASE);
        wifi.strSecurity = index(IDC_COMBO_SECURITY);
        wifi.strKeyFormat = index(IDC_COMBO_KEYFORMAT);
        SetWifiSettings(wifi);
    }
}

void CQVLUtilityDlg::DisplayModifiedState(int nNo)
{
    LogDebug(logtext::kDisplayModifiedState, nNo + 1);
    if (!IsGroup(nNo))
        return;

    const bool bChanged = m_bChanged[static_cast<size_t>(nNo)];
    wxString strCaption = nNo < kWwanCount ? wxString::Format("WWAN%d", nNo + 1) : wxString("Wi-Fi");
    if (bChanged)
        strCaption += " (Changed)";
    const wxFont* pFont = bChanged ? m_pBoldFont.get() : m_pGroupFont;

    wxWindow* pBox = GetDlgItem(GroupControlTable.nGroupBox[static_cast<size_t>(nNo)]);
    pBox->SetLabel(wxEmptyString);
    if (pFont)
        pBox->SetFont(*pFont);
    pBox->SetLabel(strCaption);
    pBox->Refresh();
}

namespace {

// Marks group nNo changed on the user's first change; the program's own
// filling of the form (bChangeByCode) never counts.
bool MarkChanged(bool bChangeByCode, bool& bChanged)
{
    if (bChangeByCode || bChanged)
        return false;
    bChanged = true;
    return true;
}

} // namespace

void CQVLUtilityDlg::OnEnChangeWwan1(wxCommandEvent&)
{
    if (MarkChanged(m_bChangeByCode, m_bChanged[0]))
        DisplayModifiedState(0);
}

void CQVLUtilityDlg::OnEnChangeWwan2(wxCommandEvent&)
{
    if (MarkChanged(m_bChangeByCode, m_bChanged[1]))
        DisplayModifiedState(1);
}

void CQVLUtilityDlg::OnEnChangeWwan3(wxCommandEvent&)
{
    if (MarkChanged(m_bChangeByCode, m_bChanged[2]))
        DisplayModifiedState(2);
}

void CQVLUtilityDlg::OnEnChangeWwan4(wxCommandEvent&)
{
    if (MarkChanged(m_bChangeByCode, m_bChanged[3]))
        DisplayModifiedState(3);
}

void CQVLUtilityDlg::OnEnChangeWifi(wxCommandEvent&)
{
    if (m_bChangeByCode) {
        LogDebug(logtext::kWifiChangeByCode);
        return;
    }
    if (m_bChanged[kWifiGroup]) {
        LogDebug(logtext::kWifiAlreadyChanged);
        return;
    }
    LogDebug(logtext::kWifiChanged);
    m_bChanged[kWifiGroup] = true;
    DisplayModifiedState(kWifiGroup);
}

void CQVLUtilityDlg::EnableGroupUI(int nNo, bool bEnable)
{
    LogDebug(logtext::kEnableGroupUI, nNo + 1);
    if (!IsGroup(nNo))
        return;

    const size_t i = static_cast<size_t>(nNo);
    std::vector<int> ids;
    if (nNo < kWwanCount) {
        const GroupControlIds& t = GroupControlTable;
        ids = {t.nApnLabel[i], t.nUserNameLabel[i], t.nPasswordLabel[i], t.nAuthTypeLabel[i], t.nPdpTypeLabel[i],
               t.nApn[i],      t.nUserName[i],      t.nPassword[i],      t.nAuthType[i],      t.nPdpType[i]};
    } else {
        ids = {IDC_STATIC_SSID, IDC_STATIC_SECURITY, IDC_STATIC_KEYFORMAT, IDC_STATIC_PASSPHRASE,
               IDC_EDIT_SSID,   IDC_COMBO_SECURITY,  IDC_COMBO_KEYFORMAT,  IDC_EDIT_PASSPHRASE};
    }
    ids.push_back(GroupControlTable.nLoadPreset[i]);
    ids.push_back(GroupControlTable.nSavePreset[i]);
    for (int nId : ids)
        GetDlgItem(nId)->Enable(bEnable);
}

void CQVLUtilityDlg::MainButtonsEnable(bool bEnable)
{
    LogDebug(logtext::kMainButtonsEnable);
    GetDlgItem(IDC_ERASE)->Enable(bEnable);
    GetDlgItem(IDC_RELOAD)->Enable(bEnable);
    GetDlgItem(IDC_WRITE)->Enable(bEnable);
}

void CQVLUtilityDlg::LoadSaveMenuEnable(bool bEnable)
{
    LogDebug(logtext::kLoadSaveMenuEnable);
    wxMenuBar* pMenuBar = GetMenuBar();
    wxMenu* pFile = pMenuBar ? pMenuBar->GetMenu(0) : nullptr;
    if (!pFile)
        return;
    // By position: Load, then Save.
    for (size_t nPos = 0; nPos < 2 && nPos < pFile->GetMenuItemCount(); ++nPos)
        pFile->FindItemByPosition(nPos)->Enable(bEnable);
}

void CQVLUtilityDlg::DisplayQvlInfo()
{
    auto edit = [this](int nId) { return static_cast<wxTextCtrl*>(GetDlgItem(nId)); };

    if (m_bConnected) {
        LogInfo(logtext::kDisplayConnect);
        DeviceInfo info;
        {
            auto lock = LockShared();
            m_DeviceInfo.strMcuId = WithoutLabel(m_DeviceInfo.strMcuId, L"MCUID ");
            m_DeviceInfo.strVersion = WithoutLabel(m_DeviceInfo.strVersion, L"VER ");
            info = m_DeviceInfo;
        }
        edit(IDC_EDIT_STATUS)->ChangeValue("Connected");
        edit(IDC_EDIT_PORT)->ChangeValue(L"(" + m_strComPort + L")");
        edit(IDC_EDIT_MCUID)->ChangeValue(info.strMcuId);
        edit(IDC_EDIT_MCUID)->Enable();
        edit(IDC_EDIT_FWVER)->ChangeValue(info.strVersion);
        edit(IDC_EDIT_FWVER)->Enable();
        edit(IDC_EDIT_SERIAL)->ChangeValue(info.strSerial);
        edit(IDC_EDIT_SERIAL)->Enable();
        for (int nNo = 0; nNo < kGroupCount; ++nNo)
            EnableGroupUI(nNo, true);
        // The form itself takes the focus only while every control is
        // disabled; left focusable, it would swallow Tab and every key after.
        m_pPanel->SetCanFocus(false);
        GetDlgItem(IDC_LOADPRESET1)->SetFocus();
        MainButtonsEnable(true);
        LoadSaveMenuEnable(true);
    } else {
        LogInfo(logtext::kDisplayDisconnect);
        edit(IDC_EDIT_STATUS)->ChangeValue("Disconnected");
        edit(IDC_EDIT_PORT)->ChangeValue(wxEmptyString);
        edit(IDC_EDIT_MCUID)->Disable();
        edit(IDC_EDIT_FWVER)->Disable();
        edit(IDC_EDIT_SERIAL)->Disable();
        for (int nNo = 0; nNo < kGroupCount; ++nNo)
            EnableGroupUI(nNo, false);
        MainButtonsEnable(false);
        LoadSaveMenuEnable(false);
        // With every control disabled the keys go to the form itself, so Esc
        // still closes the window.
        m_pPanel->SetCanFocus(true);
        m_pPanel->SetFocusIgnoringChildren();
    }
}
