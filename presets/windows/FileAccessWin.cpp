// Preset file access on Windows: wide-character file calls on the UTF-8
// paths, and a replacement of the old file in one step that keeps its
// attributes and security.
#include "presets/FileAccess.h"

#include <windows.h>
#include <aclapi.h>

#include <cerrno>
#include <string>

#include "core/FileCreation.h"
#include "core/TextUtil.h"
#include "core/windows/OwnerOnly.h"

namespace {

int ErrnoOf(DWORD nError)
{
    switch (nError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

// A failure a Windows call reported: the kind and text of the errno value it
// stands for, and Windows' own code.
Failure WinFailure(DWORD nError)
{
    Failure failure = ErrnoFailure(ErrnoOf(nError));
    failure.nCode = static_cast<int>(nError);
    return failure;
}

// Opens an existing file; only files on a disk are accepted (a device name
// such as COM1 or NUL is refused without touching the device).
HANDLE OpenDiskFile(const std::wstring& strPath, DWORD nAccess, Failure& failure)
{
    const DWORD nAttributes = GetFileAttributesW(strPath.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES) {
        failure = WinFailure(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    if (nAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        failure = ErrnoFailure(EISDIR);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE hFile = CreateFileW(strPath.c_str(), nAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        failure = WinFailure(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    if (GetFileType(hFile) != FILE_TYPE_DISK) {
        CloseHandle(hFile);
        failure = ErrnoFailure(EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    return hFile;
}

// Gives the new file what belongs to the old one rather than to its content:
// its access list and its attributes. ReplaceFileW merges them too; this makes
// it hold also where the system's replace does not (some network and emulated
// file systems). What cannot be read or set is left to ReplaceFileW.
void CarryFileFacts(const std::wstring& strFrom, const std::wstring& strTo)
{
    DWORD nSize = 0;
    GetFileSecurityW(strFrom.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &nSize);
    if (nSize > 0) {
        std::string security(nSize, '\0');
        if (GetFileSecurityW(strFrom.c_str(), DACL_SECURITY_INFORMATION, security.data(), nSize, &nSize))
            SetFileSecurityW(strTo.c_str(), DACL_SECURITY_INFORMATION, security.data());
    }
    const DWORD nAttributes = GetFileAttributesW(strFrom.c_str());
    constexpr DWORD kKept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & kKept))
        SetFileAttributesW(strTo.c_str(), nAttributes & kKept);
}

// The security a new file takes at its creation: the access list of the file
// it replaces, or one of the user alone; it is never readable by more than
// the old file was. Freed with LocalFree.
PSECURITY_DESCRIPTOR SecurityAtCreation(const std::wstring& strOld, bool bExists)
{
    if (bExists) {
        DWORD nSize = 0;
        GetFileSecurityW(strOld.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &nSize);
        if (nSize > 0) {
            PSECURITY_DESCRIPTOR pSd = LocalAlloc(LMEM_FIXED, nSize);
            if (pSd && GetFileSecurityW(strOld.c_str(), DACL_SECURITY_INFORMATION, pSd, nSize, &nSize))
                return pSd;
            if (pSd)
                LocalFree(pSd);
        }
    }
    return NewOwnerOnlySecurity();
}

// A new file's final access list, as it would have had if created in place:
// what the folder passes on.
void InheritFromFolder(const std::wstring& strPath)
{
    ACL acl{};
    if (InitializeAcl(&acl, sizeof(acl), ACL_REVISION))
        SetNamedSecurityInfoW(const_cast<wchar_t*>(strPath.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr);
}

bool WriteAll(HANDLE hFile, const std::string& strBytes, Failure& failure)
{
    size_t nDone = 0;
    while (nDone < strBytes.size()) {
        const size_t nLeft = strBytes.size() - nDone;
        const DWORD nAsk = nLeft > 0x10000000u ? 0x10000000u : static_cast<DWORD>(nLeft);
        DWORD nWritten = 0;
        if (!WriteFile(hFile, strBytes.data() + nDone, nAsk, &nWritten, nullptr)) {
            failure = WinFailure(GetLastError());
            return false;
        }
        if (nWritten == 0) {
            failure = ErrnoFailure(EIO);
            return false;
        }
        nDone += nWritten;
    }
    return true;
}

} // namespace

Status ReadRegularFile(const std::string& strPath, size_t nMax, std::string& strBytes, bool& bCut)
{
    strBytes.clear();
    bCut = false;
    Failure failure;
    HANDLE hFile = OpenDiskFile(FromUtf8(strPath), GENERIC_READ, failure);
    if (hFile == INVALID_HANDLE_VALUE)
        return failure;
    char buf[65536];
    bool bOk = true;
    while (strBytes.size() < nMax) {
        const size_t nWant = nMax - strBytes.size() < sizeof(buf) ? nMax - strBytes.size() : sizeof(buf);
        DWORD nRead = 0;
        if (!ReadFile(hFile, buf, static_cast<DWORD>(nWant), &nRead, nullptr)) {
            failure = WinFailure(GetLastError());
            bOk = false;
            break;
        }
        if (nRead == 0)
            break;
        strBytes.append(buf, nRead);
    }
    if (bOk && strBytes.size() >= nMax) {
        char c;
        DWORD nRead = 0;
        bCut = ReadFile(hFile, &c, 1, &nRead, nullptr) && nRead > 0;
    }
    CloseHandle(hFile);
    if (!bOk)
        return failure;
    return Status();
}

std::string ResolveTarget(const std::string& strPath)
{
    return strPath;
}

Status CheckReplaceable(const std::string& strPath, size_t nMax, FileFacts& facts)
{
    facts = FileFacts{};
    const std::wstring strWide = FromUtf8(strPath);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(strWide.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD nError = GetLastError();
        if (ErrnoOf(nError) == ENOENT)
            return Status();
        return WinFailure(nError);
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return ErrnoFailure(EISDIR);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return ErrnoFailure(EACCES);
    // May we write it? Opening it for writing tells, without changing it.
    Failure failure;
    HANDLE hFile = OpenDiskFile(strWide, GENERIC_WRITE, failure);
    if (hFile == INVALID_HANDLE_VALUE)
        return failure;
    CloseHandle(hFile);
    const unsigned long long nSize = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (nSize > nMax)
        return ErrnoFailure(EFBIG);
    facts.bExists = true;
    return Status();
}

Status ReplaceFileContents(const std::string& strPath, const std::string& strBytes, const FileFacts& facts)
{
    Failure failure;
    const std::wstring strTarget = FromUtf8(strPath);
    const size_t nSlash = strTarget.find_last_of(L"\\/:");
    const std::wstring strDir = nSlash == std::wstring::npos ? std::wstring() : strTarget.substr(0, nSlash + 1);
    std::wstring strTemp;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    PSECURITY_DESCRIPTOR pSecurity = SecurityAtCreation(strTarget, facts.bExists);
    if (!pSecurity)
        return WinFailure(GetLastError());
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = pSecurity;
    DWORD nError = ERROR_FILE_EXISTS;
    for (int nTry = 0; nTry < 100 && hFile == INVALID_HANDLE_VALUE && nError == ERROR_FILE_EXISTS; ++nTry) {
        // CREATE_NEW: a file or link already there is never opened or followed.
        strTemp = strDir + FromUtf8(ReplacementTempName());
        hFile = CreateFileW(strTemp.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        nError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    }
    LocalFree(pSecurity);
    if (hFile == INVALID_HANDLE_VALUE)
        return nError == ERROR_FILE_EXISTS ? ErrnoFailure(EEXIST) : WinFailure(nError);
    FileCreated(ToUtf8(strTemp));
    bool bOk = WriteAll(hFile, strBytes, failure);
    if (bOk && !FlushFileBuffers(hFile)) {
        failure = WinFailure(GetLastError());
        bOk = false;
    }
    CloseHandle(hFile);
    if (bOk && !facts.bExists && !facts.bPrivate)
        InheritFromFolder(strTemp);
    if (bOk && facts.bExists) {
        CarryFileFacts(strTarget, strTemp);
        // The new content takes the old file's place and keeps what belongs
        // to the file rather than to its content: its attributes, its
        // security (owner and access list), its creation time and its other
        // streams. The content is on the disk already (flushed above).
        if (!ReplaceFileW(strTarget.c_str(), strTemp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                          nullptr)) {
            const DWORD nError = GetLastError();
            // Gone since it was checked: the new file simply takes the name.
            if (nError != ERROR_FILE_NOT_FOUND) {
                failure = WinFailure(nError);
                bOk = false;
            }
        } else {
            return Status();
        }
    }
    if (bOk && !MoveFileExW(strTemp.c_str(), strTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = WinFailure(GetLastError());
        bOk = false;
    }
    if (!bOk) {
        DeleteFileW(strTemp.c_str());
        return failure;
    }
    return Status();
}
