// The Erase, Reload and Write buttons. Each click runs to its end on the
// user-interface thread and ends in the result dialog, except a Write that the
// form's validation refuses. A lost unit shows as the command's failure; the
// lost-link notification is handled by the window's event loop afterwards.
#include "app/QVLUtilityDlg.h"

#include "core/Log.h"
#include "core/LogText.h"
#include "core/TextUtil.h"
#include "editor/wx/WriteResultDlg.h"

namespace {

void ShowResult(wxWindow* pParent, const std::wstring& strTitle, const std::wstring& strLine1,
                const std::wstring& strLine2, const std::wstring& strLine3)
{
    CWriteResultDlg dlg(pParent);
    dlg.SetResultText(strTitle, strLine1, strLine2, strLine3);
    dlg.ShowModal();
}

} // namespace

void CQVLUtilityDlg::RefreshForm()
{
    ShowGroups({0, 1, 2, 3, kWifiGroup}, false);
}

void CQVLUtilityDlg::ShowGroups(const std::vector<int>& groups, bool bChanged)
{
    // Set while the groups are shown, also if showing one throws.
    class ChangeByCode {
    public:
        explicit ChangeByCode(bool& bFlag) : m_bFlag(bFlag) { m_bFlag = true; }
        ~ChangeByCode() { m_bFlag = false; }

    private:
        bool& m_bFlag;
    } guard(m_bChangeByCode);
    for (int nNo : groups) {
        m_bChanged[static_cast<size_t>(nNo)] = bChanged;
        SetDataToGroup(nNo);
    }
}

void CQVLUtilityDlg::OnBnClickedErase(wxCommandEvent&)
{
    LogInfo(logtext::kOnBnClickedErase);

    const Status erased = fe_APN_WIFI_info();
    if (!erased) {
        LogError(logtext::kEraseFailed);
        ShowResult(this, L"Erase Result", L"Erase Failed", GetSendData(), erased.Text());
        return;
    }
    LogInfo(logtext::kEraseSuccessfully);

    // When the reload fails the unit is erased; the form keeps what it
    // showed before.
    if (ReloadForm(true))
        ShowResult(this, L"Erase Result", L"", L"Erase Successfully", L"");
}

void CQVLUtilityDlg::OnBnClickedReload(wxCommandEvent&)
{
    LogInfo(logtext::kOnBnClickedReload);
    if (ReloadForm(false))
        ShowResult(this, L"Reload Result", L"", L"Reload Successfully", L"");
}

bool CQVLUtilityDlg::ReloadForm(bool bAfterErase)
{
    const Status read = get_APN_WIFI_info();
    if (!read) {
        if (bAfterErase)
            LogError(logtext::kEraseFailed);
        else
            LogError(logtext::kReloadFailed);
        ShowResult(this, L"Reload Result", L"Reload Failed", GetSendData(), read.Text());
        return false;
    }
    LogInfo(logtext::kReloadSuccessfully);
    RefreshForm();
    return true;
}

void CQVLUtilityDlg::OnBnClickedWrite(wxCommandEvent&)
{
    LogInfo(logtext::kStep, logtext::kWriteStep);

    if (!CheckEnterText()) {
        LogInfo(logtext::kWriteRefused);
        return;
    }

    for (int nNo = 0; nNo < kGroupCount; ++nNo)
        GetDataFromGroup(nNo);

    const Status set = set_APN_WIFI_info();
    if (!set) {
        LogError(logtext::kStepFailed, logtext::kWriteStep, set.Text());
        ShowResult(this, L"Write Result", L"Write Failed", GetSendData(), set.Text());
        return;
    }

    // Commits the lines just written. An error reply means the unit did not
    // store them: that is a failed write, not a successful one.
    const Status committed = fw_APN_WIFI_info(logtext::kWriteStep);
    if (!committed) {
        ShowResult(this, L"Write Result", L"Write Failed", GetSendData(), committed.Text());
        return;
    }
    LogInfo(logtext::kWriteSuccessfully);

    // The form keeps what the user typed; only the marks go.
    for (int nNo = 0; nNo < kGroupCount; ++nNo) {
        m_bChanged[static_cast<size_t>(nNo)] = false;
        DisplayModifiedState(nNo);
    }
    ShowResult(this, L"Write Result", L"", L"Write Successfully", L"");
}
