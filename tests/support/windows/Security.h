#pragma once
// What the Windows tests read of accounts and access lists. The account is
// looked up here on its own, not through the program's code, so a test that
// compares an access list with it checks that code rather than restating it.

#include <filesystem>
#include <string>

#include <windows.h>
#include <sddl.h>

// The string form of the process user's SID ("S-1-5-21-..."), "" on failure.
inline std::wstring UserSid()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return std::wstring();
    DWORD nSize = 0;
    GetTokenInformation(hToken, TokenUser, nullptr, 0, &nSize);
    std::string buf(nSize, '\0');
    std::wstring strSid;
    wchar_t* pszSid = nullptr;
    if (GetTokenInformation(hToken, TokenUser, buf.data(), nSize, &nSize)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &pszSid)) {
        strSid = pszSid;
        LocalFree(pszSid);
    }
    CloseHandle(hToken);
    return strSid;
}

// The file's access list in its text form ("" when it cannot be read).
inline std::wstring AccessList(const std::filesystem::path& path)
{
    DWORD nSize = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &nSize);
    std::string buf(nSize, '\0');
    wchar_t* pszText = nullptr;
    if (nSize == 0 || !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, buf.data(), nSize, &nSize)
        || !ConvertSecurityDescriptorToStringSecurityDescriptorW(buf.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                 &pszText, nullptr))
        return std::wstring();
    std::wstring strText(pszText);
    LocalFree(pszText);
    return strText;
}
