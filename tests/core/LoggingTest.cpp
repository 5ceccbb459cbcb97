#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "core/FileCreation.h"
#include "core/Logging.h"
#include "core/TextUtil.h"
#include "support/TempDir.h"

namespace {

bool Exists(const std::string& strPath)
{
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0;
}

off_t SizeOf(const std::string& strPath)
{
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 ? st.st_size : -1;
}

mode_t ModeOf(const std::string& strPath)
{
    struct stat st;
    return ::lstat(strPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

size_t CountOf(const std::string& strText, const std::string& strWhat)
{
    size_t n = 0;
    for (size_t pos = strText.find(strWhat); pos != std::string::npos; pos = strText.find(strWhat, pos + 1))
        ++n;
    return n;
}

// Runs each test in a fresh temporary directory as the current directory,
// with the fallback directory inside it, and leaves no logger behind.
class LoggingSetup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.Valid());
        m_strDir = m_dir.Str();
        if (const char* p = std::getenv("XDG_STATE_HOME"))
            m_strOldState = p, m_bHadState = true;
        ::setenv("XDG_STATE_HOME", (m_strDir + "/state").c_str(), 1);
        m_pCwd = std::make_unique<CurrentDirectory>(m_strDir);
        ASSERT_TRUE(m_pCwd->Entered());
    }

    void TearDown() override
    {
        spdlog::shutdown();
        m_pCwd.reset();
        if (m_bHadState)
            ::setenv("XDG_STATE_HOME", m_strOldState.c_str(), 1);
        else
            ::unsetenv("XDG_STATE_HOME");
    }

    std::string Path(const std::string& strName) const { return m_strDir + "/" + strName; }

    TempDir m_dir{"qvl-logtest"};
    std::unique_ptr<CurrentDirectory> m_pCwd;
    std::string m_strDir;
    std::string m_strOldState;
    bool m_bHadState = false;
};

} // namespace

TEST(LogLevelRule, DebugOnlyForTheExactCaseSensitiveText)
{
    EXPECT_TRUE(IsDebugLogRequested("qvl-utility --log=DEBUG"));
    EXPECT_TRUE(IsDebugLogRequested("qvl-utility --port=/dev/ttyACM0 --log=DEBUG --simulate"));
    EXPECT_TRUE(IsDebugLogRequested("qvl-utility --log=DEBUGGING"));   // inside another argument
    EXPECT_TRUE(IsDebugLogRequested("/opt/x--log=DEBUG/qvl-utility")); // even in the program's path
    EXPECT_TRUE(IsDebugLogRequested("qvl-utility --port=--log=DEBUG"));

    EXPECT_FALSE(IsDebugLogRequested(""));
    EXPECT_FALSE(IsDebugLogRequested("qvl-utility"));
    EXPECT_FALSE(IsDebugLogRequested("qvl-utility --log=debug"));
    EXPECT_FALSE(IsDebugLogRequested("qvl-utility --LOG=DEBUG"));
    EXPECT_FALSE(IsDebugLogRequested("qvl-utility --log=DEBU"));
    EXPECT_FALSE(IsDebugLogRequested("qvl-utility --log DEBUG"));
    EXPECT_FALSE(IsDebugLogRequested("qvl-utility -log=DEBUG"));
}

TEST(LogLevelRule, JoinedCommandLineKeepsEveryArgument)
{
    char a0[] = "qvl-utility", a1[] = "--port=/dev/x", a2[] = "--log=DEBUG";
    char* argv[] = {a0, a1, a2};
    EXPECT_EQ(JoinCommandLine(3, argv), "qvl-utility --port=/dev/x --log=DEBUG");
    EXPECT_TRUE(IsDebugLogRequested(JoinCommandLine(3, argv)));
    EXPECT_FALSE(IsDebugLogRequested(JoinCommandLine(2, argv)));
}

