#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/TextUtil.h"
#include "core/FileCreation.h"
#include "presets/IniFile.h"
#include "support/TempDir.h"

namespace {

CIniFile Parsed(const std::string& strBytes)
{
    CIniFile ini;
    ini.Parse(strBytes);
    return ini;
}

std::wstring Get(const CIniFile& ini, const std::wstring& strSection, const std::wstring& strKey)
{
    return ini.GetString(strSection, strKey, L"<absent>");
}

size_t CountEntries(const std::filesystem::path& dir)
{
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir); it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

} // namespace

// ---- Reading -------------------------------------------------------------------

TEST(IniRead, LookupsIgnoreLetterCaseAndTakeTheFirstMatch)
{
    const CIniFile ini = Parsed("[Wi-Fi]\r\nssid=first\r\nSSID=second\r\n[WI-FI]\r\nPWTYPE=1\r\n");
    EXPECT_EQ(Get(ini, L"wi-fi", L"SSID"), L"first");
    // The second spelling of the section is never reached by a lookup.
    EXPECT_EQ(Get(ini, L"Wi-Fi", L"PWTYPE"), L"<absent>");
    // Exact spelling is what the section listing reports.
    EXPECT_TRUE(ini.HasSectionExact(L"WI-FI"));
    EXPECT_FALSE(ini.HasSectionExact(L"wi-fi"));
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::wstring>{L"Wi-Fi", L"WI-FI"}));
}

TEST(IniRead, BlanksAndOneQuotePairAreDropped)
{
    const CIniFile ini = Parsed(
        "[ S ]\n"
        "  A  =  spaced value \t\n"
        "B=\"quoted\"\n"
        "C=\"\"twice\"\"\n"
        "D='single'\n"
        "E=\"unbalanced\n"
        "F=\"mixed'\n"
        "G=\"\n"
        "H=\"  inner  \"\n"
        "I=a=b\n");
    EXPECT_EQ(Get(ini, L"S", L"A"), L"spaced value");
    EXPECT_EQ(Get(ini, L"S", L"B"), L"quoted");
    EXPECT_EQ(Get(ini, L"S", L"C"), L"\"twice\"");
    EXPECT_EQ(Get(ini, L"S", L"D"), L"single");
    EXPECT_EQ(Get(ini, L"S", L"E"), L"\"unbalanced");
    EXPECT_EQ(Get(ini, L"S", L"F"), L"\"mixed'");
    EXPECT_EQ(Get(ini, L"S", L"G"), L"\"");
    EXPECT_EQ(Get(ini, L"S", L"H"), L"  inner  ");
    EXPECT_EQ(Get(ini, L"S", L"I"), L"a=b");
}

TEST(IniRead, WhatCannotBeReadIsAbsent)
{
    const CIniFile ini = Parsed(
        "APN=before any section\n"
        "[S]\n"
        "no equals sign here\n"
        "; APN=commented\n"
        "# USERNAME=commented\n"
        "=no name\n"
        "[broken\n"
        "PASSWORD=\n");
    EXPECT_EQ(Get(ini, L"S", L"APN"), L"<absent>");
    EXPECT_EQ(Get(ini, L"S", L"USERNAME"), L"<absent>");
    EXPECT_EQ(Get(ini, L"S", L"no equals sign here"), L"<absent>");
    // "[broken" opens no section: the key after it still belongs to S, and an
    // empty value is present, not absent.
    EXPECT_EQ(Get(ini, L"S", L"PASSWORD"), L"");
    EXPECT_EQ(ini.SectionNames(), std::vector<std::wstring>{L"S"});
}

TEST(IniRead, ValueIsCutTo1023Utf16Units)
{
    const std::string strLong(1500, 'x');
    EXPECT_EQ(Get(Parsed("[S]\nK=" + strLong + "\n"), L"S", L"K"), std::wstring(1023, L'x'));

    // A character outside the BMP that would straddle the cut is left out
    // whole rather than split.
    const std::string strEmoji = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units
    const std::wstring strRead = Get(Parsed("[S]\nK=" + std::string(1022, 'y') + strEmoji + "\n"), L"S", L"K");
    EXPECT_EQ(strRead, std::wstring(1022, L'y'));
    const std::wstring strFits = Get(Parsed("[S]\nK=" + std::string(1021, 'y') + strEmoji + "z\n"), L"S", L"K");
    EXPECT_EQ(strFits, std::wstring(1021, L'y') + L"\U0001F600");
}

