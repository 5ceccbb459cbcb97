// The log file on Windows: never reached through a reparse point (a symbolic
// link or junction) at its path. A new file gets an access list of the user
// alone, whatever the folder would pass on (a shared folder the program was
// unzipped into lets every local user read its files).
#include "core/LogFileAccess.h"

#include <windows.h>
#include <io.h>
#include <sddl.h>

#include "core/TextUtil.h"

namespace {

std::string LastErrorText()
{
    const DWORD nError = GetLastError();
    wchar_t* pszText = nullptr;
    const DWORD nLen =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, nError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::wstring strText = nLen && pszText ? std::wstring(pszText, nLen) : std::wstring();
    if (pszText)
        LocalFree(pszText);
    while (!strText.empty() && (strText.back() == L'\r' || strText.back() == L'\n' || strText.back() == L'.'))
        strText.pop_back();
    return strText.empty() ? "error " + std::to_string(nError) : ToUtf8(strText);
}

// The current user's SID as text ("S-1-5-21-..."), empty when unknown.
std::wstring CurrentUserSid()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return std::wstring();
    DWORD nSize = 0;
    GetTokenInformation(hToken, TokenUser, nullptr, 0, &nSize);
    std::string buf(nSize, '\0');
    std::wstring strSid;
    wchar_t* pszSid = nullptr;
    if (nSize && GetTokenInformation(hToken, TokenUser, buf.data(), nSize, &nSize)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &pszSid)) {
        strSid = pszSid;
        LocalFree(pszSid);
    }
    CloseHandle(hToken);
    return strSid;
}

// Security for a new log file: full access for the user, nobody else, and
// nothing inherited from the folder. Freed with LocalFree.
PSECURITY_DESCRIPTOR NewOwnerOnlySecurity()
{
    const std::wstring strSid = CurrentUserSid();
    if (strSid.empty())
        return nullptr;
    const std::wstring strSddl = L"D:P(A;;FA;;;" + strSid + L")";
    PSECURITY_DESCRIPTOR pSd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(strSddl.c_str(), SDDL_REVISION_1, &pSd, nullptr))
        return nullptr;
    return pSd;
}

// Opens the file itself, never what a reparse point at the path leads to. A
// file created here gets pSecurity (when given).
HANDLE OpenNoFollow(const std::wstring& strPath, DWORD nAccess, DWORD nDisposition,
                    PSECURITY_DESCRIPTOR pSecurity = nullptr)
{
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = pSecurity;
    return CreateFileW(strPath.c_str(), nAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       pSecurity ? &attributes : nullptr, nDisposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsPlainFile(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

} // namespace

bool PrepareLogFile(const std::string& strPath, bool bReplaceLink, std::string& strReason)
{
    const std::wstring strWide = FromUtf8(strPath);
    const DWORD nAttr = GetFileAttributesW(strWide.c_str());
    if (nAttr != INVALID_FILE_ATTRIBUTES && (nAttr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!bReplaceLink) {
            strReason = "is a symbolic link";
            return false;
        }
        // Removes the link itself; its target is not touched.
        if (nAttr & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(strWide.c_str());
        else
            DeleteFileW(strWide.c_str());
    }
    PSECURITY_DESCRIPTOR pSecurity = NewOwnerOnlySecurity();
    if (!pSecurity) {
        strReason = LastErrorText();
        return false;
    }
    HANDLE hFile = OpenNoFollow(strWide, FILE_APPEND_DATA, OPEN_ALWAYS, pSecurity);
    LocalFree(pSecurity);
    if (hFile == INVALID_HANDLE_VALUE) {
        strReason = LastErrorText();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool bPlain =
        GetFileType(hFile) == FILE_TYPE_DISK && GetFileInformationByHandle(hFile, &info) && IsPlainFile(info);
    CloseHandle(hFile);
    if (!bPlain) {
        strReason =
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "is a symbolic link" : "is not a regular file";
        return false;
    }
    return true;
}

bool IsLogFileAt(const std::string& strPath, std::FILE* pFile)
{
    if (!pFile)
        return false;
    const intptr_t nOpen = _get_osfhandle(_fileno(pFile));
    if (nOpen == -1)
        return false;
    BY_HANDLE_FILE_INFORMATION infoOpen{}, infoPath{};
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(nOpen), &infoOpen))
        return false;
    HANDLE hPath = OpenNoFollow(FromUtf8(strPath), FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    if (hPath == INVALID_HANDLE_VALUE)
        return false;
    const bool bInfo = GetFileInformationByHandle(hPath, &infoPath);
    CloseHandle(hPath);
    return bInfo && IsPlainFile(infoPath) && infoOpen.dwVolumeSerialNumber == infoPath.dwVolumeSerialNumber
        && infoOpen.nFileIndexHigh == infoPath.nFileIndexHigh && infoOpen.nFileIndexLow == infoPath.nFileIndexLow;
}

void DivertLogStream(std::FILE* pFile)
{
    std::freopen("NUL", "ab", pFile);
}

spdlog::filename_t LogFileName(const std::string& strPath)
{
    return FromUtf8(strPath);
}