TEST_F(LoggingSetup, WritesStartLineAtInfoAndDropsDebugWithoutTheOption)
{
    EXPECT_EQ(SetupLogging("qvl-utility"), kLogFileName);
    EXPECT_EQ(spdlog::default_logger()->name(), "logger");
    spdlog::debug("{} nNo:{}", "CQVLUtilityDlg::SetDataToGroup", 1);
    spdlog::info("{} SetTimer:{}", "CQVLUtilityDlg::OnInitDialog", 1);
    spdlog::default_logger()->flush();

    const std::string strLog = ReadBytes(Path(kLogFileName));
    EXPECT_NE(strLog.find(std::string("] [logger] [info] QVLUtility Ver.") + kVersionText + " Start..\n"),
              std::string::npos)
        << strLog;
    EXPECT_NE(strLog.find("[info] CQVLUtilityDlg::OnInitDialog SetTimer:1\n"), std::string::npos);
    EXPECT_EQ(strLog.find("[debug]"), std::string::npos);
}

TEST_F(LoggingSetup, DebugLinesWithTheOptionAndErrorsReachTheFileAtOnce)
{
    SetupLogging("qvl-utility --log=DEBUGGING");
    spdlog::debug("{}", "CQVLUtilityDlg::OnFileExit");
    spdlog::error("InitSerial Failure.");
    // No explicit flush: an error is flushed as it is logged, with the lines before it.
    const std::string strLog = ReadBytes(Path(kLogFileName));
    EXPECT_NE(strLog.find("[debug] CQVLUtilityDlg::OnFileExit\n"), std::string::npos) << strLog;
    EXPECT_NE(strLog.find("[error] InitSerial Failure.\n"), std::string::npos) << strLog;
}

TEST_F(LoggingSetup, WideValuesAreWrittenAsUtf8)
{
    SetupLogging("qvl-utility");
    spdlog::info("Display WWAN {} APN {}", 1, ToUtf8(L"\u30A4\u30F3\u30BF\u30FC\u30CD\u30C3\u30C8"));
    spdlog::default_logger()->flush();
    EXPECT_NE(ReadBytes(Path(kLogFileName)).find("Display WWAN 1 APN \xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xBF"),
              std::string::npos);
}

TEST_F(LoggingSetup, ASecondRunAppendsAfterTheFirst)
{
    SetupLogging("qvl-utility");
    spdlog::info("first run");
    spdlog::shutdown();
    SetupLogging("qvl-utility");
    spdlog::info("second run");
    spdlog::default_logger()->flush();

    const std::string strLog = ReadBytes(Path(kLogFileName));
    EXPECT_EQ(CountOf(strLog, std::string("QVLUtility Ver.") + kVersionText + " Start.."), 2u);
    const size_t nFirst = strLog.find("first run");
    const size_t nSecondStart = strLog.rfind(std::string("QVLUtility Ver.") + kVersionText + " Start..");
    ASSERT_NE(nFirst, std::string::npos);
    EXPECT_LT(nFirst, nSecondStart);
    EXPECT_LT(nSecondStart, strLog.find("second run"));
}

TEST_F(LoggingSetup, AFullFileIsNotRotatedOnOpenButOnTheNextLineThatOverflows)
{
    {
        std::ofstream out(Path(kLogFileName), std::ios::binary);
        out << "old run\n" << std::string(kLogMaxFileSize - 200, 'x') << "\n";
    }
    SetupLogging("qvl-utility");
    spdlog::default_logger()->flush();
    EXPECT_FALSE(Exists(Path("Orra_QVL_Utility_log.1.txt")));
    EXPECT_EQ(ReadBytes(Path(kLogFileName)).rfind("old run\n", 0), 0u);

    spdlog::info("{}", std::string(400, 'y'));
    spdlog::default_logger()->flush();
    ASSERT_TRUE(Exists(Path("Orra_QVL_Utility_log.1.txt")));
    EXPECT_EQ(ReadBytes(Path("Orra_QVL_Utility_log.1.txt")).rfind("old run\n", 0), 0u);
    EXPECT_NE(ReadBytes(Path(kLogFileName)).find(std::string(400, 'y')), std::string::npos);
}

