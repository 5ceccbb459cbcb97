// PLACEHOLDER: the application object, to be written.
#include <wx/app.h>
#include "app/QVLUtilityDlg.h"

class CQVLUtilityApp : public wxApp {
public:
    bool OnInit() override
    {
        auto* pDlg = new CQVLUtilityDlg();
        pDlg->Show();
        return true;
    }
};

wxIMPLEMENT_APP(CQVLUtilityApp);
