// The log on Windows for an account whose name is outside the system's code
// page: where the current folder refuses the log (a folder at its name,
// another account's log or rotated log), it goes to %LOCALAPPDATA%, a path
// of non-ASCII letters; the lines reach that file, and its access list names
// the user alone. The user's own log in the current folder is used and made
// the user's alone.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <spdlog/spdlog.h>

#include "core/Logging.h"
#include "core/TextUtil.h"
#include "support/FileBytes.h"
#include "support/windows/Security.h"

namespace fs = std::filesystem;

namespace {

// Gives the file the security of the SDDL text (owner and access list).
bool SetSecurity(const fs::path& path, const wchar_t* pszSddl, SECURITY_INFORMATION nWhat)
{
    PSECURITY_DESCRIPTOR pSd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(pszSddl, SDDL_REVISION_1, &pSd, nullptr))
        return false;
    const bool bSet = SetFileSecurityW(path.c_str(), nWhat, pSd);
    LocalFree(pSd);
    return bSet;
}

// The file's owner in its text form ("O:SY"), "" when it cannot be read.
std::wstring OwnerOf(const fs::path& path)
{
    DWORD nSize = 0;
    GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &nSize);
    std::string buf(nSize, '\0');
    wchar_t* pszText = nullptr;
    if (nSize == 0 || !GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, buf.data(), nSize, &nSize)
        || !ConvertSecurityDescriptorToStringSecurityDescriptorW(buf.data(), SDDL_REVISION_1,
                                                                 OWNER_SECURITY_INFORMATION, &pszText, nullptr))
        return std::wstring();
    std::wstring strText(pszText);
    LocalFree(pszText);
    return strText;
}

} // namespace

TEST(WindowsLog, TheLogIsTheUsersOwnPrivateFile)
{
    const std::wstring strSid = UserSid();
    ASSERT_FALSE(strSid.empty());
    // What the working folder holds at the log's name ("dir": a folder,
    // "other": a file of another account, "own": the user's file that all may
    // read), which file gets the log ("here" or "appdata").
    struct Case {
        const wchar_t* pszName;
        const wchar_t* pszHolds;
        const wchar_t* pszLogIn;
    };
    const wchar_t* pszLog = L"Orra_QVL_Utility_log.txt";
    const wchar_t* pszRotated = L"Orra_QVL_Utility_log.2.txt";
    for (const Case& c : {Case{pszLog, L"dir", L"appdata"}, Case{pszLog, L"other", L"appdata"},
                          Case{pszRotated, L"other", L"appdata"}, Case{pszLog, L"own", L"here"}}) {
        const std::wstring strCase = std::wstring(c.pszHolds) + L" " + c.pszName;
        SCOPED_TRACE(fs::path(strCase).string());
        const fs::path root = fs::temp_directory_path() / (L"qvl-log-" + std::to_wstring(GetCurrentProcessId()));
        const fs::path appData = root / L"Users" / L"Jos\u00e9 \u738b\u4f1f" / L"AppData" / L"Local";
        const fs::path work = root / L"Program Files";
        fs::create_directories(appData);
        fs::create_directories(work);
        const fs::path planted = work / c.pszName;
        if (std::wstring(c.pszHolds) == L"dir") {
            fs::create_directories(planted);
        } else {
            std::ofstream(planted) << "earlier lines\n";
            ASSERT_TRUE(SetSecurity(planted, L"D:P(A;;FA;;;WD)", DACL_SECURITY_INFORMATION));
            // Wine keeps every file its user's: there the row cannot run.
            if (std::wstring(c.pszHolds) == L"other"
                && (!SetSecurity(planted, L"O:SY", OWNER_SECURITY_INFORMATION) || OwnerOf(planted) != L"O:SY")) {
                std::printf("skipped: no file of another account can be made here\n");
                std::error_code ec;
                fs::remove_all(root, ec);
                continue;
            }
        }
        wchar_t szOldDir[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, szOldDir);
        ASSERT_TRUE(SetCurrentDirectoryW(work.c_str()));
        ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str()));

        const std::string strPath = SetupLogging("qvl-utility");
        spdlog::info("Display WWAN 1 APN {}", "caf\xC3\xA9");
        spdlog::default_logger()->flush();
        spdlog::shutdown();
        SetCurrentDirectoryW(szOldDir);

        const fs::path expected =
            std::wstring(c.pszLogIn) == L"here" ? work / pszLog : appData / L"Orra QVL Utility" / pszLog;
        std::error_code ec;
        const fs::path got =
            fs::path(FromUtf8(strPath)).is_relative() ? work / FromUtf8(strPath) : fs::path(FromUtf8(strPath));
        EXPECT_TRUE(fs::equivalent(got, expected, ec)) << strPath;
        const std::string strLog = ReadBytes(expected);
        EXPECT_NE(strLog.find(std::string("QVLUtility Ver.") + kVersionText + " Start.."), std::string::npos) << strLog;
        EXPECT_NE(strLog.find("Display WWAN 1 APN caf\xC3\xA9"), std::string::npos) << strLog;
        // The user has it; everyone else, the users' groups included, has no
        // entry (the folder would give them one).
        const std::wstring strList = AccessList(expected);
        EXPECT_NE(strList.find(L";;;" + strSid + L")"), std::wstring::npos) << fs::path(strList).string();
        for (const wchar_t* pszOthers : {L";;;WD)", L";;;BU)", L";;;AU)", L";;;IU)"})
            EXPECT_EQ(strList.find(pszOthers), std::wstring::npos) << fs::path(strList).string();
        // Another account's file is left as it was.
        if (std::wstring(c.pszHolds) == L"other") {
            EXPECT_EQ(ReadBytes(planted), "earlier lines\n");
            EXPECT_EQ(AccessList(planted), L"D:P(A;;FA;;;WD)");
        }
        fs::remove_all(root, ec);
    }
}
