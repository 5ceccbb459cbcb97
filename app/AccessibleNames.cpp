// The accessible names of the main window's controls, built from the group
// and the label each control sits beside, so a screen reader tells the APN of
// WWAN2 from the password of WWAN3.
#include "app/AccessibleName.h"

#include <iterator>

#include <wx/stattext.h>
#include <wx/window.h>

#include "app/Resource.h"

namespace {

// A group's title as assistive technology says it; the group box's caption
// changes with the change mark, this does not.
const wchar_t* const kGroupNames[] = {L"WWAN1", L"WWAN2", L"WWAN3", L"WWAN4", L"Wi-Fi"};

// One control of a group and the label beside it.
struct LabelledControl {
    int nGroup;
    int nControl;
    int nLabel;
};

const LabelledControl kGroupFields[] = {
    {0, IDC_EDIT_APN1, IDC_STATIC_APN1},
    {0, IDC_EDIT_USER1, IDC_STATIC_USER1},
    {0, IDC_EDIT_PW1, IDC_STATIC_PW1},
    {0, IDC_COMBO_AUTH1, IDC_STATIC_AUTH1},
    {0, IDC_COMBO_PDP1, IDC_STATIC_PDP1},
    {1, IDC_EDIT_APN2, IDC_STATIC_APN2},
    {1, IDC_EDIT_USER2, IDC_STATIC_USER2},
    {1, IDC_EDIT_PW2, IDC_STATIC_PW2},
    {1, IDC_COMBO_AUTH2, IDC_STATIC_AUTH2},
    {1, IDC_COMBO_PDP2, IDC_STATIC_PDP2},
    {2, IDC_EDIT_APN3, IDC_STATIC_APN3},
    {2, IDC_EDIT_USER3, IDC_STATIC_USER3},
    {2, IDC_EDIT_PW3, IDC_STATIC_PW3},
    {2, IDC_COMBO_AUTH3, IDC_STATIC_AUTH3},
    {2, IDC_COMBO_PDP3, IDC_STATIC_PDP3},
    {3, IDC_EDIT_APN4, IDC_STATIC_APN4},
    {3, IDC_EDIT_USER4, IDC_STATIC_USER4},
    {3, IDC_EDIT_PW4, IDC_STATIC_PW4},
    {3, IDC_COMBO_AUTH4, IDC_STATIC_AUTH4},
    {3, IDC_COMBO_PDP4, IDC_STATIC_PDP4},
    {4, IDC_EDIT_SSID, IDC_STATIC_SSID},
    {4, IDC_COMBO_SECURITY, IDC_STATIC_SECURITY},
    {4, IDC_COMBO_KEYFORMAT, IDC_STATIC_KEYFORMAT},
    {4, IDC_EDIT_PASSPHRASE, IDC_STATIC_PASSPHRASE},
};

const int kLoadPresetIds[] = {IDC_LOADPRESET1, IDC_LOADPRESET2, IDC_LOADPRESET3, IDC_LOADPRESET4, IDC_LOADPRESET5};
const int kSavePresetIds[] = {IDC_SAVEPRESET1, IDC_SAVEPRESET2, IDC_SAVEPRESET3, IDC_SAVEPRESET4, IDC_SAVEPRESET5};

// The unit panel's boxes: what they show, and the caption of their label
// (the panel's labels have no id); no caption for a box without a label.
struct UnitBox {
    int nControl;
    const wchar_t* pszName;
    const wchar_t* pszLabel;
};

const UnitBox kUnitBoxes[] = {
    {IDC_EDIT_FWVER, L"Firmware version", L"FW"},
    {IDC_EDIT_MCUID, L"MCU ID", L"MCUID"},
    {IDC_EDIT_SERIAL, L"Serial number", L"Serial"},
    {IDC_EDIT_STATUS, L"Connection state", nullptr},
    {IDC_EDIT_PORT, L"Port", nullptr},
};

// A label's caption without its closing colon (full-width or plain).
wxString FieldName(const wxWindow* pLabel)
{
    wxString str = pLabel->GetLabel();
    str.Trim();
    if (str.EndsWith(L"\uFF1A") || str.EndsWith(L":"))
        str.RemoveLast();
    return str.Trim();
}

wxWindow* FindLabelByCaption(wxWindow* pPanel, const wchar_t* pszCaption)
{
    for (wxWindow* pChild : pPanel->GetChildren()) {
        if (dynamic_cast<wxStaticText*>(pChild) && pChild->GetLabel() == pszCaption)
            return pChild;
    }
    return nullptr;
}

} // namespace

void NameFormControls(wxWindow* pPanel)
{
    for (const LabelledControl& field : kGroupFields) {
        wxWindow* pControl = pPanel->FindWindow(field.nControl);
        wxWindow* pLabel = pPanel->FindWindow(field.nLabel);
        if (pControl && pLabel)
            SetAccessibleName(pControl, wxString(kGroupNames[field.nGroup]) + " " + FieldName(pLabel), pLabel);
    }
    for (int nNo = 0; nNo < static_cast<int>(std::size(kGroupNames)); ++nNo) {
        for (int nId : {kLoadPresetIds[nNo], kSavePresetIds[nNo]}) {
            if (wxWindow* pButton = pPanel->FindWindow(nId))
                SetAccessibleName(pButton, wxString(kGroupNames[nNo]) + " " + pButton->GetLabel(), nullptr);
        }
    }
    for (const UnitBox& box : kUnitBoxes) {
        if (wxWindow* pControl = pPanel->FindWindow(box.nControl)) {
            wxWindow* pLabel = box.pszLabel ? FindLabelByCaption(pPanel, box.pszLabel) : nullptr;
            SetAccessibleName(pControl, box.pszName, pLabel);
        }
    }
}