TEST(IniRead, EncodingsAndLineEnds)
{
    // UTF-8 with and without BOM, CRLF and LF mixed, a last line without end.
    const CIniFile utf8 = Parsed("\xEF\xBB\xBF[S]\r\nA=caf\xC3\xA9\nB=last");
    EXPECT_EQ(utf8.GetEncoding(), CIniFile::Encoding::Utf8Bom);
    EXPECT_EQ(Get(utf8, L"S", L"A"), L"caf\u00E9");
    EXPECT_EQ(Get(utf8, L"S", L"B"), L"last");

    // Bytes that are not UTF-8 read as Latin-1.
    EXPECT_EQ(Get(Parsed("[S]\nA=caf\xE9\n"), L"S", L"A"), L"caf\u00E9");

    // UTF-16LE with BOM, as the Windows tool leaves a file it was given that
    // way; a surrogate pair becomes one character.
    const CIniFile utf16 = Parsed(Utf16LeWithBom(u"[Wi-Fi]\r\nSSID=Caf\u00E9 \U0001F600\r\nPWTYPE=1\r\n"));
    EXPECT_EQ(utf16.GetEncoding(), CIniFile::Encoding::Utf16Le);
    EXPECT_EQ(Get(utf16, L"wi-fi", L"ssid"), L"Caf\u00E9 \U0001F600");
    EXPECT_EQ(Get(utf16, L"Wi-Fi", L"PWTYPE"), L"1");
}

TEST(IniRead, GarbageNeverCrashes)
{
    std::mt19937 rng(12345);
    for (int nRound = 0; nRound < 200; ++nRound) {
        std::string strBytes(static_cast<size_t>(rng() % 3000), '\0');
        for (char& c : strBytes)
            c = static_cast<char>(rng() % 8 == 0 ? "[]=\r\n\"' "[rng() % 8] : rng());
        if (nRound % 3 == 0)
            strBytes.insert(0, "\xFF\xFE");
        CIniFile ini;
        ini.Parse(strBytes);
        for (const std::wstring& strName : ini.SectionNames())
            (void)ini.GetString(strName, L"APN", L"");
        ini.SetValue(L"WWAN", L"APN", L"x");
        EXPECT_EQ(Get(ini, L"WWAN", L"APN"), L"x");
    }
}

TEST(IniRead, FilesThatCannotBeReadReadAsEmpty)
{
    TempDir dir;
    CIniFile ini;
    EXPECT_TRUE(ini.Load(dir.WPath("missing.ini")).Is(FailureKind::NotFound));
    EXPECT_TRUE(ini.SectionNames().empty());
    const Status folder = ini.Load(dir.Root().wstring());
    EXPECT_TRUE(folder.Is(FailureKind::IoError));
    EXPECT_EQ(folder.Why().nCode, EISDIR);
    EXPECT_EQ(folder.Text(), L"Is a directory");

    // A FIFO must not block the reader.
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(ini.Load(dir.WPath("fifo")).Is(FailureKind::IoError));

    // A huge file: only the first part is read.
    std::string strHuge = "[S]\nA=1\n";
    strHuge += std::string(CIniFile::kMaxFileBytes, 'g');
    strHuge += "\n[Late]\nB=2\n";
    WriteBytes(dir.Path("huge.ini"), strHuge);
    EXPECT_TRUE(ini.Load(dir.WPath("huge.ini")));
    EXPECT_TRUE(ini.WasCut());
    EXPECT_EQ(Get(ini, L"S", L"A"), L"1");
    EXPECT_FALSE(ini.HasSectionExact(L"Late"));
}

// ---- Updating ------------------------------------------------------------------

