// The log on Windows for an account whose name is outside the system's code
// page: the current folder refuses the log, so it goes to %LOCALAPPDATA%, a
// path of non-ASCII letters; the lines reach that file, and the new file's
// access list names the user alone.
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

TEST(WindowsLog, NonAsciiLocalAppDataReceivesTheLinesInAPrivateFile)
{
    const fs::path root = fs::temp_directory_path() / (L"qvl-log-" + std::to_wstring(GetCurrentProcessId()));
    const fs::path appData = root / L"Users" / L"Jos\u00e9 \u738b\u4f1f" / L"AppData" / L"Local";
    const fs::path work = root / L"Program Files";
    fs::create_directories(appData);
    // The working folder does not take the log: its name is a folder there.
    fs::create_directories(work / kLogFileName);
    wchar_t szOldDir[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szOldDir);
    ASSERT_TRUE(SetCurrentDirectoryW(work.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str()));

    const std::string strPath = SetupLogging("qvl-utility");
    spdlog::info("Display WWAN 1 APN {}", "caf\xC3\xA9");
    spdlog::default_logger()->flush();
    spdlog::shutdown();
    SetCurrentDirectoryW(szOldDir);

    const fs::path expected = appData / L"Orra QVL Utility" / kLogFileName;
    std::error_code ec;
    EXPECT_TRUE(fs::equivalent(fs::path(FromUtf8(strPath)), expected, ec)) << strPath;
    const std::string strLog = ReadBytes(expected);
    EXPECT_NE(strLog.find(std::string("QVLUtility Ver.") + kVersionText + " Start.."), std::string::npos) << strLog;
    EXPECT_NE(strLog.find("Display WWAN 1 APN caf\xC3\xA9"), std::string::npos) << strLog;
    // The user has it; everyone else, the users' groups included, has no
    // entry (the folder would give them one).
    const std::wstring strSid = UserSid();
    const std::wstring strList = AccessList(expected);
    ASSERT_FALSE(strSid.empty());
    EXPECT_NE(strList.find(L";;;" + strSid + L")"), std::wstring::npos) << fs::path(strList).string();
    for (const wchar_t* pszOthers : {L";;;WD)", L";;;BU)", L";;;AU)", L";;;IU)"})
        EXPECT_EQ(strList.find(pszOthers), std::wstring::npos) << fs::path(strList).string();

    fs::remove_all(root, ec);
}
