// Preset files on Windows: updating replaces the file whole and keeps what
// other sections hold, under a non-ASCII path; what may not be written is
// refused with the file left as it was.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include "core/FileCreation.h"
#include "core/TextUtil.h"
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

// The access list of each new file a save created, at its creation.
std::vector<std::wstring> g_arrCreatedLists;

void RecordCreatedList(const std::string& strPath)
{
    g_arrCreatedLists.push_back(AccessList(fs::path(FromUtf8(strPath))));
}

} // namespace

// The new content is never open to more accounts than the old file was, not
// even before it takes the old file's list; a new file is its user's alone
// until it is complete, then takes what the folder gives.
TEST(PresetFile, SavingKeepsTheReplacedFilesAttributesAndAccessList)
{
    ScratchDir dir;
    const fs::path file = dir / L"kept.wwan";
    std::ofstream(dir / L"plain.txt") << "made in place";
    SetFileCreatedHook(RecordCreatedList);
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"old"}}));
    const std::wstring strNewFileList = AccessList(file);
    EXPECT_EQ(strNewFileList, AccessList(dir / L"plain.txt"));
    fs::remove(dir / L"plain.txt");
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

    const Status updated = UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"new"}});
    SetFileCreatedHook(nullptr);
    ASSERT_TRUE(updated) << fs::path(updated.Text()).string();
    // At creation: the new file names the user and no one else; the
    // replacing one names no group the old file did not.
    ASSERT_EQ(g_arrCreatedLists.size(), 2u);
    EXPECT_NE(g_arrCreatedLists[0].find(L";;;" + UserSid() + L")"), std::wstring::npos);
    for (const wchar_t* pszOthers : {L";;;WD)", L";;;BU)", L";;;AU)", L";;;IU)"}) {
        EXPECT_EQ(g_arrCreatedLists[0].find(pszOthers), std::wstring::npos) << fs::path(g_arrCreatedLists[0]).string();
        if (strList.find(pszOthers) == std::wstring::npos) {
            EXPECT_EQ(g_arrCreatedLists[1].find(pszOthers), std::wstring::npos) << fs::path(pszOthers).string();
        }
    }
    CIniFile ini;
    ASSERT_TRUE(ini.Load(file.wstring()));
    EXPECT_EQ(ini.GetString(L"WWAN", L"APN", L""), L"new");
    EXPECT_TRUE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(AccessList(file), strList);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / L""), fs::directory_iterator()), 1);
}

TEST(PresetFile, UpdateReplacesTheFileAndKeepsOtherSections)
{
    ScratchDir dir;
    const fs::path file = dir / L"home.wifi";
    const Status first = UpdateIniFile(file.wstring(), L"WIFI", {{L"SSID", L"first"}});
    ASSERT_TRUE(first) << fs::path(first.Text()).string();
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"OTHER", {{L"KEY", L"kept"}}));
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WIFI", {{L"SSID", L"second"}}));

    CIniFile ini;
    ASSERT_TRUE(ini.Load(file.wstring()));
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
    ASSERT_TRUE(UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"old"}}));
    const std::string strBefore = ReadBytes(file);
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    const Status readOnly = UpdateIniFile(file.wstring(), L"WWAN", {{L"APN", L"new"}});
    EXPECT_FALSE(readOnly);
    EXPECT_FALSE(readOnly.Text().empty());
    EXPECT_EQ(ReadBytes(file), strBefore);

    fs::create_directory(dir / L"folder.wwan");
    EXPECT_FALSE(UpdateIniFile((dir / L"folder.wwan").wstring(), L"WWAN", {{L"APN", L"x"}}));

    CIniFile ini;
    const Status folder = ini.Load((dir / L"folder.wwan").wstring());
    EXPECT_FALSE(folder);
    EXPECT_FALSE(folder.Is(FailureKind::NotFound));
    EXPECT_TRUE(ini.Load((dir / L"missing.wwan").wstring()).Is(FailureKind::NotFound));
    const Status device = ini.Load(std::wstring(L"NUL"));
    EXPECT_FALSE(device);
    EXPECT_FALSE(device.Is(FailureKind::NotFound));
}
