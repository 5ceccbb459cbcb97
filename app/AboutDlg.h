#pragma once
// The About box: icon, product name and version, legal notice, OK.

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* pParent);

private:
    // Puts the version line into control 1065.
    void OnInitDialog();
};