TEST(IniUpdate, KeepsForeignContentByteForByte)
{
    TempDir dir;
    const std::string strPath = dir.Path("p.all");
    const std::string strBefore =
        "; written by hand\r\n"
        "\r\n"
        "[Other]\r\n"
        "Foreign = kept  \r\n"
        "junk line\r\n"
        "\r\n"
        "[WWAN]\r\n"
        "apn=old\r\n"
        "Extra=1\r\n"
        "; trailing comment\r\n"
        "\r\n"
        "[Last]\r\n"
        "Z=\xE9\r\n"; // Latin-1 byte: must survive untouched
    WriteBytes(strPath, strBefore);

    const Status updated = UpdateIniFile(dir.WPath("p.all"), L"WWAN", {{L"APN", L"new"}, {L"PDPTYPE", L"2"}});
    ASSERT_TRUE(updated);
    EXPECT_EQ(updated.Text(), L"");
    // The existing key keeps its place and spelling; the missing one goes
    // after the last key of its section, before the comment and blank line.
    const std::string strExpected =
        "; written by hand\r\n"
        "\r\n"
        "[Other]\r\n"
        "Foreign = kept  \r\n"
        "junk line\r\n"
        "\r\n"
        "[WWAN]\r\n"
        "apn=new\r\n"
        "Extra=1\r\n"
        "PDPTYPE=2\r\n"
        "; trailing comment\r\n"
        "\r\n"
        "[Last]\r\n"
        "Z=\xE9\r\n";
    EXPECT_EQ(ReadBytes(strPath), strExpected);
}

TEST(IniUpdate, AddsSectionsAtTheEndInTheFilesOwnStyle)
{
    TempDir dir;
    // New file: UTF-8 without BOM, CRLF.
    ASSERT_TRUE(UpdateIniFile(dir.WPath("new.wifi"), L"Wi-Fi", {{L"SSID", L"caf\u00E9"}, {L"PWTYPE", L"0"}}));
    ASSERT_TRUE(UpdateIniFile(dir.WPath("new.wifi"), L"WWAN", {{L"APN", L"a"}}));
    EXPECT_EQ(ReadBytes(dir.Path("new.wifi")), "[Wi-Fi]\r\nSSID=caf\xC3\xA9\r\nPWTYPE=0\r\n\r\n[WWAN]\r\nAPN=a\r\n");

    // An LF file without a final line end stays LF.
    WriteBytes(dir.Path("lf.ini"), "[A]\nK=1");
    ASSERT_TRUE(UpdateIniFile(dir.WPath("lf.ini"), L"A", {{L"L", L"2"}}));
    ASSERT_TRUE(UpdateIniFile(dir.WPath("lf.ini"), L"B", {{L"M", L"3"}}));
    EXPECT_EQ(ReadBytes(dir.Path("lf.ini")), "[A]\nK=1\nL=2\n\n[B]\nM=3\n");

    // A last line ended by a lone carriage return: the value stays as it
    // read, and the added lines follow on lines of their own.
    WriteBytes(dir.Path("cr.ini"), "[A]\nK=v\r");
    ASSERT_TRUE(UpdateIniFile(dir.WPath("cr.ini"), L"B", {{L"M", L"3"}}));
    EXPECT_EQ(ReadBytes(dir.Path("cr.ini")), "[A]\nK=v\n\n[B]\nM=3\n");
    CIniFile cr;
    ASSERT_TRUE(cr.Load(dir.WPath("cr.ini")));
    EXPECT_EQ(Get(cr, L"A", L"K"), L"v");

    // A UTF-8 file with BOM keeps its BOM.
    WriteBytes(dir.Path("bom.ini"), "\xEF\xBB\xBF[A]\r\nK=1\r\n");
    ASSERT_TRUE(UpdateIniFile(dir.WPath("bom.ini"), L"a", {{L"k", L"2"}}));
    EXPECT_EQ(ReadBytes(dir.Path("bom.ini")), "\xEF\xBB\xBF[A]\r\nK=2\r\n");
}

TEST(IniUpdate, Utf16FileStaysUtf16)
{
    TempDir dir;
    const std::string strPath = dir.Path("hand.wifi");
    WriteBytes(strPath, Utf16LeWithBom(u"[Wi-Fi]\r\nSSID=old\r\n; note \u00E9\r\n"));
    ASSERT_TRUE(
        UpdateIniFile(dir.WPath("hand.wifi"), L"Wi-Fi", {{L"SSID", L"n\u00E9w \U0001F600"}, {L"PWTYPE", L"1"}}));
    EXPECT_EQ(ReadBytes(strPath),
              Utf16LeWithBom(u"[Wi-Fi]\r\nSSID=n\u00E9w \U0001F600\r\nPWTYPE=1\r\n; note \u00E9\r\n"));
}

