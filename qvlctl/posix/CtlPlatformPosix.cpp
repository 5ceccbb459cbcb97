#include "qvlctl/CtlPlatform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

bool PrepareStandardStreams()
{
    // Keeps descriptors 0 to 2 taken: a port or log file opened later must
    // never become "standard output".
    bool bStdout = true;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            bStdout = false;
        // open() takes the lowest free descriptor: this one.
        if (open("/dev/null", O_RDWR | O_CLOEXEC) != fd)
            std::abort();
    }
    // A reader that went away is reported by the write's error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    return bStdout;
}

bool StderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

bool CheckPortName(const std::string& strPort, std::string& strMessage)
{
    struct stat st { };
    if (stat(strPort.c_str(), &st) != 0) {
        strMessage = "cannot use " + strPort + ": " + std::strerror(errno)
            + "; the unit is not there: check its USB cable and the port name";
        return false;
    }
    if (!S_ISCHR(st.st_mode)) {
        strMessage = "cannot use " + strPort + ": not a serial port";
        return false;
    }
    return true;
}

bool PortIsThere(const std::string& strPort)
{
    struct stat st { };
    return stat(strPort.c_str(), &st) == 0;
}

namespace {

// Set by SIGINT and SIGTERM; the pipe wakes a wait.
volatile sig_atomic_t g_bStopRequested = 0;
int g_fdStopPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    g_bStopRequested = 1;
    const char c = 's';
    const ssize_t n = write(g_fdStopPipe[1], &c, 1);
    (void)n;
}

} // namespace

bool InstallStopRequest(std::string& strError)
{
    if (pipe2(g_fdStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        strError = std::strerror(errno);
        return false;
    }
    struct sigaction sa { };
    sa.sa_handler = OnStopSignal;
    sa.sa_flags = SA_RESETHAND; // a second signal ends the program
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    return true;
}

bool StopRequested()
{
    return g_bStopRequested != 0;
}

void WaitForStopRequest(int nMs)
{
    pollfd pfd{g_fdStopPipe[0], POLLIN, 0};
    if (poll(&pfd, 1, nMs) != 1)
        return;
    // Taken, so that the next wait waits: a stop stays told by its flag.
    char buf[64];
    while (read(g_fdStopPipe[0], buf, sizeof buf) > 0) { }
}

void WakeStopWait()
{
    const char c = 'w';
    const ssize_t n = write(g_fdStopPipe[1], &c, 1);
    (void)n; // a full pipe wakes the wait as well
}

std::thread StartWorker(std::function<void()> fn)
{
    // A new thread takes the creating thread's signal mask.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    std::thread t(std::move(fn));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return t;
}

std::string HostName()
{
    char szHost[256] = {};
    if (gethostname(szHost, sizeof szHost - 1) != 0)
        return std::string();
    return szHost;
}

std::tm UtcTime(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

CAppendFile::~CAppendFile()
{
    if (m_h != -1)
        close(static_cast<int>(m_h));
}

bool CAppendFile::Open(const std::string& strPath, std::string& strError)
{
    const int fd = open(strPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        strError = std::strerror(errno);
        return false;
    }
    m_h = fd;
    return true;
}

bool CAppendFile::AppendWhole(const std::string& strBytes, std::string& strError)
{
    // One write: with O_APPEND the bytes land whole at the end.
    const ssize_t n = write(static_cast<int>(m_h), strBytes.data(), strBytes.size());
    if (n < 0) {
        strError = std::strerror(errno);
        return false;
    }
    if (static_cast<size_t>(n) != strBytes.size()) {
        strError = "only part of the line was written (is the disk full?)";
        return false;
    }
    if (fsync(static_cast<int>(m_h)) != 0) {
        strError = std::strerror(errno);
        return false;
    }
    return true;
}
