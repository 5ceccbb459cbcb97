// The journal: each line in the file whole or not at all, whatever was there
// before, whoever else appends, however little room is left.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qvlctl/Provision.h"
#include "support/TempDir.h"

namespace {

TEST(JournalTest, AppendsWholeLinesAfterWhatIsThere)
{
    TempDir dir("qvlctl-journal");
    const struct {
        const char* pszBefore; // nullptr: no file yet
        const char* pszAfter;
    } cases[] = {
        {nullptr, "{\"n\":1}\n"},
        {"", "{\"n\":1}\n"},
        {"{\"n\":0}\n", "{\"n\":0}\n{\"n\":1}\n"},
        {"{\"n\":0}", "{\"n\":0}\n{\"n\":1}\n"}, // cut by something else
    };
    int nCase = 0;
    for (const auto& c : cases) {
        const std::string strPath = dir.Path("j" + std::to_string(++nCase));
        if (c.pszBefore)
            WriteBytes(strPath, c.pszBefore);
        CJournal journal;
        std::string strError;
        ASSERT_TRUE(journal.Open(strPath, strError)) << strError;
        EXPECT_TRUE(journal.Append("{\"n\":1}", strError)) << strError;
        EXPECT_EQ(ReadBytes(strPath), c.pszAfter) << nCase;
    }
}

TEST(JournalTest, RefusesWhatIsNoRegularFileWithoutWaiting)
{
    TempDir dir("qvlctl-journal");
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.Path("folder").c_str(), 0700), 0);
    alarm(10); // a FIFO without a reader blocks an ordinary open
    for (const std::string& strPath : {dir.Path("fifo"), dir.Path("folder"), std::string("/dev/null")}) {
        CJournal journal;
        std::string strError;
        EXPECT_FALSE(journal.Open(strPath, strError)) << strPath;
        EXPECT_EQ(strError, "not a regular file") << strPath;
    }
    alarm(0);
}

// A full disk cuts a write short: nothing of the line stays, and the next
// line, once there is room again, follows the last whole one.
TEST(JournalTest, ShortWriteLeavesNothingOfTheLine)
{
    TempDir dir("qvlctl-journal");
    const std::string strPath = dir.Path("journal");
    WriteBytes(strPath, "{\"n\":0}\n");
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        CJournal journal;
        std::string strError;
        rlimit limit{20, RLIM_INFINITY}; // room for 12 more bytes
        if (!journal.Open(strPath, strError) || setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(2);
        const bool bCut = journal.Append("{\"n\":1,\"x\":\"0123456789\"}", strError);
        if (bCut || strError != "only part of the line could be written (is the disk full?)")
            _exit(3);
        limit.rlim_cur = 8; // no room at all
        const bool bFull = setrlimit(RLIMIT_FSIZE, &limit) != 0 || journal.Append("{\"n\":1}", strError);
        limit.rlim_cur = RLIM_INFINITY;
        if (bFull || setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(4);
        _exit(journal.Append("{\"n\":2}", strError) ? 0 : 5);
    }
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    EXPECT_EQ(ReadBytes(strPath), "{\"n\":0}\n{\"n\":2}\n");
}

// Processes appending lines of every length to one journal at once.
TEST(JournalTest, ConcurrentAppendersNeverCutEachOther)
{
    TempDir dir("qvlctl-journal");
    const std::string strPath = dir.Path("journal");
    constexpr int kProcesses = 4, kLines = 60;
    auto line = [](int nProcess, int nLine) {
        return std::to_string(nProcess) + ":" + std::to_string(nLine) + ":"
            + std::string(static_cast<size_t>(nLine * 150 + nProcess), 'x');
    };
    std::vector<pid_t> pids;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            CJournal journal;
            std::string strError;
            bool bOk = journal.Open(strPath, strError);
            for (int n = 0; n < kLines && bOk; ++n)
                bOk = journal.Append(line(p, n), strError);
            _exit(bOk ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (const pid_t pid : pids) {
        int nStatus = 0;
        ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    }
    std::map<std::string, int> seen;
    std::istringstream text(ReadBytes(strPath));
    for (std::string strLine; std::getline(text, strLine);)
        ++seen[strLine];
    EXPECT_EQ(seen.size(), static_cast<size_t>(kProcesses * kLines));
    for (int p = 0; p < kProcesses; ++p) {
        for (int n = 0; n < kLines; ++n)
            EXPECT_EQ(seen[line(p, n)], 1) << p << ":" << n;
    }
}

} // namespace
