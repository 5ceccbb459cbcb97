// The process user's account and an access list of that user alone.
#include "core/windows/OwnerOnly.h"

#include <sddl.h>

std::string TokenSid(TOKEN_INFORMATION_CLASS nClass)
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return std::string();
    DWORD nSize = 0;
    GetTokenInformation(hToken, nClass, nullptr, 0, &nSize);
    std::string buf(nSize, '\0');
    std::string strSid;
    if (nSize && GetTokenInformation(hToken, nClass, buf.data(), nSize, &nSize)) {
        PSID pSid = nClass == TokenUser ? reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid
                                        : reinterpret_cast<TOKEN_OWNER*>(buf.data())->Owner;
        if (IsValidSid(pSid))
            strSid.assign(static_cast<const char*>(pSid), GetLengthSid(pSid));
    }
    CloseHandle(hToken);
    return strSid;
}

std::wstring CurrentUserSid()
{
    std::string strSid = TokenSid(TokenUser);
    wchar_t* pszSid = nullptr;
    if (strSid.empty() || !ConvertSidToStringSidW(strSid.data(), &pszSid))
        return std::wstring();
    std::wstring strText(pszSid);
    LocalFree(pszSid);
    return strText;
}

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