TEST_F(LoggingSetup, RotationKeepsThreeFilesOfAtMostFiveMebibytes)
{
    SetupLogging("qvl-utility");
    const std::string strLine(1000, 'z');
    // Enough for five files: the oldest content must be gone.
    spdlog::info("first line of all");
    for (int i = 0; i < 5 * 5300; ++i)
        spdlog::info("{} {}", i, strLine);
    spdlog::default_logger()->flush();

    // The limits users rely on, spelt out: 5 MiB a file, three rotated files.
    // A rotated file is full to within one line.
    constexpr off_t kFiveMiB = 5242880;
    for (const char* pszName : {"Orra_QVL_Utility_log.txt", "Orra_QVL_Utility_log.1.txt", "Orra_QVL_Utility_log.2.txt",
                                "Orra_QVL_Utility_log.3.txt"}) {
        ASSERT_TRUE(Exists(Path(pszName))) << pszName;
        EXPECT_LE(SizeOf(Path(pszName)), kFiveMiB) << pszName;
        if (std::string(pszName) != kLogFileName) {
            EXPECT_GT(SizeOf(Path(pszName)), kFiveMiB - 1100) << pszName;
        }
    }
    EXPECT_FALSE(Exists(Path("Orra_QVL_Utility_log.4.txt")));
    // The passwords in them stay private through every rotation.
    for (const char* pszName : {"Orra_QVL_Utility_log.txt", "Orra_QVL_Utility_log.1.txt", "Orra_QVL_Utility_log.2.txt",
                                "Orra_QVL_Utility_log.3.txt"})
        EXPECT_EQ(ModeOf(Path(pszName)), 0600u) << pszName;
    for (const char* pszName : {"Orra_QVL_Utility_log.txt", "Orra_QVL_Utility_log.1.txt", "Orra_QVL_Utility_log.2.txt",
                                "Orra_QVL_Utility_log.3.txt"})
        EXPECT_EQ(ReadBytes(Path(pszName)).find("first line of all"), std::string::npos) << pszName;
    // The newest line is in the current file.
    EXPECT_NE(ReadBytes(Path(kLogFileName)).find(std::to_string(5 * 5300 - 1) + " zzz"), std::string::npos);
}

TEST_F(LoggingSetup, FallsBackToTheStateDirectoryWhenTheCurrentOneIsUnusable)
{
    // A removed current directory refuses new files even to root.
    ASSERT_EQ(::mkdir(Path("gone").c_str(), 0700), 0);
    ASSERT_EQ(::chdir(Path("gone").c_str()), 0);
    ASSERT_EQ(::rmdir(Path("gone").c_str()), 0);

    const std::string strExpected = m_strDir + "/state/qvl-utility/" + kLogFileName;
    EXPECT_EQ(SetupLogging("qvl-utility"), strExpected);
    EXPECT_EQ(LogFallbackDirectory(), m_strDir + "/state/qvl-utility");
    spdlog::error("{} {}", "CQVLUtilityDlg::OnBnClickedWrite", "/dev/ttyACM0 Write Error.");
    EXPECT_NE(ReadBytes(strExpected).find(std::string("QVLUtility Ver.") + kVersionText + " Start.."),
              std::string::npos);
    EXPECT_NE(ReadBytes(strExpected).find("/dev/ttyACM0 Write Error."), std::string::npos);
}

