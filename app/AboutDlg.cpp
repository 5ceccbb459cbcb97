#include "app/AboutDlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "core/Logging.h"
#include "app/Resource.h"
#include "res/wx/AppIcon.h"

CAboutDlg::CAboutDlg(wxWindow* pParent)
    : wxDialog(pParent, IDD_ABOUTBOX, "About Orra QVL Utility", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const wxSize sizeIcon = wxDLG_UNIT(this, wxSize(20, 20));
    const int nIcon = std::min(sizeIcon.x, sizeIcon.y);
    new wxStaticBitmap(this, wxID_ANY,
                       LoadAppIcons().GetIcon(wxSize(nIcon, nIcon), wxIconBundle::FALLBACK_NEAREST_LARGER),
                       wxDLG_UNIT(this, wxPoint(14, 14)), wxSize(nIcon, nIcon));
    new wxStaticText(this, IDC_STATIC_VERSION, wxEmptyString, wxDLG_UNIT(this, wxPoint(42, 14)),
                     wxDLG_UNIT(this, wxSize(114, 8)), wxST_NO_AUTORESIZE);
    new wxStaticText(this, wxID_ANY, "Copyright (C) 2024 Orra. All rights reserved.", wxDLG_UNIT(this, wxPoint(42, 26)),
                     wxDLG_UNIT(this, wxSize(136, 8)), wxST_NO_AUTORESIZE);
    auto* pOk = new wxButton(this, wxID_OK, "OK", wxDLG_UNIT(this, wxPoint(133, 41)), wxDLG_UNIT(this, wxSize(52, 14)));
    pOk->SetDefault();
    SetEscapeId(wxID_OK);
    SetClientSize(wxDLG_UNIT(this, wxSize(193, 62)));
    OnInitDialog();
}

void CAboutDlg::OnInitDialog()
{
    wxString strLine;
    strLine.Printf("Orra QVL Utility, Version %s", kVersionText);
    // Shown as is: no mnemonic processing.
    static_cast<wxStaticText*>(FindWindow(IDC_STATIC_VERSION))->SetLabelText(strLine);
}