TEST(IniUpdate, EveryValueReadsBackExactly)
{
    TempDir dir;
    const std::vector<std::wstring> values = {
        L"",  L" lead",   L"trail\t",       L"\"quoted\"",       L"'single'", L"\"half",
        L"=", L"a=b;c#d", L"[notasection]", L"\u00E9\U0001F600", L"\"",       L"  ",
    };
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(UpdateIniFile(dir.WPath("v.ini"), L"S", {{L"K" + std::to_wstring(i), values[i]}}));
    CIniFile ini;
    ASSERT_TRUE(ini.Load(dir.WPath("v.ini")));
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(Get(ini, L"S", L"K" + std::to_wstring(i)), values[i]) << "value " << i;
}

TEST(IniUpdate, LineBreakIsRefusedAndNothingIsWritten)
{
    TempDir dir;
    WriteBytes(dir.Path("p.wwan"), "[WWAN]\r\nAPN=keep\r\n");
    const Status refused = UpdateIniFile(dir.WPath("p.wwan"), L"WWAN", {{L"APN", L"ok"}, {L"PASSWORD", L"a\nb"}});
    EXPECT_TRUE(refused.Is(FailureKind::InvalidData));
    EXPECT_NE(refused.Text().find(L"PASSWORD"), std::wstring::npos);
    EXPECT_NE(refused.Text().find(L"line break"), std::wstring::npos);
    EXPECT_EQ(ReadBytes(dir.Path("p.wwan")), "[WWAN]\r\nAPN=keep\r\n");
    EXPECT_FALSE(UpdateIniFile(dir.WPath("n.wwan"), L"WWAN", {{L"APN", L"a\rb"}}));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("n.wwan")));
}

namespace {

// The permission bits of each new file a save created, as they were at once
// after its creation.
std::vector<unsigned> g_arrCreatedModes;

void RecordCreatedMode(const std::string& strTemp)
{
    struct stat st { };
    g_arrCreatedModes.push_back(::stat(strTemp.c_str(), &st) == 0 ? st.st_mode & 07777 : 0);
}

} // namespace

// The new content is never open to group or others, not even before it takes
// the old file's mode; a new file takes the umask's.
TEST(IniUpdate, KeepsPermissionsAndFollowsLinks)
{
    TempDir dir;
    WriteBytes(dir.Path("real.ini"), "[A]\nK=1\n");
    ASSERT_EQ(::chmod(dir.Path("real.ini").c_str(), 0640), 0);
    std::filesystem::create_symlink(dir.Path("real.ini"), dir.Path("link.ini"));
    g_arrCreatedModes.clear();
    SetFileCreatedHook(RecordCreatedMode);
    const mode_t nOldMask = ::umask(027);
    const Status saved = UpdateIniFile(dir.WPath("link.ini"), L"A", {{L"K", L"2"}});
    const Status created = UpdateIniFile(dir.WPath("new.ini"), L"A", {{L"K", L"1"}});
    ::umask(nOldMask);
    SetFileCreatedHook(nullptr);
    ASSERT_TRUE(saved);
    ASSERT_TRUE(created);
    EXPECT_EQ(g_arrCreatedModes, (std::vector<unsigned>{0600u, 0600u}));
    EXPECT_EQ(std::filesystem::status(dir.Path("new.ini")).permissions(), std::filesystem::perms(0640));
    std::filesystem::remove(dir.Path("new.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.ini")));
    EXPECT_EQ(ReadBytes(dir.Path("real.ini")), "[A]\nK=2\n");
    struct stat st { };
    ASSERT_EQ(::stat(dir.Path("real.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(CountEntries(dir.Root()), 2u); // no temporary file left behind
}

namespace {

// Saves over strFile, another account's file the caller may write: it must
// stay that account's file, with its group and mode, and hold the new value.
// Returns what went wrong, empty when nothing did.
std::string SaveOverOthersFile(const std::string& strFile)
{
    struct stat before {
    }, after{};
    if (::stat(strFile.c_str(), &before) != 0 || before.st_uid == ::geteuid())
        return "no file of another account at " + strFile;
    const std::wstring strValue = L"ours-" + std::to_wstring(::getpid());
    if (const Status saved = UpdateIniFile(FromUtf8(strFile), L"WWAN", {{L"APN", strValue}}); !saved)
        return "save failed: " + ToUtf8(saved.Text());
    if (::stat(strFile.c_str(), &after) != 0)
        return "file gone";
    if (after.st_uid != before.st_uid || after.st_gid != before.st_gid || after.st_mode != before.st_mode)
        return "owner, group or mode changed";
    CIniFile ini;
    if (!ini.Load(strFile) || Get(ini, L"WWAN", L"APN") != strValue)
        return "new value not saved";
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(strFile).parent_path()))
        if (entry.path().filename().string()[0] == '.')
            return "temporary file left: " + entry.path().string();
    return std::string();
}

} // namespace

