#include "app/InstanceGuard.h"

#include <cstdlib>

#include <wx/msgdlg.h>
#include <wx/snglinst.h>

#include "core/Logging.h"

std::string InstanceGuardDirectory()
{
    if (const char* pRuntime = std::getenv("XDG_RUNTIME_DIR"); pRuntime && *pRuntime)
        return pRuntime;
    const std::string strDir = LogFallbackDirectory();
    if (strDir.empty())
        return strDir;
    MakeDirectories(strDir);
    return strDir;
}

bool AcquireInstanceGuard(wxSingleInstanceChecker& checker)
{
    // A guard that cannot be created is not reported: the program then runs
    // without it.
    if (!checker.Create("QVLUtility.exe", wxString::FromUTF8(InstanceGuardDirectory())))
        return true;
    if (!checker.IsAnotherRunning())
        return true;
    wxMessageBox("Application already running.", "Orra QVL Utility", wxOK | wxICON_EXCLAMATION);
    return false;
}
