// A window program started from a shortcut has no console: its command-line
// texts are shown in a message box, which waits for the user.
#include "app/CommandLineOutput.h"

#include <windows.h>

#include "core/TextUtil.h"

void ShowCommandLineText(const std::string& strText, bool bError)
{
    const std::wstring strWide = FromUtf8(strText);
    MessageBoxW(nullptr, strWide.c_str(), L"Orra QVL Utility",
                MB_OK | MB_SETFOREGROUND | (bError ? MB_ICONERROR : MB_ICONINFORMATION));
}