TEST_F(LoggingSetup, KeepsRunningWithoutAFileWhenNoDirectoryIsUsable)
{
    // The state directory would have to live below a plain file.
    std::ofstream(Path("plain-file")) << "x";
    ::setenv("XDG_STATE_HOME", (Path("plain-file") + "/state").c_str(), 1);
    ASSERT_EQ(::mkdir(Path("gone").c_str(), 0700), 0);
    ASSERT_EQ(::chdir(Path("gone").c_str()), 0);
    ASSERT_EQ(::rmdir(Path("gone").c_str()), 0);

    EXPECT_EQ(SetupLogging("qvl-utility --log=DEBUG"), "");
    ASSERT_NE(spdlog::default_logger(), nullptr);
    EXPECT_EQ(spdlog::default_logger()->name(), "logger");
    EXPECT_EQ(spdlog::get_level(), spdlog::level::debug);
    // Its lines go nowhere: one sink, and that one discards them.
    const auto& sinks = spdlog::default_logger()->sinks();
    ASSERT_EQ(sinks.size(), 1u);
    EXPECT_NE(std::dynamic_pointer_cast<spdlog::sinks::null_sink_mt>(sinks[0]), nullptr);
    spdlog::error("StartRecvThread Failure.");
    spdlog::info("Display WiFi SSID {}", "x");
}

namespace {

// The permission bits of each file created, as they were at once after its
// creation.
std::vector<mode_t> g_arrCreatedModes;

void RecordCreatedMode(const std::string& strPath)
{
    g_arrCreatedModes.push_back(ModeOf(strPath));
}

} // namespace

// Private from its creation on: a reader who opened it before its mode was
// set would read every later line.
TEST_F(LoggingSetup, ANewFileIsPrivateAndTheUsersOwnFilesAreMadePrivate)
{
    g_arrCreatedModes.clear();
    SetFileCreatedHook(RecordCreatedMode);
    const mode_t nOldMask = ::umask(0);
    SetupLogging("qvl-utility");
    ::umask(nOldMask);
    SetFileCreatedHook(nullptr);
    EXPECT_EQ(g_arrCreatedModes, std::vector<mode_t>{0600u});
    EXPECT_EQ(ModeOf(Path(kLogFileName)), 0600u);
    spdlog::shutdown();

    // Left readable by others by an earlier version or by hand; the umask
    // must not decide (a user with 000 would not show the fault).
    std::ofstream(Path("Orra_QVL_Utility_log.2.txt")) << "older run, password secret\n";
    ASSERT_EQ(::chmod(Path(kLogFileName).c_str(), 0664), 0);
    ASSERT_EQ(::chmod(Path("Orra_QVL_Utility_log.2.txt").c_str(), 0644), 0);
    EXPECT_EQ(SetupLogging("qvl-utility"), kLogFileName);
    spdlog::info("second run");
    spdlog::default_logger()->flush();
    EXPECT_EQ(ModeOf(Path(kLogFileName)), 0600u);
    EXPECT_EQ(ModeOf(Path("Orra_QVL_Utility_log.2.txt")), 0600u);
    EXPECT_NE(ReadBytes(Path(kLogFileName)).find("second run"), std::string::npos);
}

