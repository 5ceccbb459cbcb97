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
    for (const WireField& field : WireFields()) {
        if (field.textRule != TextRule::None)
            field.In(input.texts) = text(GroupControlTable.TextEdit(field));
    }
    input.nKeyFormat = static_cast<wxChoice*>(GetDlgItem(IDC_COMBO_KEYFORMAT))->GetSelection();

    const std::optional<ValidationFailure> failure = FindInvalidField(input);
    if (!failure)
        return true;

    wxMessageBox(failure->strText, "Orra QVL Utility", wxOK | wxICON_ERROR, this);

    auto* pEdit = static_cast<wxTextCtrl*>(GetDlgItem(GroupControlTable.TextEdit(*failure->pField)));
    pEdit->SetFocus();
    pEdit->SetInsertionPointEnd();
    return false;
}
