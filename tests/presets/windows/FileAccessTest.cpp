// Preset files on Windows: updating replaces the file whole and keeps what
// other sections hold, under a non-ASCII path; what may not be written is
// refused with the file left as it was.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include "presets/IniFile.h"
#include "support/FileBytes.h"
#include "support/windows/Security.h"

namespace fs = std::filesystem;

namespace {

class ScratchDir {
public:
    ScratchDir()
        : m_path(fs::temp_directory_path() / (L"qvl-test-\u00e9\u65e5-" + std::to_wstring(GetCurrentProcessId())))
    {
        fs::create_directories(m_path);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(m_path, ec))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(m_path, ec);
    }
    fs::path operator/(const std::wstring& strName) const { return m_path / strName; }

private:
    fs::path m_path;
};

} // namespace

TEST(PresetFile, SavingKeepsTheReplacedFilesAttributesAndAccessList)
{
    ScratchDir dir;
    const fs::path file = dir / L"kept.wwan";
    std::wstring strError;
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"old"}}, strError));
    const std::wstring strNewFileList = AccessList(file);
    // A list of its own (everyone reads, the administrators change), and
    // hidden: what the user gave this file must outlive a save.
    PSECURITY_DESCRIPTOR pSd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FA;;;WD)", SDDL_REVISION_1,
                                                                     &pSd, nullptr));
    ASSERT_TRUE(SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, pSd));
    LocalFree(pSd);
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const std::wstring strList = AccessList(file);
    ASSERT_FALSE(strList.empty());
    ASSERT_NE(strList, strNewFileList);

    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"new"}}, strError)) << fs::path(strError).string();
    CIniFile ini;
    ASSERT_EQ(ini.Load(file.wstring()), CIniFile::LoadResult::Ok);
    EXPECT_EQ(ini.GetString(L"WWAN", L"APN", L""), L"new");
    EXPECT_TRUE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(AccessList(file), strList);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / L""), fs::directory_iterator()), 1);
}

TEST(PresetFile, UpdateReplacesTheFileAndKeepsOtherSections)
{
    ScratchDir dir;
    const fs::path file = dir / L"home.wifi";
    std::wstring strError;
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WIFI", {{L"SSID", L"first"}}, strError)) << fs::path(strError).string();
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"OTHER", {{L"KEY", L"kept"}}, strError));
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WIFI", {{L"SSID", L"second"}}, strError));

    CIniFile ini;
    ASSERT_EQ(ini.Load(file.wstring()), CIniFile::LoadResult::Ok);
    std::wstring strValue;
    EXPECT_TRUE(ini.GetValue(L"WIFI", L"SSID", strValue));
    EXPECT_EQ(strValue, L"second");
    EXPECT_TRUE(ini.GetValue(L"OTHER", L"KEY", strValue));
    EXPECT_EQ(strValue, L"kept");
    // Nothing of the writes is left beside the file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / L""), fs::directory_iterator()), 1);
}

TEST(PresetFile, ReadOnlyFilesFoldersAndDevicesAreRefused)
{
    ScratchDir dir;
    const fs::path file = dir / L"locked.wwan";
    std::wstring strError;
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"old"}}, strError));
    const std::string strBefore = ReadBytes(file);
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"new"}}, strError));
    EXPECT_FALSE(strError.empty());
    EXPECT_EQ(ReadBytes(file), strBefore);

    fs::create_directory(dir / L"folder.wwan");
    EXPECT_FALSE(UpdateIniFile((dir / L"folder.wwan").wstring(), L"WWAN", {{L"APN", L"x"}}, strError));

    CIniFile ini;
    EXPECT_EQ(ini.Load((dir / L"folder.wwan").wstring()), CIniFile::LoadResult::Failed);
    EXPECT_EQ(ini.Load((dir / L"missing.wwan").wstring()), CIniFile::LoadResult::Missing);
    EXPECT_EQ(ini.Load(std::wstring(L"NUL")), CIniFile::LoadResult::Failed);
}
