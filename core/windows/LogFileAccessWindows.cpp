// The log file on Windows: never reached through a reparse point (a symbolic
// link or junction) at its path, and only a file of the user's own. Every log
// file, new or kept, gets an access list of the user alone, whatever the
// folder would pass on (a shared folder the program was unzipped into lets
// every local user read its files).
#include "core/LogFileAccess.h"

#include <windows.h>
#include <io.h>
#include <sddl.h>

#include <aclapi.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include "core/FileCreation.h"
#include "core/Logging.h"
#include "core/TextUtil.h"
#include "core/windows/OwnerOnly.h"

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

// Whether the open file is the user's own: its owner is the user, or the
// owner the user's token gives the files it creates.
bool IsOwnFile(HANDLE hFile)
{
    PSID pOwner = nullptr;
    PSECURITY_DESCRIPTOR pSd = nullptr;
    if (GetSecurityInfo(hFile, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &pOwner, nullptr, nullptr, nullptr, &pSd)
        != ERROR_SUCCESS)
        return false;
    bool bOwn = false;
    for (TOKEN_INFORMATION_CLASS nClass : {TokenUser, TokenOwner}) {
        std::string strSid = TokenSid(nClass);
        bOwn = bOwn || (pOwner && !strSid.empty() && EqualSid(pOwner, strSid.data()));
    }
    LocalFree(pSd);
    return bOwn;
}

// Makes an existing file, open as hFile at strPath, the user's private one:
// refused when another account owns it; otherwise it gets the user-only
// list. Empty when it is the user's private file now, else the reason. The
// list is set by the path while the file is held open (Wine applies a list
// set through a handle to nothing); the path was checked to be no reparse
// point, so at worst a file swapped in meanwhile is made the user's alone.
std::string MakePrivate(HANDLE hFile, const std::wstring& strPath)
{
    if (!IsOwnFile(hFile))
        return "belongs to another user";
    PSECURITY_DESCRIPTOR pSecurity = NewOwnerOnlySecurity();
    const bool bSet = pSecurity
        && SetFileSecurityW(strPath.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            pSecurity);
    if (pSecurity)
        LocalFree(pSecurity);
    if (!bSet)
        return "cannot be made private: " + LastErrorText();
    return std::string();
}

// Opens an existing file to read its owner.
HANDLE OpenToMakePrivate(const std::wstring& strPath)
{
    return OpenNoFollow(strPath, READ_CONTROL, OPEN_EXISTING);
}

// Rotation moves the current file over the rotated ones, so those that exist
// must be the user's own as well; they are made private.
bool PrepareRotatedFiles(const std::string& strPath, std::string& strReason)
{
    for (size_t i = 1; i <= kLogMaxFiles; ++i) {
        const std::wstring strRotated = spdlog::sinks::rotating_file_sink_mt::calc_filename(FromUtf8(strPath), i);
        const DWORD nAttr = GetFileAttributesW(strRotated.c_str());
        if (nAttr == INVALID_FILE_ATTRIBUTES)
            continue;
        std::string strWhy = "is a symbolic link";
        if (!(nAttr & FILE_ATTRIBUTE_REPARSE_POINT)) {
            HANDLE hFile = OpenToMakePrivate(strRotated);
            strWhy = hFile == INVALID_HANDLE_VALUE ? LastErrorText() : MakePrivate(hFile, strRotated);
            if (hFile != INVALID_HANDLE_VALUE)
                CloseHandle(hFile);
        }
        if (!strWhy.empty()) {
            strReason = "has a rotated file that " + strWhy + ": " + ToUtf8(strRotated);
            return false;
        }
    }
    return true;
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
    if (!bReplaceLink && !PrepareRotatedFiles(strPath, strReason))
        return false;
    PSECURITY_DESCRIPTOR pSecurity = NewOwnerOnlySecurity();
    if (!pSecurity) {
        strReason = LastErrorText();
        return false;
    }
    // A new file is created with the user-only list; an existing one is
    // opened to read its owner and set its list.
    HANDLE hFile = OpenNoFollow(strWide, FILE_APPEND_DATA, CREATE_NEW, pSecurity);
    LocalFree(pSecurity);
    const bool bCreated = hFile != INVALID_HANDLE_VALUE;
    if (bCreated)
        FileCreated(strPath);
    else if (GetLastError() == ERROR_FILE_EXISTS)
        hFile = OpenToMakePrivate(strWide);
    if (hFile == INVALID_HANDLE_VALUE) {
        strReason = LastErrorText();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool bPlain =
        GetFileType(hFile) == FILE_TYPE_DISK && GetFileInformationByHandle(hFile, &info) && IsPlainFile(info);
    std::string strWhy;
    if (!bPlain)
        strWhy =
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "is a symbolic link" : "is not a regular file";
    else if (!bCreated)
        strWhy = MakePrivate(hFile, strWide);
    CloseHandle(hFile);
    if (!strWhy.empty())
        strReason = strWhy;
    return strWhy.empty();
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