// A preset in a shared folder stays its owner's when someone else saves it.
// Root can give the new file any owner; an ordinary user cannot, so the file
// is rewritten in place. As root both are run (the second in a child that
// gives up root); an ordinary user needs a file of another account that it
// may write, planted by the test script (QVL_TEST_FOREIGN_DIR/shared/p.wwan).
TEST(IniUpdate, SavingAnotherAccountsFileKeepsItsOwnerAndGroup)
{
    if (::geteuid() != 0) {
        const char* pDir = std::getenv("QVL_TEST_FOREIGN_DIR");
        if (!pDir || !*pDir)
            GTEST_SKIP() << "needs a file of another account: run as root, or set QVL_TEST_FOREIGN_DIR";
        EXPECT_EQ(SaveOverOthersFile(std::string(pDir) + "/shared/p.wwan"), "");
        return;
    }
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Str().c_str(), 0777), 0);
    for (const char* pszName : {"root.wwan", "user.wwan"}) {
        WriteBytes(dir.Path(pszName), "[WWAN]\nAPN=theirs\n");
        ASSERT_EQ(::chown(dir.Path(pszName).c_str(), 65533, 65533), 0);
        ASSERT_EQ(::chmod(dir.Path(pszName).c_str(), 0666), 0);
    }
    EXPECT_EQ(SaveOverOthersFile(dir.Path("root.wwan")), "");

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0
            || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(3);
        const std::string strWrong = SaveOverOthersFile(dir.Path("user.wwan"));
        if (!strWrong.empty())
            std::fprintf(stderr, "as an ordinary user: %s\n", strWrong.c_str());
        ::_exit(strWrong.empty() ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << "status " << nStatus;
}

TEST(IniUpdate, FailuresReportTheReasonAndLeaveTheFileAlone)
{
    TempDir dir;

    const Status missing = UpdateIniFile(dir.WPath("no/such/folder/p.wwan"), L"WWAN", {{L"APN", L"a"}});
    EXPECT_TRUE(missing.Is(FailureKind::NotFound));
    EXPECT_EQ(missing.Text(), L"No such file or directory");

    WriteBytes(dir.Path("ro.wwan"), "[WWAN]\nAPN=keep\n");
    ASSERT_EQ(::chmod(dir.Path("ro.wwan").c_str(), 0444), 0);
    const Status readOnly = UpdateIniFile(dir.WPath("ro.wwan"), L"WWAN", {{L"APN", L"a"}});
    EXPECT_TRUE(readOnly.Is(FailureKind::Denied));
    EXPECT_EQ(readOnly.Why().nCode, EACCES);
    EXPECT_EQ(readOnly.Text(), L"Permission denied");
    EXPECT_EQ(ReadBytes(dir.Path("ro.wwan")), "[WWAN]\nAPN=keep\n");

    const Status folder = UpdateIniFile(dir.Root().wstring(), L"WWAN", {{L"APN", L"a"}});
    EXPECT_FALSE(folder);
    EXPECT_EQ(folder.Text(), L"Is a directory");

    // A file larger than the reader takes would lose its tail: refused.
    WriteBytes(dir.Path("huge.all"), "[WWAN]\nAPN=keep\n" + std::string(CIniFile::kMaxFileBytes, 'x'));
    const Status huge = UpdateIniFile(dir.WPath("huge.all"), L"WWAN", {{L"APN", L"a"}});
    EXPECT_TRUE(huge.Is(FailureKind::TooLarge));
    EXPECT_EQ(huge.Text(), L"File too large");
    EXPECT_EQ(std::filesystem::file_size(dir.Path("huge.all")), 16 + CIniFile::kMaxFileBytes);

    for (const auto& entry : std::filesystem::directory_iterator(dir.Root()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
}

TEST(IniUpdate, AFolderNobodyMayWriteIntoIsRefused)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder whatever its bits say; this runs as an ordinary user";
    TempDir dir;
    std::filesystem::create_directory(dir.Path("rodir"));
    ASSERT_EQ(::chmod(dir.Path("rodir").c_str(), 0555), 0);
    const Status refused = UpdateIniFile(dir.WPath("rodir/p.wwan"), L"WWAN", {{L"APN", L"a"}});
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.Text(), L"Permission denied");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path("rodir")));
}