// Another account's files where the log would go, as in a shared folder:
// never written, never changed; the log goes to the user's own folder with
// one line on stderr. Root plants such files itself; an ordinary user finds
// them where the test script planted them (QVL_TEST_FOREIGN_DIR: folders
// "current" and "rotated", each writable by all and holding a 0666 file of
// another account).
TEST_F(LoggingSetup, AnotherUsersFileIsNeitherWrittenNorChanged)
{
    std::string strForeign;
    if (::geteuid() == 0) {
        strForeign = Path("foreign");
        for (const char* pszName : {"current/Orra_QVL_Utility_log.txt", "rotated/Orra_QVL_Utility_log.1.txt"}) {
            const std::string strFile = strForeign + "/" + pszName;
            std::filesystem::create_directories(std::filesystem::path(strFile).parent_path());
            std::ofstream(strFile).flush();
            ASSERT_EQ(::chown(strFile.c_str(), 65534, 65534), 0);
            ASSERT_EQ(::chmod(strFile.c_str(), 0666), 0);
        }
    } else if (const char* pDir = std::getenv("QVL_TEST_FOREIGN_DIR"); pDir && *pDir) {
        strForeign = pDir;
    } else {
        GTEST_SKIP() << "needs files of another account: run as root, or set QVL_TEST_FOREIGN_DIR";
    }

    for (const char* pszCase : {"current/Orra_QVL_Utility_log.txt", "rotated/Orra_QVL_Utility_log.1.txt"}) {
        const std::string strFile = strForeign + "/" + pszCase;
        struct stat stBefore;
        ASSERT_EQ(::stat(strFile.c_str(), &stBefore), 0) << strFile;
        ASSERT_NE(stBefore.st_uid, ::geteuid()) << strFile;
        CurrentDirectory cwd(std::filesystem::path(strFile).parent_path().string());
        ASSERT_TRUE(cwd.Entered());

        ::testing::internal::CaptureStderr();
        const std::string strUsed = SetupLogging("qvl-utility");
        const std::string strErr = ::testing::internal::GetCapturedStderr();
        spdlog::info("Write WWAN {} password {}", 2, "secret");
        spdlog::default_logger()->flush();
        spdlog::shutdown();

        EXPECT_EQ(strUsed, m_strDir + "/state/qvl-utility/" + kLogFileName) << pszCase;
        EXPECT_NE(ReadBytes(strUsed).find("password secret"), std::string::npos) << pszCase;
        EXPECT_EQ(CountOf(strErr, "\n"), 1u) << strErr;
        EXPECT_NE(strErr.find("logging to " + strUsed), std::string::npos) << strErr;
        struct stat stAfter;
        ASSERT_EQ(::stat(strFile.c_str(), &stAfter), 0) << pszCase;
        EXPECT_EQ(stAfter.st_size, 0) << pszCase;
        EXPECT_EQ(stAfter.st_mode & 07777, 0666u) << pszCase;
        EXPECT_EQ(stAfter.st_uid, stBefore.st_uid) << pszCase;
        EXPECT_EQ(stAfter.st_ino, stBefore.st_ino) << pszCase;
        EXPECT_FALSE(Exists(std::filesystem::path(strFile).parent_path().string() + "/" + kLogFileName)
                     && std::string(pszCase).find("rotated") == 0)
            << "a log was started beside another user's rotated file";
        ASSERT_EQ(::unlink(strUsed.c_str()), 0);
    }
}

TEST_F(LoggingSetup, ALinkAtTheLogPathIsNotFollowedAndTheFallbackIsUsed)
{
    // Another user's file, and a dangling link that would create one.
    const std::string strTheirs = Path("theirs.txt");
    std::ofstream(strTheirs) << "their data\n";
    ASSERT_EQ(::symlink(strTheirs.c_str(), Path(kLogFileName).c_str()), 0);

    ::testing::internal::CaptureStderr();
    const std::string strUsed = SetupLogging("qvl-utility");
    const std::string strErr = ::testing::internal::GetCapturedStderr();
    spdlog::error("password {}", "secret");

    EXPECT_EQ(strUsed, m_strDir + "/state/qvl-utility/" + kLogFileName);
    EXPECT_NE(ReadBytes(strUsed).find("password secret"), std::string::npos);
    EXPECT_EQ(ReadBytes(strTheirs), "their data\n");
    struct stat st;
    ASSERT_EQ(::lstat(Path(kLogFileName).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(CountOf(strErr, "\n"), 1u) << strErr;
    EXPECT_NE(strErr.find(strUsed), std::string::npos) << strErr;
    spdlog::shutdown();

    ASSERT_EQ(::unlink(Path(kLogFileName).c_str()), 0);
    ASSERT_EQ(::symlink(Path("nowhere.txt").c_str(), Path(kLogFileName).c_str()), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SetupLogging("qvl-utility"), strUsed);
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(Exists(Path("nowhere.txt")));
}
