// Checks the form before a write: the texts the controls hold now, every
// group, changed or not. The first failing field is reported in a message box
// and gets the focus.
#include "app/QVLUtilityDlg.h"

#include <wx/choice.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>

#include "app/Resource.h"
#include "editor/ValidationRules.h"

bool CQVLUtilityDlg::CheckEnterText()
{
    auto text = [this](int nId) { return static_cast<wxTextCtrl*>(GetDlgItem(nId))->GetValue().ToStdWstring(); };

    ValidationInput input;
    for (size_t i = 0; i < static_cast<size_t>(kWwanCount); ++i) {
        input.arrApn[i] = text(GroupControlTable.nApn[i]);
        input.arrUserName[i] = text(GroupControlTable.nUserName[i]);
        input.arrPassword[i] = text(GroupControlTable.nPassword[i]);
    }
    input.strSsid = text(IDC_EDIT_SSID);
    input.strPassphrase = text(IDC_EDIT_PASSPHRASE);
    input.nKeyFormat = static_cast<wxChoice*>(GetDlgItem(IDC_COMBO_KEYFORMAT))->GetSelection();

    const std::optional<ValidationFailure> failure = FindInvalidField(input);
    if (!failure)
        return true;

    wxMessageBox(failure->strText, "Orra QVL Utility", wxOK | wxICON_ERROR, this);

    int nId = IDC_EDIT_PASSPHRASE;
    const size_t i = static_cast<size_t>(failure->nNo);
    switch (failure->field) {
    case ValidationField::Apn:
        nId = GroupControlTable.nApn.at(i);
        break;
    case ValidationField::UserName:
        nId = GroupControlTable.nUserName.at(i);
        break;
    case ValidationField::Password:
        nId = GroupControlTable.nPassword.at(i);
        break;
    case ValidationField::Ssid:
        nId = IDC_EDIT_SSID;
        break;
    case ValidationField::Passphrase:
        nId = IDC_EDIT_PASSPHRASE;
        break;
    }
    auto* pEdit = static_cast<wxTextCtrl*>(GetDlgItem(nId));
    pEdit->SetFocus();
    pEdit->SetInsertionPointEnd();
    return false;
}
