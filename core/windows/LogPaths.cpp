// Where the log goes when the current directory is not writable, on Windows:
// the user's local application data folder.
#include "core/Logging.h"

#include <windows.h>

#include "core/TextUtil.h"

std::string LogFallbackDirectory()
{
    wchar_t szBase[MAX_PATH + 1] = {};
    const DWORD nLen = GetEnvironmentVariableW(L"LOCALAPPDATA", szBase, MAX_PATH + 1);
    if (nLen == 0 || nLen > MAX_PATH)
        return std::string();
    return ToUtf8(std::wstring(szBase, nLen)) + "\\Orra QVL Utility";
}

void MakeDirectories(const std::string& strPath)
{
    // Folders under the user's profile are private to the user by default.
    const std::wstring strWide = FromUtf8(strPath);
    for (size_t pos = 1; pos <= strWide.size(); ++pos) {
        if (pos == strWide.size() || strWide[pos] == L'\\' || strWide[pos] == L'/') {
            const std::wstring strPart = strWide.substr(0, pos);
            if (strPart.size() == 2 && strPart[1] == L':')
                continue; // a drive letter
            CreateDirectoryW(strPart.c_str(), nullptr);
        }
    }
}