TEST(IniUpdate, FailedWriteOfTheDataLeavesTheOriginal)
{
    // The file size limit makes the write of the new content fail half-way,
    // as a full disk would.
    TempDir dir;
    const std::string strOriginal = "[WWAN]\nAPN=keep\n";
    WriteBytes(dir.Path("p.wwan"), strOriginal);

    struct rlimit old { };
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status result = UpdateIniFile(dir.WPath("p.wwan"), L"WWAN", {{L"PASSWORD", std::wstring(200, L'p')}});
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result);
    EXPECT_EQ(result.Text(), L"File too large");
    EXPECT_EQ(ReadBytes(dir.Path("p.wwan")), strOriginal);
    EXPECT_EQ(CountEntries(dir.Root()), 1u); // the temporary file is gone
}

TEST(IniRead, FileOfTooManyLinesIsUnreadable)
{
    // 4 MiB of empty lines would cost a record per line.
    TempDir dir;
    WriteBytes(dir.Path("lines.all"), "[WWAN1]\nAPN=x\n" + std::string(CIniFile::kMaxFileBytes - 14, '\n'));
    CIniFile ini;
    EXPECT_TRUE(ini.Load(dir.Path("lines.all")).Is(FailureKind::TooLarge));
    EXPECT_EQ(Get(ini, L"WWAN1", L"APN"), L"<absent>");
    EXPECT_FALSE(UpdateIniFile(dir.WPath("lines.all"), L"WWAN1", {{L"APN", L"y"}}));

    // The bound itself reads.
    WriteBytes(dir.Path("edge.all"), "[WWAN1]\nAPN=x\n" + std::string(CIniFile::kMaxLines - 2, '\n'));
    EXPECT_TRUE(ini.Load(dir.Path("edge.all")));
    EXPECT_EQ(Get(ini, L"WWAN1", L"APN"), L"x");
    WriteBytes(dir.Path("edge.all"), "[WWAN1]\nAPN=x\n" + std::string(CIniFile::kMaxLines - 1, '\n'));
    EXPECT_TRUE(ini.Load(dir.Path("edge.all")).Is(FailureKind::TooLarge));
}

TEST(IniUpdate, NameNearTheFileNameLimitIsSaved)
{
    TempDir dir;
    const std::string strName = std::string(251, 'n') + ".all"; // 255 bytes
    const Status first = UpdateIniFile(dir.WPath(strName), L"WWAN1", {{L"APN", L"x"}});
    ASSERT_TRUE(first) << ToUtf8(first.Text());
    const Status second = UpdateIniFile(dir.WPath(strName), L"WWAN2", {{L"APN", L"y"}});
    ASSERT_TRUE(second) << ToUtf8(second.Text());
    CIniFile ini;
    ASSERT_TRUE(ini.Load(dir.Path(strName)));
    EXPECT_EQ(Get(ini, L"WWAN2", L"APN"), L"y");
    EXPECT_EQ(CountEntries(dir.Root()), 1u);
}
