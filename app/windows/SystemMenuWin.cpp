// The system menu's About entry on Windows. Its command id is 16: the system
// keeps the low four bits of a system command for itself, so the id must be a
// multiple of 16 below the system's own (SC_SIZE and up).
#include "app/SystemMenu.h"

#include <wx/menu.h>
#include <wx/toplevel.h>

namespace {

constexpr int kSysAboutCommand = 0x0010;

} // namespace

void AddAboutToSystemMenu(wxTopLevelWindow* pWin, int nAboutCommand)
{
    wxMenu* pSystemMenu = pWin->MSWGetSystemMenu();
    if (!pSystemMenu)
        return;
    pSystemMenu->AppendSeparator();
    pSystemMenu->Append(kSysAboutCommand, "About Orra QVL Utility (&A)");
    // The toolkit turns the system command into a menu event of its id.
    pWin->Bind(
        wxEVT_MENU,
        [pWin, nAboutCommand](wxCommandEvent&) {
            wxCommandEvent about(wxEVT_MENU, nAboutCommand);
            about.SetEventObject(pWin);
            pWin->ProcessWindowEvent(about);
        },
        kSysAboutCommand);
}
